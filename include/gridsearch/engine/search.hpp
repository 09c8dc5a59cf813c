// What every best-first search here shares: the open-list entry, the per-cell
// state, the liveness test, closing and counting a cell, relaxing its
// neighbours, the stop check, and the result. A* and focal search differ only
// in how they pick the next entry.
#pragma once

#include <cstdint>
#include <vector>

#include "../memory/cells.hpp"
#include "../base/grid.hpp"
#include "../domain/neighbors.hpp"
#include "contracts.hpp"
#include "nodes.hpp"
#include "state_space.hpp"
#include "../base/result.hpp"
#include "../base/stop.hpp"

namespace gridsearch {

// The move policy of the six fixed searches: 8 or 26 neighbours, only the
// target must be walkable, steps of 1, sqrt 2, sqrt 3 (or all 1).
template <int Dim>
struct FixedMoves {
    bool uniform;
    FixedMoves(bool uniform_steps) : uniform(uniform_steps) {}  // NOLINT: a bool names the policy

    template <class Fn>
    void operator()(const GridView<Dim>& g, const At& c, Fn&& fn) const {
        for_each_neighbor(g, c.x, c.y, c.z, uniform, fn);
    }
    // Every tentative cost is admitted (no cost limit).
    static constexpr bool admit(double) { return true; }
};

// Events of a search for whoever wants them: expanded(cell) as each cell is
// expanded, generated(cell, g) as an entry is pushed for it. The default
// listens to nothing and compiles away.
struct NoListener {
    static constexpr void expanded(const At&) {}
    static constexpr void generated(const At&, double) {}
};

// The cells in the order they were expanded, into *out when out is set.
struct ExpansionOrder {
    std::vector<int32_t>* out = nullptr;
    void expanded(const At& c) const {
        if (out != nullptr) out->push_back(c.i);
    }
    static constexpr void generated(const At&, double) {}
};

// How a successor's cost and parent are set, given the expanded cell c
// (reached with cost gc), the successor n and the step's cost: through c,
// the step added. (Any-angle search would try c's parent instead.)
struct Relaxed {
    double g;
    int32_t parent;
};
struct StepRelax {
    template <class S>
    constexpr Relaxed operator()(const S&, const At& c, double gc, const At&, double step) const {
        return {gc + step, c.i};
    }
};

// Moves: a policy with operator()(grid, cell, fn), or with
// operator()(grid, cell, parent, fn) when it declares with_parent, calling
// fn(nx, ny, nz, n, step) for each successor in its order, and admit(g),
// false for a tentative cost the search must not record.
// Space: the states and their numbering (engine/state_space.hpp). Relax:
// how a successor's cost and parent are set (StepRelax).
template <int Dim, class Cells, class Moves = FixedMoves<Dim>, class Listener = NoListener,
          class Space = CellSpace<Dim>, class Relax = StepRelax>
class Search {
    static_assert(contracts::cells<Dim, Cells>, "Cells must meet the per-cell state contract (engine/contracts.hpp)");
    static_assert(contracts::moves<Dim, Moves>, "Moves must meet the successor contract (engine/contracts.hpp)");
    static_assert(contracts::listener<Listener>, "Listener must meet the listener contract (engine/contracts.hpp)");
    static_assert(contracts::state_space<Dim, Space>, "Space must meet the state space contract (engine/contracts.hpp)");
    static_assert(contracts::relax<Relax>, "Relax must meet the relaxation contract (engine/contracts.hpp)");

public:
    using Ref = typename Cells::Ref;

    // `kept`: per-cell arrays kept by a workspace (for Cells that use them).
    Search(const GridView<Dim>& grid, int32_t count, const Cell& start, const Cell& goal, const Moves& moves,
           const StopCheck& stop, FlatStore* kept = nullptr, const Listener& listener = {})
        : Search(grid, count, start, goal, moves, stop, kept, listener, Space(grid)) {}
    // With a state space that needs more than the grid to be built.
    Search(const GridView<Dim>& grid, int32_t count, const Cell& start, const Cell& goal, const Moves& moves,
           const StopCheck& stop, FlatStore* kept, const Listener& listener, const Space& space)
        : grid_(grid),
          cells_(grid_, count, kept),
          start_(start),
          goal_(goal),
          space_(space),
          s_(space_.index(start)),
          t_(space_.index(goal)),
          moves_(moves),
          poll_(stop),
          listener_(listener) {
        start_stamp_ = cells_.reach(at_start(), 0.0, -1);
    }

    Cells& cells() { return cells_; }
    StopPoll& poll() { return poll_; }

    At at_start() const { return {s_, start_.x, start_.y, start_.z}; }
    Node start_entry() const { return {s_, start_stamp_}; }

    // The coordinates of a linear cell index.
    At at(int32_t i) const { return space_.at(i); }
    // The cell of a record (open or FOCAL entry).
    template <class E>
    At at(const E& e) const {
        return at(e.cell);
    }

    // An entry is live while it is its open cell's latest push (while its g
    // would equal the cell's best cost).
    template <class E>
    bool live(Ref r, const E& e) const {
        return stamp_of(cells_.state(r)) == e.stamp;
    }
    template <class E>
    bool live(const At& c, const E& e) const {
        return live(cells_.ref(c), e);
    }

    // Closes and counts the cell of a live entry; true when it is the goal.
    bool expand(Ref r, const At& c) {
        listener_.expanded(c);
        cells_.close(r, c);
        poll_.at(static_cast<uint32_t>(++expansions_));
        return c.i == t_;
    }
    bool expand(const At& c) { return expand(cells_.ref(c), c); }

    // Best known cost of a reached cell.
    double g(Ref r) const { return cells_.g(r); }

    // Tries the moves of the expanded cell c, reached with cost gc, in table
    // order. A neighbour that is walkable, open and strictly cheaper through c
    // takes c as its parent; push(entry, cell, g) then files its new entry.
    // Successors that depend on how c was reached are given its parent
    // (jumps) or its cost (an arrival time).
    template <class Push>
    void relax(const At& c, double gc, Push&& push) {
        const auto each = [&](int32_t nx, int32_t ny, int32_t nz, int32_t n, double step) {
            const At a{n, nx, ny, nz};
            const Ref r = cells_.ref(a);
            const uint8_t st = cells_.state(r);
            if (st & CLOSED) return;
            const Relaxed via = relax_(*this, c, gc, a, step);
            const double tentative = via.g;
            if (reached(st) && !(cells_.g(r) > tentative)) return;
            if (!moves_.admit(tentative)) return;
            listener_.generated(a, tentative);
            push(Node{n, cells_.reach(r, a, tentative, via.parent)}, a, tentative);
        };
        if constexpr (contracts::takes_parent<Moves>)
            moves_(grid_, c, cells_.parent(c), each);
        else if constexpr (contracts::takes_cost<Moves>)
            moves_(grid_, c, gc, each);
        else
            moves_(grid_, c, each);
    }

    // One step of best-first search by f = term + g: pops the open list's
    // top entry and, when it is live, expands its cell and pushes the
    // improved neighbours. True when that cell is the goal, or a cell for
    // which also_goal(index) is true (which becomes the goal of the result).
    template <class Open, class Term, class AlsoGoal>
    bool step(Open& open, const Term& term, AlsoGoal&& also_goal) {
        const Node e = open.top();
        open.pop();
        const At c = at(e);
        const Ref r = cells_.ref(c);
        if (!live(r, e)) return false;
        const double gc = g(r);
        if (expand(r, c)) return true;
        if (also_goal(c.i)) {
            adopt_goal(c);
            return true;
        }
        relax(c, gc, [&](const Node& n, const At& a, double g) { open.push(term(a) + g, n); });
        return false;
    }

    // An expanded cell that another goal test accepted becomes the goal of
    // the result.
    void adopt_goal(const At& c) {
        t_ = c.i;
        goal_ = {c.x, c.y, c.z};
    }

    int32_t expansions() const { return expansions_; }
    const Moves& moves() const { return moves_; }

    // The result once the loop has stopped; `open` holds an entry for every
    // reached cell that is not closed. Without `visited` the result's visited
    // block is empty.
    template <class Open>
    Result<Dim> finish(bool found, const Open& open, bool visited = true) {
        Result<Dim> r;
        r.shape = shape_of(grid_);
        if (found) {
            r.path = space_.path(s_, t_, [&](int32_t i) { return cells_.parent(at(i)); });
            r.cost = cells_.g({t_, goal_.x, goal_.y, goal_.z});
        }
        r.expansions = expansions_;
        r.visited = cells_.finish(open, visited);
        return r;
    }

private:
    const GridView<Dim> grid_;
    Cells cells_;
    Cell start_;
    Cell goal_;
    Space space_;
    int32_t s_;
    int32_t t_;
    Moves moves_;
    uint32_t start_stamp_ = 0;
    int32_t expansions_ = 0;
    StopPoll poll_;
    Listener listener_;
    Relax relax_;
};

}  // namespace gridsearch
