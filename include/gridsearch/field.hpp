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
#include <vector>

#include "cells.hpp"
#include "grid.hpp"
#include "heap.hpp"
#include "result.hpp"
#include "stop.hpp"

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

// The move from cell c (with a finite field value) that minimises step cost +
// the field value of the cell it enters, ties to the first in move order; -1
// when no move leads to a finite value.
template <int Dim, class Moves>
int32_t downhill(const GridView<Dim>& grid, const Moves& moves, const double* field, const At& c) {
    int32_t best = -1;
    double least = INF;
    moves(grid, c, [&](int32_t, int32_t, int32_t, int32_t n, double step) {
        const double v = field[n] + step;
        if (v < least) {
            least = v;
            best = n;
        }
    });
    return best;
}

}  // namespace gridsearch
