// A* in space and time: the states are (time step, cell) pairs of the grid
// stacked along time, a 3D grid of `horizon + 1` layers whose state number is
// t x cells + cell, so the skeleton's per-cell storage (flat, or tiled for
// large ones: only the layers and regions a search touches cost memory) and
// its state space serve unchanged. A step moves to a walkable 4-neighbour or
// waits, one time step each, unless the reservation table forbids the cell
// at the arrival, or the move at the departure. The goal is reached when
// the agent can stay there for ever.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "../algorithms/best_first.hpp"
#include "../memory/cells.hpp"
#include "../engine/search.hpp"
#include "../memory/heap.hpp"
#include "timed_options.hpp"

namespace gridsearch::mapf {

// Successors of (t, cell) in the stacked grid: At{i, t, row, col}.
struct TimedMoves {
    const Graph* graph;
    const ReservationTable* table;
    Distances* to_goal;
    int32_t start_time;
    int32_t horizon;  // the last layer (relative to the start)
    mutable bool pruned = false;

    template <class Fn>
    void operator()(const GridView<3>&, const At& c, Fn&& fn) const {
        const int32_t cells = graph->cells();
        const int32_t t = c.x + 1;
        if (t > horizon) {
            pruned = true;
            return;
        }
        const int32_t u = c.i - c.x * cells;
        const int32_t now = start_time + c.x;
        std::array<int32_t, 4> nb;
        const int k = graph->neighbors(u, nb);
        for (int j = 0; j < k; ++j) {
            const int32_t v = nb[j];
            if ((*to_goal)(v) == NEVER || !table->cell_free(v, now + 1) || !table->move_free(u, v, now)) continue;
            fn(t, graph->row(v), graph->col(v), t * cells + v, 1.0);
        }
        if (table->cell_free(u, now + 1)) fn(t, c.y, c.z, c.i + cells, 1.0);
    }
    static constexpr bool admit(double) { return true; }
};

// The first time from which the agent may stay at `goal` for ever (NEVER:
// it never may).
inline int32_t staying_from(const ReservationTable& table, int32_t goal, int32_t start_time) {
    if (table.reserved_from(goal) != NEVER) return NEVER;
    const auto& f = table.forbidden(goal);
    return std::max(start_time, f.empty() ? 0 : f.back() + 1);
}

// The default horizon: once nothing changes any more, a path that exists
// needs at most one visit per walkable cell.
inline int64_t proving_horizon(const Graph& g, const ReservationTable& table, int32_t start_time) {
    int64_t walkable = 0;
    for (int32_t i = 0; i < g.cells(); ++i) walkable += g.free(i);
    return std::max<int64_t>(int64_t(table.last_change()) + 1, start_time) + walkable - start_time;
}

// The stacked grid of one search from start_time: layers 0..horizon, and
// the checks made before any state is searched. `refusal` is found when the
// search may run, else the status of its result without a search.
struct Stacked {
    GridView<3> view;
    int32_t count = 0, horizon = 0;
    int32_t stay = 0;  // the first layer at which the agent may stay at the goal
    bool limited = false;  // the horizon is a limit (max_time or the 32-bit clamp), not a proof
    Status refusal = Status::found;
};

inline Stacked stacked(const Graph& g, int32_t s, int32_t goal, const ReservationTable& table, int32_t start_time,
                       int32_t max_time, Distances& to_goal) {
    Stacked k;
    const int32_t cells = g.cells();
    const int32_t stay = staying_from(table, goal, start_time);
    int64_t horizon = max_time >= 0 ? int64_t(max_time) - start_time : proving_horizon(g, table, start_time);
    k.limited = max_time >= 0;
    // State numbers are 32-bit: at most MAX_CELLS / cells layers; the last
    // layer's time is below NEVER; a plan is at most MAX_PLAN_STEPS long.
    const int64_t most = std::min<int64_t>({MAX_CELLS / std::max(cells, 1) - 1, int64_t(NEVER) - 1 - start_time,
                                            MAX_PLAN_STEPS});
    if (horizon > most) {
        horizon = most;
        k.limited = true;
    }
    if (!table.cell_free(s, start_time) || to_goal(s) == NEVER || stay == NEVER) {
        k.refusal = Status::no_path;
        return k;
    }
    if (int64_t(stay) - start_time > horizon) {
        k.refusal = k.limited ? Status::max_cost : Status::no_path;
        return k;
    }
    k.horizon = static_cast<int32_t>(horizon);
    k.stay = stay - start_time;
    k.count = static_cast<int32_t>((horizon + 1) * cells);
    k.view.rows = k.horizon + 1;
    k.view.cols = g.rows();
    k.view.depth = g.cols();
    k.view.shape[0] = k.view.rows;
    k.view.shape[1] = g.rows();
    k.view.shape[2] = g.cols();
    return k;
}

// fn(static_cast<Cells*>(nullptr)) with the per-state storage for `count`
// stacked states: flat, or tiled (only the regions searched cost memory).
template <class Fn>
decltype(auto) stacked_storage(int32_t count, Fn&& fn) {
    if (count >= TILED_FROM) return fn(static_cast<TiledCells<3>*>(nullptr));
    return fn(static_cast<FlatCells<3>*>(nullptr));
}

inline PlanResult<2> space_time_astar(const Graph& g, int32_t s, int32_t goal, const ReservationTable& table,
                                      const TimedOptions& o, Distances& to_goal, const StopCheck& stop = {}) {
    const int32_t cells = g.cells();
    const Stacked k = stacked(g, s, goal, table, o.start_time, o.max_time, to_goal);
    if (k.refusal != Status::found) return timed_result(g, {}, 0, k.refusal);
    const Cell start{0, g.row(s), g.col(s)};
    const Cell first_goal{k.stay, g.row(goal), g.col(goal)};
    const TimedMoves moves{&g, &table, &to_goal, o.start_time, k.horizon};
    const TimedEstimate h(to_goal, cells);
    const auto term = [&](const At& a) { return h(a.i - a.x * cells); };
    const auto staying = [&](int32_t i) { return i / cells >= k.stay && i % cells == goal; };

    const auto run = [&](auto* tag) {
        using Cells = std::remove_pointer_t<decltype(tag)>;
        Search<3, Cells, TimedMoves> search(k.view, k.count, start, first_goal, moves, stop);
        FHeap<Node> open;
        const RunEnd end = best_first(search, open, term, staying, ExpansionLimit{o.max_expansions});
        // The proving horizon refuses nothing a plan could need: only a
        // caller's max_time (or the 32-bit clamp) makes a limit.
        const Status status = status_of(end, k.limited && search.moves().pruned);
        Result<3> r = search.finish(status == Status::found, open, false);
        std::vector<int32_t> path;
        path.reserve(r.path.size());
        for (const auto& p : r.path) path.push_back(g.index(p[1], p[2]));
        return timed_result(g, path, r.expansions, status);
    };
    return stacked_storage(k.count, run);
}

}  // namespace gridsearch::mapf
