#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include "astar.hpp"

namespace py = pybind11;
using namespace pybind11::literals;

PYBIND11_MODULE(astar, m) {
    m.doc() = "Optimized 2D A* with PyBind11";

    m.def("astar2D", &gridsearch::astar2D, "grid"_a, "start_x"_a, "start_y"_a, "goal_x"_a, "goal_y"_a,
          "use_uniform_step_cost"_a = false,
          "Run optimized A* on a 2D grid and return the path, cost, and expansion count.");

    m.def("astar2D_heuristic_grid", &gridsearch::astar2DHeuristicGrid, "grid"_a, "heuristic_grid"_a, "start_x"_a,
          "start_y"_a, "goal_x"_a, "goal_y"_a, "w"_a = 1.0, "use_uniform_step_cost"_a = false,
          "Run weighted A* on a 2D grid; uses per-cell heuristic grid if provided, otherwise octile distance.");

    m.def("astar3D", &gridsearch::astar3D, "grid"_a, "start_x"_a, "start_y"_a, "start_z"_a, "goal_x"_a, "goal_y"_a,
          "goal_z"_a, "use_uniform_step_cost"_a = false,
          "Run optimized A* on a 3D grid and return the path, cost, and expansion count.");

    m.def("astar3D_heuristic_grid", &gridsearch::astar3DHeuristicGrid, "grid"_a, "heuristic_grid"_a, "start_x"_a,
          "start_y"_a, "start_z"_a, "goal_x"_a, "goal_y"_a, "goal_z"_a, "w"_a = 1.0,
          "use_uniform_step_cost"_a = false,
          "Run weighted A* on a 3D grid; uses per-voxel heuristic grid if provided, otherwise octile distance.");
}
