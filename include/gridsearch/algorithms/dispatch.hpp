// Where a query's run-time choices become template parameters: the one list
// of the search instances the planner compiles. A policy chosen here is a
// type, so no loop branches on it.
//
//   moves    2D: 4 or 8 neighbours; 3D: one instance for 6, 18 and 26
//            x step model: unit (every walkable cell costs 1), "enter"
//            (reversed for fields toward the origins), "mean". The corner
//            rule stays a flag of the move policy, read once per diagonal.
//   storage  FlatCells kept by the workspace below TILED_FROM cells,
//            TiledCells from there.
//   queue    the radix heap for an estimate whose keys never decrease
//            (the built-in ones) with w = 1, else the binary heap.
//   jumps    (2D grids of one cost) 4 neighbours; 8 with corner cutting;
//            8 without x jumps scanned or looked up x storage.
#pragma once

#include <cstdint>
#include <type_traits>

#include "../domain/cost_moves.hpp"
#include "../domain/grid_data.hpp"
#include "../memory/cells.hpp"
#include "../memory/workspace.hpp"
#include "estimates.hpp"
#include "field.hpp"

namespace gridsearch::dispatch {

// fn(moves) with the move policy of g's connectivity, step model and corner
// rule. Reverse: the step model seen from the other end.
template <bool Reverse, int Conn, int Dim, class Fn>
decltype(auto) by_steps(const GridData<Dim>& g, double max_cost, Fn& fn) {
    const bool no_corners = !g.options().corner_cutting;
    if (g.unit()) return fn(CostMoves<Dim, UnitSteps, Conn>{&g.moves(), g.costs(), max_cost, no_corners});
    if (g.options().cost_model == CostModel::mean)
        return fn(CostMoves<Dim, MeanSteps, Conn>{&g.moves(), g.costs(), max_cost, no_corners});
    using Enter = std::conditional_t<Reverse, Reversed<EnterSteps>, EnterSteps>;
    return fn(CostMoves<Dim, Enter, Conn>{&g.moves(), g.costs(), max_cost, no_corners});
}
template <bool Reverse, int Dim, class Fn>
decltype(auto) moves(const GridData<Dim>& g, double max_cost, Fn&& fn) {
    if constexpr (Dim == 2) {
        if (g.connectivity() == 4) return by_steps<Reverse, 4>(g, max_cost, fn);
        return by_steps<Reverse, 8>(g, max_cost, fn);
    } else {
        // One instance for 6, 18 and 26 neighbours keeps the build small.
        return by_steps<Reverse, 0>(g, max_cost, fn);
    }
}

// fn(static_cast<Cells*>(nullptr)) with the per-cell storage for a grid of
// `count` cells.
template <int Dim, class Fn>
decltype(auto) storage(int32_t count, Fn&& fn) {
    if (count >= TILED_FROM) return fn(static_cast<TiledCells<Dim>*>(nullptr));
    return fn(static_cast<FlatCells<Dim, true>*>(nullptr));
}

// fn(open) with the workspace's open list for the estimate Term and w.
template <class Term, class Fn>
decltype(auto) queue(double w, Workspace& ws, Fn&& fn) {
    if constexpr (planning::consistent_term<Term>) {
        if (w == 1.0) return fn(ws.radix);
    }
    return fn(ws.open);
}

// fn(Conn, Squeeze, Table), each a std::integral_constant, for jump point
// search on g.
template <class Fn>
decltype(auto) jumps(const GridData<2>& g, Fn&& fn) {
    const auto with_table = [&](auto conn, auto squeeze) {
        if (!g.table().empty()) return fn(conn, squeeze, std::true_type{});
        return fn(conn, squeeze, std::false_type{});
    };
    if (g.connectivity() == 4) return with_table(std::integral_constant<int, 4>{}, std::false_type{});
    if (g.options().corner_cutting) return with_table(std::integral_constant<int, 8>{}, std::true_type{});
    return with_table(std::integral_constant<int, 8>{}, std::false_type{});
}

}  // namespace gridsearch::dispatch
