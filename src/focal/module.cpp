#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include "focal.hpp"

namespace py = pybind11;
using namespace pybind11::literals;

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

}  // namespace

PYBIND11_MODULE(focal, m) {
    m.doc() = "Bounded suboptimal focal search for 2D grids";

    m.def("focal2D", &gridsearch::focal2D, "grid"_a, "start_x"_a, "start_y"_a, "goal_x"_a, "goal_y"_a, "w"_a,
          "path_proximity_map"_a = py::none(), "use_uniform_step_cost"_a = false, FOCAL2D_DOC);

    m.def("focal3D", &gridsearch::focal3D, "grid"_a, "start_x"_a, "start_y"_a, "start_z"_a, "goal_x"_a, "goal_y"_a,
          "goal_z"_a, "w"_a, "path_proximity_map"_a = py::none(), "use_uniform_step_cost"_a = false, FOCAL3D_DOC);
}
