// Distance fields: the cost of the cheapest path between every cell and the
// nearest of a set of origins (Dijkstra's algorithm from all origins at once),
// and following such a field downhill.
//
// The field array is the only per-cell state: a cell's entry in the open list
// is live while its key equals the cell's value (each push lowers the value,
// so only the latest push matches), and a cell popped live is final. Every
// step cost is >= 0, so keys never fall below the last one popped and the
// radix heap serves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "../memory/cells.hpp"
#include "../base/grid.hpp"
#include "../memory/heap.hpp"
#include "../base/result.hpp"
#include "../base/stop.hpp"

namespace gridsearch {

// A step model seen from the other end: the cost of the move from b to a is
// charged to the move from a to b. A field grown with it from the origins
// holds, at every cell, the cost of the cheapest path from that cell to an
// origin.
template <class Steps>
struct Reversed {
    template <int Dim>
    static bool walkable(const GridView<Dim>& g, const double* cost, int32_t i) {
        return Steps::walkable(g, cost, i);
    }
    static double step(double length, const double* cost, int32_t a, int32_t b) {
        return Steps::step(length, cost, b, a);
    }
};

// Asks the cache for the rows around cell i in `a` and `b` (the field and
// the costs), while the current cell's neighbours are worked on: the next
// cell popped is often i, and its neighbours' rows are seldom cached.
template <int Dim>
inline void prefetch_around(const GridView<Dim>& g, int32_t i, const double* a, const double* b) {
    const auto ask = [&](int64_t k) {
        // Addresses are only computed, never dereferenced; past the ends they are harmless.
        __builtin_prefetch(reinterpret_cast<const char*>(reinterpret_cast<uintptr_t>(a) + 8 * k));
        __builtin_prefetch(reinterpret_cast<const char*>(reinterpret_cast<uintptr_t>(b) + 8 * k));
    };
    const int64_t plane = static_cast<int64_t>(g.cols) * g.depth;
    for (int64_t dx = -1; dx <= 1; ++dx) {
        if constexpr (Dim == 2) {
            ask(i + dx * plane - 1);
        } else {
            for (int64_t dy = -1; dy <= 1; ++dy) ask(i + dx * plane + dy * g.depth - 1);
        }
    }
}

// Fills `field` (one value per cell, all +inf on entry) with the cost of the
// cheapest path from the nearest of the walkable `origins` to every cell, by
// the moves and step costs of `moves` (whose admit() bounds the cost). The
// origins are linear indices inside the grid; blocked ones are skipped.
// `done`: one bit per cell, set for the blocked cells on entry; the search
// sets the bits of the cells it settles. Its neighbours are tested there
// first: the bits of a whole region fit in the cache where their values do not.
// `open`: an empty radix heap.
template <int Dim, class Moves>
void grow_field(const GridView<Dim>& grid, Moves& moves, const std::vector<int32_t>& origins, double* field,
                uint64_t* done, RadixHeap<int32_t>& open, const StopCheck& stop) {
    const Coordinates<Dim> at(grid);
    StopPoll poll(stop);
    open.clear();
    for (int32_t o : origins) {
        if (!moves.walkable(grid, o) || field[o] == 0.0) continue;
        field[o] = 0.0;
        open.push(0.0, o);
    }
    const auto settled = [done](int32_t n) { return ((done[n >> 6] >> (n & 63)) & 1) != 0; };
    uint32_t expanded = 0;
    while (!open.empty()) {
        const double key = open.top_key();
        const int32_t c = open.top();
        open.pop();
        if (key != field[c]) continue;  // superseded by a cheaper push
        done[c >> 6] |= uint64_t(1) << (c & 63);
        poll.at(++expanded);
        if (const int32_t* next = open.peek()) prefetch_around(grid, *next, field, moves.cost);
        moves.each(grid, at(c), settled, [&](int32_t, int32_t, int32_t, int32_t n, double step) {
            const double t = key + step;
            if (!(t < field[n]) || !moves.admit(t)) return;
            field[n] = t;
            open.push(t, n);
        });
    }
}

// Which way a field leads on from cell c. `least` is the least step cost +
// value over c's moves, the candidates the moves reaching it. down: the first
// candidate (in move order) whose value is below c's; flat: no such candidate,
// but c's value equals least, so candidates of c's own value lead on across a
// level region (cells joined by moves that add nothing, such as zero-cost
// cells); none: no move reaches a finite value; up: every candidate is
// higher (the field is not one of this grid's reversed fields at c).
enum class Way { down, flat, none, up };

struct Downhill {
    Way way = Way::none;
    int32_t next = -1;  // the cell to go to, for `down`
    double least = INF;
};

template <int Dim, class Moves>
Downhill downhill(const GridView<Dim>& grid, const Moves& moves, const double* field, const At& c) {
    const double v = field[c.i];
    double least = INF;
    int32_t first = -1, lower = -1;
    bool level = false;
    moves(grid, c, [&](int32_t, int32_t, int32_t, int32_t n, double step) {
        const double t = field[n] + step;
        if (t < least) {
            least = t;
            first = n;
            lower = field[n] < v ? n : -1;
            level = field[n] == v;
        } else if (t == least) {
            if (lower < 0 && field[n] < v) lower = n;
            level = level || field[n] == v;
        }
    });
    if (first < 0) return {Way::none, -1, least};
    if (lower >= 0) return {Way::down, lower, least};
    if (level && least == v) return {Way::flat, -1, least};
    return {Way::up, -1, least};
}

// The way across a level region (cells joined by level moves: candidates of
// the cell's own value, see downhill) from a cell whose way is `flat`: a
// breadth-first search over level moves, in move order, until the first
// cell whose way is `down` (an exit). Returns the cells after `from` up to
// that exit, the fewest moves there (the first such way in the search's
// order); empty when no exit is reachable. Each cell of the way is one move
// nearer to an exit than the one before, so steps taken one at a time (the
// first cell of the way from each) always arrive too. The search covers only
// the cells nearer than the nearest exit (and those at its distance).
template <int Dim, class Moves>
std::vector<int32_t> level_way(const GridView<Dim>& grid, const Moves& moves, const double* field, const At& from,
                               StopPoll& poll) {
    const Coordinates<Dim> at(grid);
    std::unordered_map<int32_t, int32_t> parent{{from.i, -1}};
    std::vector<int32_t> queue{from.i};
    for (std::size_t k = 0; k < queue.size(); ++k) {
        poll.tick();
        const At c = at(queue[k]);
        const Downhill d = downhill(grid, moves, field, c);
        if (k != 0 && d.way == Way::down) {
            std::vector<int32_t> way;
            for (int32_t i = c.i; i != from.i; i = parent.at(i)) way.push_back(i);
            return std::vector<int32_t>(way.rbegin(), way.rend());
        }
        if (d.way != Way::flat) continue;
        const double v = field[c.i];
        moves(grid, c, [&](int32_t, int32_t, int32_t, int32_t n, double step) {
            if (field[n] == v && field[n] + step == d.least && parent.emplace(n, c.i).second) queue.push_back(n);
        });
    }
    return {};
}

}  // namespace gridsearch
