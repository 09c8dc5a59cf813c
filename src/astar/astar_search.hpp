// The A* loop shared by the plain and the weighted searches in 2D and 3D.
//
// `Term` gives the heuristic part of a cell's priority (already weighted), so
// that f = term + g. Everything else, from the open list to the result, is the
// same for all four searches.
#pragma once

#include <pybind11/pybind11.h>

#include <cstdint>
#include <type_traits>

#include "../core/cells.hpp"
#include "../core/grid.hpp"
#include "../core/heap.hpp"
#include "../core/neighbors.hpp"
#include "../core/result.hpp"

namespace gridsearch {

// An open-list entry besides its priority f.
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

inline Node make_node(const GridView<2>&, int32_t x, int32_t y, int32_t, double g) { return {x, y, g}; }
inline Node3D make_node(const GridView<3>&, int32_t x, int32_t y, int32_t z, double g) { return {x, y, z, g}; }
inline int32_t z_of(const Node&) { return 0; }
inline int32_t z_of(const Node3D& n) { return n.z; }

template <int Dim, class Cells, class Term>
py::tuple astar_loop(const GridView<Dim>& grid, int32_t count, const Cell& start, const Cell& goal, bool uniform,
                     const Term& term) {
    const int32_t s = grid.index(start.x, start.y, start.z);
    const int32_t t = grid.index(goal.x, goal.y, goal.z);

    Cells cells(grid, count);
    int32_t expansions = 0;
    bool found = false;
    cells.reach({s, start.x, start.y, start.z}, 0.0, -1);

    FHeap<NodeFor<Dim>> open;
    open.push(term(start.x, start.y, start.z, s), make_node(grid, start.x, start.y, start.z, 0.0));
    while (!open.empty()) {
        const NodeFor<Dim> e = open.top();
        open.pop();
        const At c{grid.index(e.x, e.y, z_of(e)), e.x, e.y, z_of(e)};
        const auto r = cells.ref(c);
        if ((cells.state(r) & CLOSED) || e.g != cells.g(r)) continue;
        cells.close(r, c);
        ++expansions;
        if (c.i == t) {
            found = true;
            break;
        }
        const double gc = e.g;
        for_each_neighbor(grid, e.x, e.y, z_of(e), uniform,
                          [&](int32_t nx, int32_t ny, int32_t nz, int32_t n, double step) {
                              const At a{n, nx, ny, nz};
                              const auto r = cells.ref(a);
                              const uint8_t st = cells.state(r);
                              if (st & CLOSED) return;
                              const double tentative = gc + step;
                              if ((st & REACHED) && !(cells.g(r) > tentative)) return;
                              cells.reach(r, a, tentative, c.i);
                              open.push(term(nx, ny, nz, n) + tentative, make_node(grid, nx, ny, nz, tentative));
                          });
    }

    py::array path = found ? build_path(grid, s, t, [&](int32_t i) { return cells.parent(i); }) : empty_path<Dim>();
    const double cost = found ? cells.g({t, goal.x, goal.y, goal.z}) : INF;
    return py::make_tuple(path, cost, expansions, visited_array(grid, cells.finish(open)));
}

template <int Dim, class Term>
py::tuple run_astar(const GridView<Dim>& grid, const Cell& start, const Cell& goal, bool uniform,
                    const Term& term) {
    const int32_t count = cell_count(grid);
    if (count >= TILED_FROM) return astar_loop<Dim, TiledCells<Dim>>(grid, count, start, goal, uniform, term);
    return astar_loop<Dim, FlatCells<Dim>>(grid, count, start, goal, uniform, term);
}

}  // namespace gridsearch
