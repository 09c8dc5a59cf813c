// The planner's move policy for the search skeleton: a move set over a grid
// of per-cell costs, a step cost model, an optional corner rule and a cost
// limit.
#pragma once

#include <cstdint>

#include "../memory/cells.hpp"
#include "../base/grid.hpp"
#include "move_set.hpp"
#include "../base/result.hpp"

namespace gridsearch {

// Step cost models: a move of length L from cell a to cell b. Models that
// read costs also tell walkable cells by their cost (finite), which saves a
// load per neighbour.
struct UnitSteps {  // every walkable cell costs 1: the step costs L
    template <int Dim>
    static bool walkable(const GridView<Dim>& g, const double*, int32_t i) {
        return g.free(i);
    }
    static double step(double length, const double*, int32_t, int32_t) { return length; }
};
struct EnterSteps {  // L x cost[b]
    template <int Dim>
    static bool walkable(const GridView<Dim>&, const double* cost, int32_t i) {
        return cost[i] != INF;
    }
    static double step(double length, const double* cost, int32_t, int32_t b) { return length * cost[b]; }
};
struct MeanSteps {  // L x (cost[a] + cost[b]) / 2
    template <int Dim>
    static bool walkable(const GridView<Dim>&, const double* cost, int32_t i) {
        return cost[i] != INF;
    }
    static double step(double length, const double* cost, int32_t a, int32_t b) {
        return length * ((cost[a] + cost[b]) * 0.5);
    }
};

// The moves of a connectivity with a step cost model: Count moves, a
// compile-time trip count, or with Count = 0 as many as the set holds. With `no_corners`, a move that changes two or more axes
// also needs every cell it passes beside to be walkable. Tentative costs
// above max_cost are refused.
template <int Dim, class Steps, int Count>
struct CostMoves {
    const MoveSet<Dim>* set;
    const double* cost;
    double max_cost;
    bool no_corners;
    bool pruned = false;  // a tentative cost above max_cost was refused

    static constexpr int fixed_count = Count;  // the connectivity fixed at compile time, or 0

    bool walkable(const GridView<Dim>& g, int32_t i) const { return Steps::walkable(g, cost, i); }

    template <class Fn>
    void operator()(const GridView<Dim>& g, const At& c, Fn&& fn) const {
        each(g, c, [](int32_t) { return false; }, fn);
    }

    // The same, but a move into a cell n for which skip(n) is true is passed
    // over before its cells are read (a test on state the caller holds).
    template <class Skip, class Fn>
    void each(const GridView<Dim>& g, const At& c, Skip&& skip, Fn&& fn) const {
        bool inside = c.x > 0 && c.x < g.rows - 1 && c.y > 0 && c.y < g.cols - 1;
        if constexpr (Dim == 3) inside = inside && c.z > 0 && c.z < g.depth - 1;
        const PlanMove* moves = set->move;
        const int count = Count != 0 ? Count : set->count;
        for (int k = 0; k < count; ++k) {
            const PlanMove& m = moves[k];
            const int32_t nx = c.x + m.d[0], ny = c.y + m.d[1], nz = c.z + m.d[2];
            if (!inside) {
                if (!in_range(nx, g.rows) || !in_range(ny, g.cols)) continue;
                if (Dim == 3 && !in_range(nz, g.depth)) continue;
            }
            const int32_t n = c.i + m.offset;
            if (skip(n) || !Steps::walkable(g, cost, n)) continue;
            if (no_corners && m.sides != 0) {
                bool clear = true;
                for (int32_t s = 0; s < m.sides; ++s) clear = clear && Steps::walkable(g, cost, c.i + m.side[s]);
                if (!clear) continue;
            }
            fn(nx, ny, nz, n, Steps::step(m.length, cost, c.i, n));
        }
    }

    bool admit(double g) {
        if (g <= max_cost) return true;
        pruned = true;
        return false;
    }
};

}  // namespace gridsearch
