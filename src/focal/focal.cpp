#include "focal.hpp"

#include "focal_search.hpp"

namespace gridsearch {
namespace {

template <int Dim>
py::tuple search(const BoolGrid& grid, const Cell& s, const Cell& t, double w, const py::object& proximity,
                 bool uniform) {
    const GridView<Dim> g = open_grid<Dim>(grid);
    const ValueMap map =
        load_value_map(proximity, g, Dim == 2 ? "Path proximity map must be 2D!" : "Path proximity map must be 3D!",
                       "Path proximity map must match grid shape!");
    check_bounds(g, s, t);
    if (!endpoints_free(g, s, t)) return blocked_result(g);
    if (uniform) return run_focal<Dim, true>(g, map, s, t, w);
    return run_focal<Dim, false>(g, map, s, t, w);
}

}  // namespace

py::tuple focal2D(const BoolGrid& grid, int32_t start_x, int32_t start_y, int32_t goal_x, int32_t goal_y, double w,
                  const py::object& path_proximity_map, bool use_uniform_step_cost) {
    return search<2>(grid, {start_x, start_y, 0}, {goal_x, goal_y, 0}, w, path_proximity_map,
                     use_uniform_step_cost);
}

py::tuple focal3D(const BoolGrid& grid, int32_t start_x, int32_t start_y, int32_t start_z, int32_t goal_x,
                  int32_t goal_y, int32_t goal_z, double w, const py::object& path_proximity_map,
                  bool use_uniform_step_cost) {
    return search<3>(grid, {start_x, start_y, start_z}, {goal_x, goal_y, goal_z}, w, path_proximity_map,
                     use_uniform_step_cost);
}

}  // namespace gridsearch
