// Module gridsearch._batch: the batch calls, one per search. The grid and map
// are converted and checked once, the queries checked before any runs, then
// the searches run on native threads without the interpreter lock.
#include "batching.hpp"
#include "convert.hpp"

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <vector>

namespace py = pybind11;
using namespace pybind11::literals;
using gridsearch::Cell;
using gridsearch::GridRef;
using gridsearch::GridView;
using gridsearch::MapRef;
using gridsearch::Result;
using gridsearch::StopCheck;
using gridsearch::Workspace;
using gridsearch::binding::BoolGrid;
using gridsearch::binding::load_queries;
using gridsearch::binding::Query;
using gridsearch::binding::thread_count;
using gridsearch::binding::without_lock;
using gridsearch::binding::grid_ref;
using gridsearch::binding::load_map;

namespace {

// The batch's own copy of the grid and map, taken once with the interpreter
// lock held: the searches then run without the lock on memory that no other
// thread can change, resize or free.
template <int Dim>
struct Inputs {
    std::vector<uint8_t> cells;
    std::vector<double> values;
    GridRef grid;
    std::optional<MapRef> map;

    Inputs(const BoolGrid& g, const std::optional<MapRef>& m) {
        grid = grid_ref(g);
        cells.assign(grid.data, grid.data + g.size());
        grid.data = cells.data();
        if (m) {
            int64_t n = 1;
            for (int d = 0; d < m->ndim; ++d) n *= m->shape[d];
            values.assign(m->data, m->data + n);
            map = *m;
            map->data = values.data();
        }
    }
};

// Checks the queries and threads, copies the inputs, then runs
// search(inputs, query, stop, workspace) for every query and returns the tuples.
template <int Dim, class Search>
py::list run(const BoolGrid& grid, const std::optional<MapRef>& map, const py::object& queries,
             const py::object& threads, bool visited, Search&& search) {
    const GridView<Dim> g = gridsearch::open_grid<Dim>(grid_ref(grid));
    gridsearch::cell_count(g);  // a grid too large fails before any query
    const std::vector<Query> qs = load_queries<Dim>(queries, g.shape);
    const unsigned workers = thread_count(threads);
    if (qs.empty()) return py::list();
    const Inputs<Dim> in(grid, map);
    std::vector<Result<Dim>> results(qs.size());

    without_lock([&](const StopCheck& interrupted) {
        gridsearch::run_batch(
            qs.size(), workers, visited,
            [&](std::size_t i, Workspace& ws, const StopCheck& stop) { results[i] = search(in, qs[i], stop, &ws); },
            interrupted);
    });
    py::list out(qs.size());
    for (std::size_t i = 0; i < qs.size(); ++i) out[i] = gridsearch::binding::to_python(std::move(results[i]));
    return out;
}

template <int Dim>
py::list plain(const BoolGrid& grid, const py::object& queries, bool uniform, const py::object& threads,
               bool visited) {
    return run<Dim>(grid, std::nullopt, queries, threads, visited,
                    [&](const Inputs<Dim>& in, const Query& q, const StopCheck& stop, Workspace* ws) {
                        if constexpr (Dim == 2)
                            return gridsearch::astar2D(in.grid, q.start.x, q.start.y, q.goal.x, q.goal.y, uniform,
                                                       stop, ws);
                        else
                            return gridsearch::astar3D(in.grid, q.start.x, q.start.y, q.start.z, q.goal.x, q.goal.y,
                                                       q.goal.z, uniform, stop, ws);
                    });
}

template <int Dim>
py::list weighted(const BoolGrid& grid, const py::object& heuristic_grid, const py::object& queries, double w,
                  bool uniform, const py::object& threads, bool visited) {
    gridsearch::open_grid<Dim>(grid_ref(grid));
    const auto map = load_map(heuristic_grid);
    gridsearch::check_heuristic_grid<Dim>(grid_ref(grid), map.ref);
    return run<Dim>(grid, map.ref, queries, threads, visited,
                    [&](const Inputs<Dim>& in, const Query& q, const StopCheck& stop, Workspace* ws) {
                        if constexpr (Dim == 2)
                            return gridsearch::astar2D_heuristic_grid(in.grid, in.map, q.start.x, q.start.y,
                                                                      q.goal.x, q.goal.y, w, uniform, stop, ws);
                        else
                            return gridsearch::astar3D_heuristic_grid(in.grid, in.map, q.start.x, q.start.y,
                                                                      q.start.z, q.goal.x, q.goal.y, q.goal.z, w,
                                                                      uniform, stop, ws);
                    });
}

template <int Dim>
py::list focal(const BoolGrid& grid, const py::object& queries, double w, const py::object& path_proximity_map,
               bool uniform, const py::object& threads, bool visited) {
    gridsearch::open_grid<Dim>(grid_ref(grid));
    const auto map = load_map(path_proximity_map);
    gridsearch::check_proximity_map<Dim>(grid_ref(grid), map.ref);
    return run<Dim>(grid, map.ref, queries, threads, visited,
                    [&](const Inputs<Dim>& in, const Query& q, const StopCheck& stop, Workspace* ws) {
                        if constexpr (Dim == 2)
                            return gridsearch::focal2D(in.grid, q.start.x, q.start.y, q.goal.x, q.goal.y, w, in.map,
                                                       uniform, stop, ws);
                        else
                            return gridsearch::focal3D(in.grid, q.start.x, q.start.y, q.start.z, q.goal.x, q.goal.y,
                                                       q.goal.z, w, in.map, uniform, stop, ws);
                    });
}

constexpr const char* RETURNS =
    "\n\nReturns a list with one tuple (path, cost, expansions, visited) per row of `queries`, each equal "
    "to what the single call returns for that row, except that visited is None unless visited=True. "
    "Runs on `threads` native threads (None: the CPUs this process may use) without holding the "
    "interpreter lock; Ctrl-C stops it with KeyboardInterrupt.";

std::string doc(const char* what) { return std::string(what) + RETURNS; }

}  // namespace

PYBIND11_MODULE(_batch, m) {
    m.doc() = "Batch calls of the astar and focal searches, run on native threads.";
    m.attr("__version__") = GRIDSEARCH_VERSION;
    gridsearch::binding::watch_interpreter_exit();

    m.def("astar2D_batch", &plain<2>, "grid"_a, "queries"_a, "use_uniform_step_cost"_a = false, py::kw_only(),
          "threads"_a = py::none(), "visited"_a = false,
          doc("astar.astar2D for every row (start_x, start_y, goal_x, goal_y) of the (N, 4) integer array "
              "`queries`.")
              .c_str());
    m.def("astar3D_batch", &plain<3>, "grid"_a, "queries"_a, "use_uniform_step_cost"_a = false, py::kw_only(),
          "threads"_a = py::none(), "visited"_a = false,
          doc("astar.astar3D for every row (start_x, start_y, start_z, goal_x, goal_y, goal_z) of the (N, 6) "
              "integer array `queries`.")
              .c_str());
    m.def("astar2D_heuristic_grid_batch", &weighted<2>, "grid"_a, "heuristic_grid"_a, "queries"_a, "w"_a = 1.0,
          "use_uniform_step_cost"_a = false, py::kw_only(), "threads"_a = py::none(), "visited"_a = false,
          doc("astar.astar2D_heuristic_grid for every row of the (N, 4) integer array `queries`.").c_str());
    m.def("astar3D_heuristic_grid_batch", &weighted<3>, "grid"_a, "heuristic_grid"_a, "queries"_a, "w"_a = 1.0,
          "use_uniform_step_cost"_a = false, py::kw_only(), "threads"_a = py::none(), "visited"_a = false,
          doc("astar.astar3D_heuristic_grid for every row of the (N, 6) integer array `queries`.").c_str());
    m.def("focal2D_batch", &focal<2>, "grid"_a, "queries"_a, "w"_a, "path_proximity_map"_a = py::none(),
          "use_uniform_step_cost"_a = false, py::kw_only(), "threads"_a = py::none(), "visited"_a = false,
          doc("focal.focal2D for every row of the (N, 4) integer array `queries`.").c_str());
    m.def("focal3D_batch", &focal<3>, "grid"_a, "queries"_a, "w"_a, "path_proximity_map"_a = py::none(),
          "use_uniform_step_cost"_a = false, py::kw_only(), "threads"_a = py::none(), "visited"_a = false,
          doc("focal.focal3D for every row of the (N, 6) integer array `queries`.").c_str());
}
