// Focal search: OPEN ordered by f, FOCAL (the open nodes within w * f_min)
// ordered by (key, f, g). The key is the caller's map value or h.
#pragma once

#include <pybind11/pybind11.h>

#include <cstdint>
#include <type_traits>
#include <utility>
#include <vector>

#include "../core/cells.hpp"
#include "../core/grid.hpp"
#include "../core/heap.hpp"
#include "../core/neighbors.hpp"
#include "../core/result.hpp"
#include "../core/value_map.hpp"

namespace gridsearch {

// An OPEN entry besides its priority f (h is recomputed from the cell when
// needed), and a FOCAL entry with everything its order reads.
struct OpenNode {
    int32_t x;
    int32_t y;
    double g;
};

struct FocalNode {
    int32_t x;
    int32_t y;
    double f;
    double g;
    double key;
};

struct OpenNode3D {
    int32_t x;
    int32_t y;
    int32_t z;
    double g;
};

struct FocalNode3D {
    int32_t x;
    int32_t y;
    int32_t z;
    double f;
    double g;
    double key;
};

// Lexicographic (key, f, g). A NaN key compares unequal and not greater, so
// neither entry sinks below the other.
struct SinksByKey {
    template <class T>
    bool operator()(const T& a, const T& b) const {
        if (a.key != b.key) return a.key > b.key;
        if (a.f != b.f) return a.f > b.f;
        return a.g > b.g;
    }
};

inline OpenNode make_open(const GridView<2>&, int32_t x, int32_t y, int32_t, double g) { return {x, y, g}; }
inline OpenNode3D make_open(const GridView<3>&, int32_t x, int32_t y, int32_t z, double g) { return {x, y, z, g}; }
inline FocalNode make_focal(const OpenNode& e, double f, double key) { return {e.x, e.y, f, e.g, key}; }
inline FocalNode3D make_focal(const OpenNode3D& e, double f, double key) { return {e.x, e.y, e.z, f, e.g, key}; }
template <class N>
int32_t z_of(const N& n) {
    if constexpr (std::is_same_v<N, OpenNode> || std::is_same_v<N, FocalNode>)
        return 0;
    else
        return n.z;
}

template <int Dim, bool Uniform, class Cells>
py::tuple focal_loop(const GridView<Dim>& grid, int32_t count, const ValueMap& map, const Cell& start,
                     const Cell& goal, double w) {
    using Open = std::conditional_t<Dim == 2, OpenNode, OpenNode3D>;
    using Focal = std::conditional_t<Dim == 2, FocalNode, FocalNode3D>;

    const GoalDistance<Dim, Uniform> h{goal.x, goal.y, goal.z};
    const int32_t s = grid.index(start.x, start.y, start.z);
    const int32_t t = grid.index(goal.x, goal.y, goal.z);

    if (w < 1.0) w = 1.0;
    // w * f, except that an infinite w bounds nothing, even where f is 0.
    const bool unbounded = w == INF;
    auto bound_for = [&](double f) { return unbounded ? INF : w * f; };

    Cells cells(grid, count);
    auto at = [&](const auto& e) { return At{grid.index(e.x, e.y, z_of(e)), e.x, e.y, z_of(e)}; };
    // An entry is live while its cell is open and its g is the cell's best cost.
    auto live = [&](const At& c, const auto& e) {
        const auto r = cells.ref(c);
        return !(cells.state(r) & CLOSED) && e.g == cells.g(r);
    };
    auto key_of = [&](int32_t c, double hv) { return map.present ? map.at(c) : hv; };

    FHeap<Open> open;
    Heap<Focal, SinksByKey> focal;
    std::vector<std::pair<double, Open>> carry;
    int32_t expansions = 0;
    bool found = false;

    cells.reach({s, start.x, start.y, start.z}, 0.0, -1);
    const double h0 = h(start.x, start.y, start.z);
    open.push(h0, make_open(grid, start.x, start.y, start.z, 0.0));

    while (true) {
        while (!open.empty() && !live(at(open.top()), open.top()))
            open.pop();

        double f_min, bound;
        if (open.empty()) {
            if (focal.empty()) break;
            f_min = INF;
            bound = bound_for(f_min);
        } else {
            f_min = open.top_f();
            bound = bound_for(f_min);
            carry.clear();
            while (!open.empty() && open.top_f() <= bound) {
                const double f = open.top_f();
                const Open e = open.top();
                open.pop();
                const At c = at(e);
                if (!live(c, e)) continue;
                if (!cells.in_focal(c)) {
                    focal.push(make_focal(e, f, key_of(c.i, h(c.x, c.y, c.z))));
                    cells.set_in_focal(c);
                }
                carry.emplace_back(f, e);
            }
            for (const auto& [f, e] : carry) open.push(f, e);
            if (focal.empty()) break;
        }

        const Focal top = focal.top();
        focal.pop();
        const At c = at(top);
        cells.clear_in_focal(c);
        if (!live(c, top)) continue;

        cells.close(c);
        ++expansions;
        if (c.i == t) {
            found = true;
            break;
        }
        const double gc = top.g;
        for_each_neighbor(grid, top.x, top.y, z_of(top), Uniform,
                          [&](int32_t nx, int32_t ny, int32_t nz, int32_t n, double step) {
                              const At a{n, nx, ny, nz};
                              const auto r = cells.ref(a);
                              const uint8_t st = cells.state(r);
                              if (st & CLOSED) return;
                              const double tentative = gc + step;
                              if ((st & REACHED) && !(cells.g(r) > tentative)) return;
                              cells.reach(r, a, tentative, c.i);
                              cells.clear_in_focal(a);
                              const double hn = h(nx, ny, nz);
                              const double f = tentative + hn;
                              const Open e = make_open(grid, nx, ny, nz, tentative);
                              open.push(f, e);
                              const double top_f = open.top_f();
                              const double b = f_min > top_f ? bound_for(top_f) : bound;
                              if (f <= b) {
                                  focal.push(make_focal(e, f, key_of(n, hn)));
                                  cells.set_in_focal(a);
                              }
                          });
    }

    py::array path = found ? build_path(grid, s, t, [&](int32_t i) { return cells.parent(i); }) : empty_path<Dim>();
    const double cost = found ? cells.g({t, goal.x, goal.y, goal.z}) : INF;
    return py::make_tuple(path, cost, expansions, visited_array(grid, cells.finish(open)));
}

template <int Dim, bool Uniform>
py::tuple run_focal(const GridView<Dim>& grid, const ValueMap& map, const Cell& start, const Cell& goal, double w) {
    const int32_t count = cell_count(grid);
    if (count >= TILED_FROM) return focal_loop<Dim, Uniform, TiledCells<Dim>>(grid, count, map, start, goal, w);
    return focal_loop<Dim, Uniform, FlatCells<Dim>>(grid, count, map, start, goal, w);
}

}  // namespace gridsearch
