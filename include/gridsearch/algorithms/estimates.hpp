// The planner's estimates of the cost still to go (the term added to g):
// the move distance to one goal or the nearest of several, scaled by the
// smallest cell cost and w, and a caller's per-cell map; and which of them
// let the radix heap serve.
#pragma once

#include <cstdint>
#include <vector>

#include "../base/grid.hpp"
#include "../base/result.hpp"
#include "../domain/move_set.hpp"
#include "../memory/cells.hpp"
#include "astar.hpp"
#include "options.hpp"

namespace gridsearch {

namespace planning {

// f = g + scale x the least move length to the goal (scale = w x the
// smallest cell cost), for the connectivity Conn (0: `connectivity`).
template <int Dim, int Conn>
struct GoalTerm {
    int connectivity;
    bool uniform;
    Cell goal;
    double scale;
    double operator()(const At& a) const {
        const int32_t dx = absdiff(a.x, goal.x), dy = absdiff(a.y, goal.y);
        const int32_t dz = Dim == 3 ? absdiff(a.z, goal.z) : 0;
        return scale * move_distance(Conn != 0 ? Conn : connectivity, uniform, dx, dy, dz);
    }
};

// The same estimate toward the nearest of several goals: the least over the
// goals when they are few, else the distance to the box around them (both
// consistent).
template <int Dim, int Conn>
struct GoalSetTerm {
    static constexpr std::size_t FEW = 8;
    int connectivity;
    bool uniform;
    const std::vector<Cell>* goals;
    Cell lo, hi;
    double scale;
    double operator()(const At& a) const {
        const int conn = Conn != 0 ? Conn : connectivity;
        if (goals->size() <= FEW) {
            double least = INF;
            for (const Cell& t : *goals) {
                const double d = move_distance(conn, uniform, absdiff(a.x, t.x), absdiff(a.y, t.y),
                                               Dim == 3 ? absdiff(a.z, t.z) : 0);
                least = d < least ? d : least;
            }
            return scale * least;
        }
        return scale * move_distance(conn, uniform, outside(a.x, lo.x, hi.x), outside(a.y, lo.y, hi.y),
                                     Dim == 3 ? outside(a.z, lo.z, hi.z) : 0);
    }
    static int32_t outside(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo - v : (v > hi ? v - hi : 0); }
};

// The term of a heuristic map. With w = 1 it weighs h by 1 + 2^-40: among
// entries whose f differ by rounding alone, the one nearer the goal comes
// first, so that an exact map (a field toward the goal) leads straight along
// one cheapest path instead of across all of them. The cost found exceeds
// the optimum by at most that factor, far below any real difference of two
// paths' costs on a grid.
inline MapTerm map_term(const AstarOptions& o) {
    return MapTerm{o.heuristic->data(), o.w == 1.0 ? 1.0 + 0x1p-40 : o.w};
}

// The open list a term allows: keys never decrease with the built-in estimate
// and w = 1, so the radix heap serves; any other term takes the binary heap.
template <class Term>
inline constexpr bool consistent_term = false;
template <int Dim, int Conn>
inline constexpr bool consistent_term<GoalTerm<Dim, Conn>> = true;
template <int Dim, int Conn>
inline constexpr bool consistent_term<GoalSetTerm<Dim, Conn>> = true;

}  // namespace planning

}  // namespace gridsearch
