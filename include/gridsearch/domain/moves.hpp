// Move sets, step costs and distance estimates shared by every search.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace gridsearch {

// 2D moves: one sweep around the cell, starting with (+1, +1).
inline constexpr int32_t DX[8] = {1, 1, 1, 0, -1, -1, -1, 0};
inline constexpr int32_t DY[8] = {1, 0, -1, -1, -1, 0, 1, 1};
inline constexpr double COST[8] = {1.4142135623730951, 1.0, 1.4142135623730951, 1.0,
                                   1.4142135623730951, 1.0, 1.4142135623730951, 1.0};
inline constexpr double UNIT_COST[8] = {1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0};

struct Neighbor3D {
    int32_t dx;
    int32_t dy;
    int32_t dz;
    double cost;
};

// The 26 moves, dx outermost, dz innermost. Built once per process on first use;
// a failed build leaves the static unbuilt and the next call tries again.
inline const std::vector<Neighbor3D>& neighbors3D() {
    static const std::vector<Neighbor3D> neighbors = [] {
        std::vector<Neighbor3D> list;
        list.reserve(26);
        for (int32_t dx = -1; dx <= 1; ++dx)
            for (int32_t dy = -1; dy <= 1; ++dy)
                for (int32_t dz = -1; dz <= 1; ++dz) {
                    if (dx == 0 && dy == 0 && dz == 0) continue;
                    list.push_back({dx, dy, dz, std::sqrt(static_cast<double>(dx * dx + dy * dy + dz * dz))});
                }
        return list;
    }();
    return neighbors;
}

// Octile distance in the form min * (sqrt2 - 2) + (a + b): product first, then the sum.
inline double octile2D(int32_t a, int32_t b) {
    return static_cast<double>(std::min(a, b)) * -0.5857864376269049 + static_cast<double>(a + b);
}

inline double chebyshev2D(int32_t a, int32_t b) { return static_cast<double>(std::max(a, b)); }

inline double octile3D(int32_t a, int32_t b, int32_t c) {
    int32_t lo = std::min(a, std::min(b, c));
    int32_t hi = std::max(a, std::max(b, c));
    int32_t mid = std::max(std::min(a, b), std::min(std::max(a, b), c));
    return (static_cast<double>(lo) * 1.7320508075688772 + static_cast<double>(mid - lo) * 1.4142135623730951) +
           static_cast<double>(hi - mid);
}

inline double chebyshev3D(int32_t a, int32_t b, int32_t c) {
    return static_cast<double>(std::max(a, std::max(b, c)));
}

inline int32_t absdiff(int32_t a, int32_t b) { return a > b ? a - b : b - a; }

}  // namespace gridsearch

namespace gridsearch {

// The built-in estimate from a cell to the goal: octile, or Chebyshev when
// every step costs 1.
template <int Dim, bool Uniform>
struct GoalDistance {
    int32_t gx, gy, gz;

    double operator()(int32_t x, int32_t y, int32_t z) const {
        const int32_t a = absdiff(x, gx), b = absdiff(y, gy);
        if constexpr (Dim == 2) {
            (void)z;
            return Uniform ? chebyshev2D(a, b) : octile2D(a, b);
        } else {
            const int32_t c = absdiff(z, gz);
            return Uniform ? chebyshev3D(a, b, c) : octile3D(a, b, c);
        }
    }
};

}  // namespace gridsearch
