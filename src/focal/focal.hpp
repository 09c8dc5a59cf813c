// The two searches of module focal.
#pragma once

#include <pybind11/pybind11.h>

#include <cstdint>

#include "../core/grid.hpp"

namespace gridsearch {

py::tuple focal2D(const BoolGrid& grid, int32_t start_x, int32_t start_y, int32_t goal_x, int32_t goal_y, double w,
                  const py::object& path_proximity_map, bool use_uniform_step_cost);

py::tuple focal3D(const BoolGrid& grid, int32_t start_x, int32_t start_y, int32_t start_z, int32_t goal_x,
                  int32_t goal_y, int32_t goal_z, double w, const py::object& path_proximity_map,
                  bool use_uniform_step_cost);

}  // namespace gridsearch
