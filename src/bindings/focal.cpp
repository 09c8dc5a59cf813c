// Module focal: the two focal searches.
#include "convert.hpp"

namespace py = pybind11;
using namespace pybind11::literals;
using gridsearch::binding::BoolGrid;
using gridsearch::binding::check_grid;
using gridsearch::binding::grid_ref;
using gridsearch::binding::load_map;
using gridsearch::binding::run;

namespace {

constexpr const char* FOCAL2D_DOC =
    "\n"
    "Run focal search on a 2D occupancy grid.\n"
    "\n"
    "Args:\n"
    "\tgrid (np.ndarray[bool]): 2D array where True/1 is walkable.\n"
    "\tstart_x, start_y (int): start coordinates (row/col order).\n"
    "\tgoal_x, goal_y (int): goal coordinates (row/col order).\n"
    "\tw (float): suboptimality bound (>=1). Paths cost <= w * optimal.\n"
    "\tpath_proximity_map (np.ndarray[float], optional): secondary key for focal ordering.\n"
    "\t\tLower values are preferred (e.g., distance to a guiding path). Shape must match grid.\n"
    "\n"
    "Returns:\n"
    "\ttuple: (path ndarray [N,2], total_cost float, expansions int)\n"
    "\t\t  If no path exists, returns empty path and cost=inf.\n"
    "\t\t  Movement costs: straight=1, diagonal=sqrt(2).\n";

constexpr const char* FOCAL3D_DOC =
    "\n"
    "Run focal search on a 3D occupancy grid.\n"
    "\n"
    "Args:\n"
    "\tgrid (np.ndarray[bool]): 3D array where True/1 is walkable.\n"
    "\tstart_x, start_y, start_z (int): start coordinates (row/col/depth order).\n"
    "\tgoal_x, goal_y, goal_z (int): goal coordinates (row/col/depth order).\n"
    "\tw (float): suboptimality bound (>=1). Paths cost <= w * optimal.\n"
    "\tpath_proximity_map (np.ndarray[float], optional): secondary key for focal ordering.\n"
    "\t\tLower values are preferred. Shape must match grid.\n"
    "\n"
    "Returns:\n"
    "\ttuple: (path ndarray [N,3], total_cost float, expansions int)\n"
    "\t\t  If no path exists, returns empty path and cost=inf.\n"
    "\t\t  Movement costs: straight=1, face-diagonal=sqrt(2), space-diagonal=sqrt(3).\n";


py::tuple focal2D(const BoolGrid& grid, int32_t start_x, int32_t start_y, int32_t goal_x, int32_t goal_y, double w,
                  const py::object& path_proximity_map, bool use_uniform_step_cost) {
    check_grid<2>(grid);
    const auto map = load_map(path_proximity_map);
    return run([&](const gridsearch::StopCheck& stop) {
        return gridsearch::trusted::focal<2>(grid_ref(grid), {start_x, start_y, 0}, {goal_x, goal_y, 0}, w, map.ref,
                                             use_uniform_step_cost, stop, nullptr);
    });
}

py::tuple focal3D(const BoolGrid& grid, int32_t start_x, int32_t start_y, int32_t start_z, int32_t goal_x,
                  int32_t goal_y, int32_t goal_z, double w, const py::object& path_proximity_map,
                  bool use_uniform_step_cost) {
    check_grid<3>(grid);
    const auto map = load_map(path_proximity_map);
    return run([&](const gridsearch::StopCheck& stop) {
        return gridsearch::trusted::focal<3>(grid_ref(grid), {start_x, start_y, start_z}, {goal_x, goal_y, goal_z}, w,
                                             map.ref, use_uniform_step_cost, stop, nullptr);
    });
}

}  // namespace

PYBIND11_MODULE(focal, m) {
    m.doc() = "Bounded suboptimal focal search for 2D grids";

    m.def("focal2D", &focal2D, "grid"_a, "start_x"_a, "start_y"_a, "goal_x"_a, "goal_y"_a, "w"_a,
          "path_proximity_map"_a = py::none(), "use_uniform_step_cost"_a = false, FOCAL2D_DOC);

    m.def("focal3D", &focal3D, "grid"_a, "start_x"_a, "start_y"_a, "start_z"_a, "goal_x"_a, "goal_y"_a, "goal_z"_a,
          "w"_a, "path_proximity_map"_a = py::none(), "use_uniform_step_cost"_a = false, FOCAL3D_DOC);
}
