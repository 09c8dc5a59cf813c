// The C++ API: the six searches, named and ordered like the Python functions.
//
//   std::vector<uint8_t> cells(rows * cols, 1);          // nonzero = walkable
//   gridsearch::GridRef grid{cells.data(), {rows, cols}};
//   auto r = gridsearch::astar2D(grid, 0, 0, rows - 1, cols - 1);
//   // r.path, r.cost, r.expansions, r.visited_data()
//
// Arrays are C-contiguous and stay the caller's; a map is given as a MapRef or
// std::nullopt. The refs are checked first: a negative extent or a null data
// pointer for a grid with cells throws std::invalid_argument, a grid too large
// for the 32-bit cell index std::length_error. Other invalid input throws
// std::runtime_error with the same message as the Python call ("Grid must be
// 2D!", "Start/goal outside grid bounds!", ...), and a
// stop check that answers true makes the search throw Interrupted. A
// Workspace keeps the working storage from call to call (one search at a time
// per workspace; with workspace->visited false, results carry no visited map).
#pragma once

#include <cstdint>
#include <optional>

#include "algorithms/astar.hpp"
#include "algorithms/focal.hpp"
#include "base/grid.hpp"
#include "base/result.hpp"
#include "base/stop.hpp"
#include "memory/workspace.hpp"

namespace gridsearch {

// The grid and map checks of each family, in the order the searches make them.
template <int Dim>
GridView<Dim> check_heuristic_grid(const GridRef& grid, const std::optional<MapRef>& heuristic_grid) {
    const GridView<Dim> g = open_grid<Dim>(grid);
    if (heuristic_grid)
        check_map(*heuristic_grid, g, Dim == 2 ? "Heuristic grid must be 2D!" : "Heuristic grid must be 3D!",
                  "Heuristic grid must match grid shape!");
    return g;
}

template <int Dim>
GridView<Dim> check_proximity_map(const GridRef& grid, const std::optional<MapRef>& path_proximity_map) {
    const GridView<Dim> g = open_grid<Dim>(grid);
    if (path_proximity_map)
        check_map(*path_proximity_map, g,
                  Dim == 2 ? "Path proximity map must be 2D!" : "Path proximity map must be 3D!",
                  "Path proximity map must match grid shape!");
    return g;
}

// The searches for callers whose refs are well-formed arrays (extents not
// negative, data present), as the Python modules' always are: the checks of
// each family in the modules' fixed order, with the size limit checked just
// before the working storage is allocated. C++ callers use the functions
// further down, which check the refs themselves first.
namespace trusted {

inline bool wants_visited(const Workspace* ws) { return ws == nullptr || ws->visited; }

template <int Dim>
Result<Dim> plain(const GridRef& grid, const Cell& s, const Cell& t, bool uniform, const StopCheck& stop,
                  Workspace* ws) {
    const GridView<Dim> g = open_grid<Dim>(grid);
    check_bounds(g, s, t);
    if (!endpoints_free(g, s, t)) return blocked_result(g, wants_visited(ws));
    if (uniform) return run_astar<Dim>(g, s, t, true, DistanceTerm<Dim, true>{{t.x, t.y, t.z}}, stop, ws);
    return run_astar<Dim>(g, s, t, false, DistanceTerm<Dim, false>{{t.x, t.y, t.z}}, stop, ws);
}

template <int Dim>
Result<Dim> weighted(const GridRef& grid, const std::optional<MapRef>& heuristic_grid, const Cell& s, const Cell& t,
                     double w, bool uniform, const StopCheck& stop, Workspace* ws) {
    const GridView<Dim> g = check_heuristic_grid<Dim>(grid, heuristic_grid);
    check_bounds(g, s, t);
    if (!endpoints_free(g, s, t)) return blocked_result(g, wants_visited(ws));
    const double wp = w < 1.0 ? 1.0 : w;
    if (heuristic_grid) return run_astar<Dim>(g, s, t, uniform, MapTerm{heuristic_grid->data, wp}, stop, ws);
    if (uniform)
        return run_astar<Dim>(g, s, t, true, WeightedDistanceTerm<Dim, true>{{t.x, t.y, t.z}, wp}, stop, ws);
    return run_astar<Dim>(g, s, t, false, WeightedDistanceTerm<Dim, false>{{t.x, t.y, t.z}, wp}, stop, ws);
}

template <int Dim>
Result<Dim> focal(const GridRef& grid, const Cell& s, const Cell& t, double w,
                  const std::optional<MapRef>& path_proximity_map, bool uniform, const StopCheck& stop,
                  Workspace* ws) {
    const GridView<Dim> g = check_proximity_map<Dim>(grid, path_proximity_map);
    check_bounds(g, s, t);
    if (!endpoints_free(g, s, t)) return blocked_result(g, wants_visited(ws));
    const double* map = path_proximity_map ? path_proximity_map->data : nullptr;
    if (uniform) return run_focal<Dim, true>(g, map, s, t, w, stop, ws);
    return run_focal<Dim, false>(g, map, s, t, w, stop, ws);
}

}  // namespace trusted

namespace detail {

// The refs of a C++ call, checked on entry; the grid's own errors first.
template <int Dim>
void check_refs(const GridRef& grid, const std::optional<MapRef>& map = std::nullopt, const char* name = nullptr) {
    const GridView<Dim> g = open_grid<Dim>(grid);
    check_grid_ref<Dim>(grid);
    if (map) check_map_ref(*map, g, name);
}

}  // namespace detail

// Optimal A* with the octile estimate (Chebyshev with unit steps).
inline Result<2> astar2D(const GridRef& grid, int32_t start_x, int32_t start_y, int32_t goal_x, int32_t goal_y,
                         bool use_uniform_step_cost = false,
                         const StopCheck& stop = {}, Workspace* workspace = nullptr) {
    detail::check_refs<2>(grid);
    return trusted::plain<2>(grid, {start_x, start_y, 0}, {goal_x, goal_y, 0}, use_uniform_step_cost, stop, workspace);
}

inline Result<3> astar3D(const GridRef& grid, int32_t start_x, int32_t start_y, int32_t start_z, int32_t goal_x,
                         int32_t goal_y, int32_t goal_z, bool use_uniform_step_cost = false,
                         const StopCheck& stop = {}, Workspace* workspace = nullptr) {
    detail::check_refs<3>(grid);
    return trusted::plain<3>(grid, {start_x, start_y, start_z}, {goal_x, goal_y, goal_z}, use_uniform_step_cost,
                            stop, workspace);
}

// Weighted A*: f = max(w, 1) * h + g, h from the map when given (non-finite
// values count as +inf), else the built-in estimate.
inline Result<2> astar2D_heuristic_grid(const GridRef& grid, const std::optional<MapRef>& heuristic_grid,
                                        int32_t start_x, int32_t start_y, int32_t goal_x, int32_t goal_y,
                                        double w = 1.0, bool use_uniform_step_cost = false,
                                        const StopCheck& stop = {}, Workspace* workspace = nullptr) {
    detail::check_refs<2>(grid, heuristic_grid, "Heuristic grid");
    return trusted::weighted<2>(grid, heuristic_grid, {start_x, start_y, 0}, {goal_x, goal_y, 0}, w,
                               use_uniform_step_cost, stop, workspace);
}

inline Result<3> astar3D_heuristic_grid(const GridRef& grid, const std::optional<MapRef>& heuristic_grid,
                                        int32_t start_x, int32_t start_y, int32_t start_z, int32_t goal_x,
                                        int32_t goal_y, int32_t goal_z, double w = 1.0,
                                        bool use_uniform_step_cost = false, const StopCheck& stop = {},
                                        Workspace* workspace = nullptr) {
    detail::check_refs<3>(grid, heuristic_grid, "Heuristic grid");
    return trusted::weighted<3>(grid, heuristic_grid, {start_x, start_y, start_z}, {goal_x, goal_y, goal_z}, w,
                               use_uniform_step_cost, stop, workspace);
}

// Focal search with the bound max(w, 1): among the open cells whose f is within
// that factor of the smallest, the one with the lowest map value (or h) goes
// first. Closed cells are never reopened, so a path can cost somewhat more than
// w times the optimum.
inline Result<2> focal2D(const GridRef& grid, int32_t start_x, int32_t start_y, int32_t goal_x, int32_t goal_y,
                         double w, const std::optional<MapRef>& path_proximity_map = std::nullopt,
                         bool use_uniform_step_cost = false,
                         const StopCheck& stop = {}, Workspace* workspace = nullptr) {
    detail::check_refs<2>(grid, path_proximity_map, "Path proximity map");
    return trusted::focal<2>(grid, {start_x, start_y, 0}, {goal_x, goal_y, 0}, w, path_proximity_map,
                            use_uniform_step_cost, stop, workspace);
}

inline Result<3> focal3D(const GridRef& grid, int32_t start_x, int32_t start_y, int32_t start_z, int32_t goal_x,
                         int32_t goal_y, int32_t goal_z, double w,
                         const std::optional<MapRef>& path_proximity_map = std::nullopt,
                         bool use_uniform_step_cost = false,
                         const StopCheck& stop = {}, Workspace* workspace = nullptr) {
    detail::check_refs<3>(grid, path_proximity_map, "Path proximity map");
    return trusted::focal<3>(grid, {start_x, start_y, start_z}, {goal_x, goal_y, goal_z}, w, path_proximity_map,
                            use_uniform_step_cost, stop, workspace);
}

}  // namespace gridsearch
