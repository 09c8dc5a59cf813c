// Neighbour admission shared by every search: inside the grid and walkable.
// The caller adds its own closed test and cost bookkeeping.
#pragma once

#include <cstdint>

#include "../base/grid.hpp"
#include "moves.hpp"

namespace gridsearch {

// Calls fn(nx, ny, nz, n, step) for each admissible move of (x, y, z) in table
// order; n is the neighbour's linear index and step its move cost.
template <class Fn>
inline void for_each_neighbor(const GridView<2>& g, int32_t x, int32_t y, int32_t, bool uniform, Fn&& fn) {
    const double* step = uniform ? UNIT_COST : COST;
    if (x > 0 && y > 0 && x < g.rows - 1 && y < g.cols - 1) {
        // Away from the border every move stays inside the grid.
        const int32_t c = x * g.cols + y;
        for (int i = 0; i < 8; ++i) {
            const int32_t n = c + DX[i] * g.cols + DY[i];
            if (!g.free(n)) continue;
            fn(x + DX[i], y + DY[i], 0, n, step[i]);
        }
        return;
    }
    for (int i = 0; i < 8; ++i) {
        const int32_t nx = x + DX[i], ny = y + DY[i];
        if (!in_range(nx, g.rows) || !in_range(ny, g.cols)) continue;
        const int32_t n = nx * g.cols + ny;
        if (!g.free(n)) continue;
        fn(nx, ny, 0, n, step[i]);
    }
}

template <class Fn>
inline void for_each_neighbor(const GridView<3>& g, int32_t x, int32_t y, int32_t z, bool uniform, Fn&& fn) {
    for (const Neighbor3D& m : neighbors3D()) {
        const int32_t nx = x + m.dx, ny = y + m.dy, nz = z + m.dz;
        if (!in_range(nx, g.rows) || !in_range(ny, g.cols) || !in_range(nz, g.depth)) continue;
        const int32_t n = (nx * g.cols + ny) * g.depth + nz;
        if (!g.free(n)) continue;
        fn(nx, ny, nz, n, uniform ? 1.0 : m.cost);
    }
}

}  // namespace gridsearch
