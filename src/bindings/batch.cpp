// Module gridsearch._batch: the batch calls, one per search. The grid and map
// are converted and checked once, the queries checked before any runs, then
// the searches run on native threads without the interpreter lock.
#include "convert.hpp"

#include <gridsearch/batch.hpp>

#include <optional>
#include <string>
#include <vector>

namespace py = pybind11;
using namespace pybind11::literals;
using gridsearch::Cell;
using gridsearch::GridView;
using gridsearch::Result;
using gridsearch::StopCheck;
using gridsearch::Workspace;
using gridsearch::binding::BoolGrid;
using gridsearch::binding::grid_ref;
using gridsearch::binding::load_map;

namespace {

struct Query {
    Cell start, goal;
};

std::string shape_text(const py::array& a) { return py::str(py::tuple(a.attr("shape"))).cast<std::string>(); }

// An integer array of shape (N, 2 * Dim) whose every row lies inside the grid.
template <int Dim>
std::vector<Query> load_queries(const py::object& queries, const GridView<Dim>& g) {
    constexpr int width = 2 * Dim;
    const char* layout = Dim == 2 ? "(N, 4): start x, start y, goal x, goal y" : "(N, 6): start x, y, z, goal x, y, z";
    const py::array a = py::module_::import("numpy").attr("asarray")(queries);
    const char kind = a.dtype().kind();
    if (kind != 'i' && kind != 'u')
        throw py::value_error("queries must be an integer array of shape " + std::string(layout) + ", got dtype " +
                              py::str(a.dtype()).cast<std::string>());
    if (a.ndim() != 2 || a.shape(1) != width)
        throw py::value_error("queries must be an integer array of shape " + std::string(layout) + ", got shape " +
                              shape_text(a));
    const auto q = py::array_t<int64_t, py::array::c_style | py::array::forcecast>::ensure(a);
    if (!q) throw py::error_already_set();
    const int64_t* v = q.data();
    const py::ssize_t n = q.shape(0);
    std::vector<Query> out(static_cast<std::size_t>(n));
    for (py::ssize_t i = 0; i < n; ++i) {
        const int64_t* row = v + i * width;
        for (int d = 0; d < width; ++d)
            if (row[d] < 0 || row[d] >= g.shape[d % Dim]) {
                std::string text = "queries row " + std::to_string(i) + " (";
                for (int k = 0; k < width; ++k) text += (k ? ", " : "") + std::to_string(row[k]);
                text += ") lies outside the grid of shape (";
                for (int k = 0; k < Dim; ++k) text += (k ? ", " : "") + std::to_string(g.shape[k]);
                throw py::value_error(text + ")");
            }
        auto c = [&](int k) { return static_cast<int32_t>(row[k]); };
        out[static_cast<std::size_t>(i)] = Dim == 2 ? Query{{c(0), c(1), 0}, {c(2), c(3), 0}}
                                                    : Query{{c(0), c(1), c(2)}, {c(3), c(4), c(5)}};
    }
    return out;
}

unsigned thread_count(const std::optional<int>& threads) {
    if (!threads) return gridsearch::usable_cpus();
    if (*threads < 1) throw py::value_error("threads must be at least 1, got " + std::to_string(*threads));
    return static_cast<unsigned>(*threads);
}

// Runs search(query, stop, workspace) for every query and returns the tuples.
template <int Dim, class Search>
py::list run(const GridView<Dim>& g, const py::object& queries, const std::optional<int>& threads, bool visited,
             Search&& search) {
    gridsearch::cell_count(g);  // a grid too large fails before any query
    const std::vector<Query> qs = load_queries<Dim>(queries, g);
    const unsigned workers = thread_count(threads);
    std::vector<Result<Dim>> results(qs.size());
    try {
        py::gil_scoped_release unlocked;
        gridsearch::run_batch(
            qs.size(), workers, visited,
            [&](std::size_t i, Workspace& ws, const StopCheck& stop) { results[i] = search(qs[i], stop, &ws); },
            [] {
                py::gil_scoped_acquire locked;
                return PyErr_CheckSignals() != 0;
            });
    } catch (const gridsearch::Interrupted&) {
        throw py::error_already_set();
    }
    py::list out(qs.size());
    for (std::size_t i = 0; i < qs.size(); ++i) out[i] = gridsearch::binding::to_python(std::move(results[i]));
    return out;
}

template <int Dim>
py::list plain(const BoolGrid& grid, const py::object& queries, bool uniform, const std::optional<int>& threads,
               bool visited) {
    const GridView<Dim> g = gridsearch::open_grid<Dim>(grid_ref(grid));
    return run<Dim>(g, queries, threads, visited, [&](const Query& q, const StopCheck& stop, Workspace* ws) {
        if constexpr (Dim == 2)
            return gridsearch::astar2D(grid_ref(grid), q.start.x, q.start.y, q.goal.x, q.goal.y, uniform, stop, ws);
        else
            return gridsearch::astar3D(grid_ref(grid), q.start.x, q.start.y, q.start.z, q.goal.x, q.goal.y, q.goal.z,
                                       uniform, stop, ws);
    });
}

template <int Dim>
py::list weighted(const BoolGrid& grid, const py::object& heuristic_grid, const py::object& queries, double w,
                  bool uniform, const std::optional<int>& threads, bool visited) {
    gridsearch::open_grid<Dim>(grid_ref(grid));
    const auto map = load_map(heuristic_grid);
    const GridView<Dim> g = gridsearch::check_heuristic_grid<Dim>(grid_ref(grid), map.ref);
    return run<Dim>(g, queries, threads, visited, [&](const Query& q, const StopCheck& stop, Workspace* ws) {
        if constexpr (Dim == 2)
            return gridsearch::astar2D_heuristic_grid(grid_ref(grid), map.ref, q.start.x, q.start.y, q.goal.x,
                                                      q.goal.y, w, uniform, stop, ws);
        else
            return gridsearch::astar3D_heuristic_grid(grid_ref(grid), map.ref, q.start.x, q.start.y, q.start.z,
                                                      q.goal.x, q.goal.y, q.goal.z, w, uniform, stop, ws);
    });
}

template <int Dim>
py::list focal(const BoolGrid& grid, const py::object& queries, double w, const py::object& path_proximity_map,
               bool uniform, const std::optional<int>& threads, bool visited) {
    gridsearch::open_grid<Dim>(grid_ref(grid));
    const auto map = load_map(path_proximity_map);
    const GridView<Dim> g = gridsearch::check_proximity_map<Dim>(grid_ref(grid), map.ref);
    return run<Dim>(g, queries, threads, visited, [&](const Query& q, const StopCheck& stop, Workspace* ws) {
        if constexpr (Dim == 2)
            return gridsearch::focal2D(grid_ref(grid), q.start.x, q.start.y, q.goal.x, q.goal.y, w, map.ref, uniform,
                                       stop, ws);
        else
            return gridsearch::focal3D(grid_ref(grid), q.start.x, q.start.y, q.start.z, q.goal.x, q.goal.y, q.goal.z,
                                       w, map.ref, uniform, stop, ws);
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
