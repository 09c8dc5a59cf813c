// The planner's move sets: 4 or 8 neighbours in 2D, 6, 18 or 26 in 3D, each
// move with its length (1, sqrt 2, sqrt 3, or 1 for every move with uniform
// steps) and, for the corner rule, the cells it passes beside. Also the
// distance estimate that goes with each set.
#pragma once

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "../base/grid.hpp"
#include "moves.hpp"

namespace gridsearch {

// One move: its offsets, its linear offset on the grid it was made for, its
// length, and the linear offsets of the cells it passes beside (those reached
// by changing a non-empty proper subset of its axes: 2 for a diagonal in a
// plane, 6 for a space diagonal).
struct PlanMove {
    int32_t d[3];
    int32_t offset;
    double length;
    int32_t sides;
    int32_t side[6];
};

template <int Dim>
struct MoveSet {
    int32_t count = 0;
    PlanMove move[26];
};

// The connectivity accepted for a number of dimensions, 0 = the default.
inline int checked_connectivity(int dim, int connectivity) {
    if (connectivity == 0) return dim == 2 ? 8 : 26;
    const bool ok = dim == 2 ? (connectivity == 4 || connectivity == 8)
                             : (connectivity == 6 || connectivity == 18 || connectivity == 26);
    if (!ok)
        throw std::invalid_argument("connectivity must be " + std::string(dim == 2 ? "4 or 8" : "6, 18 or 26") +
                                    " for a " + std::to_string(dim) + "D grid, got " + std::to_string(connectivity));
    return connectivity;
}

// The moves of a connectivity (1 axis changed: 4 / 6 moves; up to 2: 8 / 18;
// up to 3: 26), in the order dx, dy, dz ascending from -1, on grid `g`.
template <int Dim>
MoveSet<Dim> make_moves(const GridView<Dim>& g, int connectivity, bool uniform) {
    const int most_axes = connectivity == 4 || connectivity == 6 ? 1 : (connectivity == 8 || connectivity == 18 ? 2 : 3);
    const int64_t plane = static_cast<int64_t>(g.cols) * g.depth;
    auto linear = [&](int32_t dx, int32_t dy, int32_t dz) {
        return static_cast<int32_t>(dx * plane + static_cast<int64_t>(dy) * g.depth + dz);
    };
    MoveSet<Dim> set;
    const int32_t zlo = Dim == 3 ? -1 : 0, zhi = Dim == 3 ? 1 : 0;
    for (int32_t dx = -1; dx <= 1; ++dx)
        for (int32_t dy = -1; dy <= 1; ++dy)
            for (int32_t dz = zlo; dz <= zhi; ++dz) {
                const int axes = (dx != 0) + (dy != 0) + (dz != 0);
                if (axes == 0 || axes > most_axes) continue;
                PlanMove m{};
                m.d[0] = dx;
                m.d[1] = dy;
                m.d[2] = dz;
                m.offset = linear(dx, dy, dz);
                m.length = uniform ? 1.0 : (axes == 1 ? 1.0 : axes == 2 ? 1.4142135623730951 : 1.7320508075688772);
                // Every non-empty proper subset of the changed axes.
                const int32_t full[3] = {dx, dy, dz};
                for (int mask = 1; mask < 7; ++mask) {
                    int32_t s[3] = {0, 0, 0};
                    bool proper = false, inside = true;
                    for (int a = 0; a < 3; ++a) {
                        if (!(mask & (1 << a))) continue;
                        if (full[a] == 0) inside = false;
                        s[a] = full[a];
                    }
                    if (!inside) continue;
                    for (int a = 0; a < 3; ++a)
                        if (full[a] != 0 && s[a] == 0) proper = true;
                    if (proper) m.side[m.sides++] = linear(s[0], s[1], s[2]);
                }
                set.move[set.count++] = m;
            }
    return set;
}

// The least total length of moves from a cell to another |dx|, |dy|, |dz|
// apart, for a connectivity; a lower bound of the path cost once multiplied by
// the smallest cell cost. Consistent: no move changes it by more than its length.
inline double move_distance(int connectivity, bool uniform, int32_t a, int32_t b, int32_t c) {
    const int32_t lo = std::min(a, std::min(b, c)), hi = std::max(a, std::max(b, c));
    const int32_t mid = a + b + c - lo - hi;
    switch (connectivity) {
        case 4:
        case 6:
            return static_cast<double>(a + b + c);
        case 8:
            return uniform ? chebyshev2D(a, b) : octile2D(a, b);
        case 26:
            return uniform ? chebyshev3D(a, b, c) : octile3D(a, b, c);
        default:  // 18: moves change at most two axes
            if (uniform) return std::max(static_cast<double>(hi), static_cast<double>(a + b + c) * 0.5);
            if (hi >= lo + mid) return static_cast<double>(lo + mid) * 1.4142135623730951 + static_cast<double>(hi - lo - mid);
            return static_cast<double>(a + b + c) * (0.5 * 1.4142135623730951);
    }
}

}  // namespace gridsearch
