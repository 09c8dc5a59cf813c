// Module astar: the four A* searches.
#include "convert.hpp"

namespace py = pybind11;
using namespace pybind11::literals;
using gridsearch::binding::BoolGrid;
using gridsearch::binding::check_grid;
using gridsearch::binding::grid_ref;
using gridsearch::binding::load_map;
using gridsearch::binding::run;

namespace {

py::tuple astar2D(const BoolGrid& grid, int32_t start_x, int32_t start_y, int32_t goal_x, int32_t goal_y,
                  bool use_uniform_step_cost) {
    return run([&](const gridsearch::StopCheck& stop) {
        return gridsearch::trusted::plain<2>(grid_ref(grid), {start_x, start_y, 0}, {goal_x, goal_y, 0},
                                             use_uniform_step_cost, stop, nullptr);
    });
}

py::tuple astar3D(const BoolGrid& grid, int32_t start_x, int32_t start_y, int32_t start_z, int32_t goal_x,
                  int32_t goal_y, int32_t goal_z, bool use_uniform_step_cost) {
    return run([&](const gridsearch::StopCheck& stop) {
        return gridsearch::trusted::plain<3>(grid_ref(grid), {start_x, start_y, start_z}, {goal_x, goal_y, goal_z},
                                             use_uniform_step_cost, stop, nullptr);
    });
}

py::tuple astar2DHeuristicGrid(const BoolGrid& grid, const py::object& heuristic_grid, int32_t start_x,
                               int32_t start_y, int32_t goal_x, int32_t goal_y, double w,
                               bool use_uniform_step_cost) {
    check_grid<2>(grid);
    const auto map = load_map(heuristic_grid);
    return run([&](const gridsearch::StopCheck& stop) {
        return gridsearch::trusted::weighted<2>(grid_ref(grid), map.ref, {start_x, start_y, 0}, {goal_x, goal_y, 0}, w,
                                                use_uniform_step_cost, stop, nullptr);
    });
}

py::tuple astar3DHeuristicGrid(const BoolGrid& grid, const py::object& heuristic_grid, int32_t start_x,
                               int32_t start_y, int32_t start_z, int32_t goal_x, int32_t goal_y, int32_t goal_z,
                               double w, bool use_uniform_step_cost) {
    check_grid<3>(grid);
    const auto map = load_map(heuristic_grid);
    return run([&](const gridsearch::StopCheck& stop) {
        return gridsearch::trusted::weighted<3>(grid_ref(grid), map.ref, {start_x, start_y, start_z},
                                                {goal_x, goal_y, goal_z}, w, use_uniform_step_cost, stop, nullptr);
    });
}

}  // namespace

PYBIND11_MODULE(astar, m) {
    m.doc() = "Optimized 2D A* with PyBind11";

    m.def("astar2D", &astar2D, "grid"_a, "start_x"_a, "start_y"_a, "goal_x"_a, "goal_y"_a,
          "use_uniform_step_cost"_a = false,
          "Run optimized A* on a 2D grid and return the path, cost, and expansion count.");

    m.def("astar2D_heuristic_grid", &astar2DHeuristicGrid, "grid"_a, "heuristic_grid"_a, "start_x"_a, "start_y"_a,
          "goal_x"_a, "goal_y"_a, "w"_a = 1.0, "use_uniform_step_cost"_a = false,
          "Run weighted A* on a 2D grid; uses per-cell heuristic grid if provided, otherwise octile distance.");

    m.def("astar3D", &astar3D, "grid"_a, "start_x"_a, "start_y"_a, "start_z"_a, "goal_x"_a, "goal_y"_a, "goal_z"_a,
          "use_uniform_step_cost"_a = false,
          "Run optimized A* on a 3D grid and return the path, cost, and expansion count.");

    m.def("astar3D_heuristic_grid", &astar3DHeuristicGrid, "grid"_a, "heuristic_grid"_a, "start_x"_a, "start_y"_a,
          "start_z"_a, "goal_x"_a, "goal_y"_a, "goal_z"_a, "w"_a = 1.0, "use_uniform_step_cost"_a = false,
          "Run weighted A* on a 3D grid; uses per-voxel heuristic grid if provided, otherwise octile distance.");
}
