// What every best-first search here shares: the open-list entry, the per-cell
// state, the liveness test, closing and counting a cell, relaxing its
// neighbours, the stop check, and the result. A* and focal search differ only
// in how they pick the next entry.
#pragma once

#include <cstdint>
#include <type_traits>

#include "cells.hpp"
#include "grid.hpp"
#include "neighbors.hpp"
#include "result.hpp"
#include "stop.hpp"

namespace gridsearch {

// An open-list entry besides its priority f: the cell and the cost g with
// which it was reached.
struct Node {
    int32_t x;
    int32_t y;
    double g;
};

struct Node3D {
    int32_t x;
    int32_t y;
    int32_t z;
    double g;
};

template <int Dim>
using NodeFor = std::conditional_t<Dim == 2, Node, Node3D>;

template <int Dim, class Cells>
class Search {
public:
    using Entry = NodeFor<Dim>;
    using Ref = typename Cells::Ref;

    Search(const GridView<Dim>& grid, int32_t count, const Cell& start, const Cell& goal, bool uniform,
           const StopCheck& stop)
        : grid_(grid),
          cells_(grid, count),
          start_(start),
          goal_(goal),
          s_(grid.index(start.x, start.y, start.z)),
          t_(grid.index(goal.x, goal.y, goal.z)),
          uniform_(uniform),
          poll_(stop) {
        cells_.reach(at_start(), 0.0, -1);
    }

    Cells& cells() { return cells_; }
    StopPoll& poll() { return poll_; }

    At at_start() const { return {s_, start_.x, start_.y, start_.z}; }
    Entry start_entry() const {
        if constexpr (Dim == 2)
            return {start_.x, start_.y, 0.0};
        else
            return {start_.x, start_.y, start_.z, 0.0};
    }

    // The cell of a record (open entry or any record with x, y[, z]).
    template <class E>
    At at(const E& e) const {
        if constexpr (Dim == 2)
            return {grid_.index(e.x, e.y, 0), e.x, e.y, 0};
        else
            return {grid_.index(e.x, e.y, e.z), e.x, e.y, e.z};
    }

    // An entry is live while its cell is open and its g is the cell's best cost.
    template <class E>
    bool live(Ref r, const E& e) const {
        return !(cells_.state(r) & CLOSED) && e.g == cells_.g(r);
    }
    template <class E>
    bool live(const At& c, const E& e) const {
        return live(cells_.ref(c), e);
    }

    // Closes and counts the cell of a live entry; true when it is the goal.
    bool expand(Ref r, const At& c) {
        cells_.close(r, c);
        poll_.at(static_cast<uint32_t>(++expansions_));
        return c.i == t_;
    }
    bool expand(const At& c) { return expand(cells_.ref(c), c); }

    // Tries the moves of the expanded cell c, reached with cost gc, in table
    // order. A neighbour that is walkable, open and strictly cheaper through c
    // takes c as its parent; push(entry, cell) then files its new entry.
    template <class Push>
    void relax(const At& c, double gc, Push&& push) {
        for_each_neighbor(grid_, c.x, c.y, c.z, uniform_,
                          [&](int32_t nx, int32_t ny, int32_t nz, int32_t n, double step) {
                              const At a{n, nx, ny, nz};
                              const Ref r = cells_.ref(a);
                              const uint8_t st = cells_.state(r);
                              if (st & CLOSED) return;
                              const double tentative = gc + step;
                              if ((st & REACHED) && !(cells_.g(r) > tentative)) return;
                              cells_.reach(r, a, tentative, c.i);
                              if constexpr (Dim == 2)
                                  push(Entry{nx, ny, tentative}, a);
                              else
                                  push(Entry{nx, ny, nz, tentative}, a);
                          });
    }

    // The result once the loop has stopped; `open` holds an entry for every
    // reached cell that is not closed.
    template <class Open>
    Result<Dim> finish(bool found, const Open& open) {
        Result<Dim> r;
        r.shape = shape_of(grid_);
        if (found) {
            r.path = build_path(grid_, s_, t_, [&](int32_t i) { return cells_.parent(i); });
            r.cost = cells_.g({t_, goal_.x, goal_.y, goal_.z});
        }
        r.expansions = expansions_;
        r.visited = cells_.finish(open);
        return r;
    }

private:
    const GridView<Dim> grid_;
    Cells cells_;
    Cell start_;
    Cell goal_;
    int32_t s_;
    int32_t t_;
    bool uniform_;
    int32_t expansions_ = 0;
    StopPoll poll_;
};

}  // namespace gridsearch
