// Multi-agent solvers on the 2D native grid: gridsearch._planner.mapf_solve.
#include "native_grid.hpp"

#include <gridsearch/mapf/solve.hpp>

namespace gridsearch::binding {

using namespace pybind11::literals;

// A (N, 2) array of cells as Cells (the core checks each against the grid).
static std::vector<Cell> agent_cells(const IndexArray& a, const char* name) {
    if (a.ndim() != 2 || a.shape(1) != 2)
        throw py::value_error(std::string(name) + " must be an (agents, 2) array of cells, got shape " +
                              shape_text(a));
    std::vector<Cell> out(static_cast<std::size_t>(a.shape(0)));
    const int64_t* v = a.data();
    for (std::size_t k = 0; k < out.size(); ++k, v += 2) {
        const bool inside = v[0] >= 0 && v[0] <= INT32_MAX && v[1] >= 0 && v[1] <= INT32_MAX;
        // Out of range for 32 bits: -1 is outside every grid, and named so by the core.
        out[k] = inside ? Cell{static_cast<int32_t>(v[0]), static_cast<int32_t>(v[1]), 0} : Cell{-1, -1, 0};
    }
    return out;
}

void define_mapf(py::module_& m) {
    m.def(
        "mapf_solve",
        [](NativeGrid<2>& grid, const IndexArray& starts, const IndexArray& goals, int algorithm, double time_limit,
           uint64_t seed, int64_t max_iterations, double suboptimality, const py::object& threads) {
            if (algorithm < 0 || algorithm > 3) throw py::value_error("algorithm must be 0 to 3");
            mapf::SolveOptions o;
            o.algorithm = static_cast<mapf::Solver>(algorithm);
            o.suboptimality = suboptimality;
            o.threads = thread_count(threads);
            o.time_limit = time_limit;
            o.seed = seed;
            o.max_iterations = max_iterations;
            const std::vector<Cell> s = agent_cells(starts, "starts"), t = agent_cells(goals, "goals");
            mapf::Solution r;
            without_lock([&](const StopCheck& interrupted) { r = mapf::solve(grid.grid(), s, t, o, interrupted); });
            const py::ssize_t n = static_cast<py::ssize_t>(s.size());
            const py::ssize_t steps = r.status == mapf::SolveStatus::solved ? static_cast<py::ssize_t>(r.makespan + 1) : 0;
            py::array_t<int32_t> paths(std::vector<py::ssize_t>{n, steps, 2});
            int32_t* p = paths.mutable_data();
            const int32_t cols = static_cast<int32_t>(grid.grid().shape()[1]);
            for (const auto& path : r.paths)
                for (int32_t c : path) {
                    *p++ = c / cols;
                    *p++ = c % cols;
                }
            return py::make_tuple(paths, mapf::solve_status_name(r.status), r.sum_of_costs, r.makespan,
                                  r.lower_bound, r.time_to_first_solution, mapf::solver_name(r.algorithm),
                                  r.iterations);
        },
        "grid"_a, "starts"_a, "goals"_a, "algorithm"_a, "time_limit"_a, "seed"_a, "max_iterations"_a,
        "suboptimality"_a, "threads"_a);
}

}  // namespace gridsearch::binding
