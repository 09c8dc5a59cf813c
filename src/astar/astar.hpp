// The four searches of module astar.
#pragma once

#include <pybind11/pybind11.h>

#include <cstdint>

#include "../core/grid.hpp"

namespace gridsearch {

py::tuple astar2D(const BoolGrid& grid, int32_t start_x, int32_t start_y, int32_t goal_x, int32_t goal_y,
                  bool use_uniform_step_cost);

py::tuple astar3D(const BoolGrid& grid, int32_t start_x, int32_t start_y, int32_t start_z, int32_t goal_x,
                  int32_t goal_y, int32_t goal_z, bool use_uniform_step_cost);

py::tuple astar2DHeuristicGrid(const BoolGrid& grid, const py::object& heuristic_grid, int32_t start_x,
                               int32_t start_y, int32_t goal_x, int32_t goal_y, double w,
                               bool use_uniform_step_cost);

py::tuple astar3DHeuristicGrid(const BoolGrid& grid, const py::object& heuristic_grid, int32_t start_x,
                               int32_t start_y, int32_t start_z, int32_t goal_x, int32_t goal_y, int32_t goal_z,
                               double w, bool use_uniform_step_cost);

}  // namespace gridsearch
