// A* and weighted A*: expand the open entry with the smallest f = term + g,
// where `term` is the (weighted) heuristic part of a cell's priority.
#pragma once

#include <cmath>
#include <cstdint>

#include "../memory/cells.hpp"
#include "best_first.hpp"
#include "../memory/heap.hpp"
#include "../domain/moves.hpp"
#include "../base/result.hpp"
#include "../engine/search.hpp"
#include "../base/stop.hpp"
#include "../memory/workspace.hpp"

namespace gridsearch {

inline double finite_or_inf(double h) { return std::isfinite(h) ? h : INF; }

// f = h + g with the built-in estimate.
template <int Dim, bool Uniform>
struct DistanceTerm {
    GoalDistance<Dim, Uniform> d;
    double operator()(const At& a) const { return d(a.x, a.y, a.z); }
};

// f = w * h + g with the built-in estimate.
template <int Dim, bool Uniform>
struct WeightedDistanceTerm {
    GoalDistance<Dim, Uniform> d;
    double w;
    double operator()(const At& a) const { return w * finite_or_inf(d(a.x, a.y, a.z)); }
};

// f = w * h + g with h read from the caller's map; non-finite values count as +inf.
struct MapTerm {
    const double* values;
    double w;
    double operator()(const At& a) const { return w * finite_or_inf(values[a.i]); }
};

template <int Dim, class Cells, class Term>
Result<Dim> astar_loop(const GridView<Dim>& grid, int32_t count, const Cell& start, const Cell& goal, bool uniform,
                       const Term& term, const StopCheck& stop, Workspace* ws) {
    Search<Dim, Cells> search(grid, count, start, goal, uniform, stop, ws != nullptr ? &ws->cells : nullptr);
    FHeap<Node> own;
    FHeap<Node>& open = ws != nullptr ? ws->open : own;
    const bool found = best_first(search, open, term) == RunEnd::found;
    return search.finish(found, open, ws == nullptr || ws->visited);
}

// The per-cell storage by grid size: flat below TILED_FROM cells, tiled above;
// with a workspace, flat storage is the workspace's.
template <int Dim, class Term>
Result<Dim> run_astar(const GridView<Dim>& grid, const Cell& start, const Cell& goal, bool uniform, const Term& term,
                      const StopCheck& stop, Workspace* ws) {
    const int32_t count = cell_count(grid);
    if (count >= TILED_FROM)
        return astar_loop<Dim, TiledCells<Dim>>(grid, count, start, goal, uniform, term, stop, ws);
    if (ws != nullptr) return astar_loop<Dim, FlatCells<Dim, true>>(grid, count, start, goal, uniform, term, stop, ws);
    return astar_loop<Dim, FlatCells<Dim>>(grid, count, start, goal, uniform, term, stop, ws);
}

}  // namespace gridsearch
