// Module gridsearch._batch: the batch calls, one per search. The grid and map
// are converted and checked once, the queries checked before any runs, then
// the searches run on native threads without the interpreter lock.
#include "convert.hpp"

#include <gridsearch/batch.hpp>

#if defined(__GLIBCXX__)
#include <cxxabi.h>
#endif

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
using gridsearch::binding::grid_ref;
using gridsearch::binding::load_map;

namespace {

struct Query {
    Cell start, goal;
};

std::string shape_text(const py::array& a) { return py::str(py::tuple(a.attr("shape"))).cast<std::string>(); }

// The rows of a C-contiguous array of T (int64 or uint64) as queries, each
// checked against the grid; an error names the row as the caller gave it.
template <int Dim, class T>
std::vector<Query> rows_as_queries(const py::array& a, const GridView<Dim>& g) {
    constexpr int width = 2 * Dim;
    constexpr int flags = py::array::c_style | py::array::forcecast | py::detail::npy_api::NPY_ARRAY_ALIGNED_;
    const auto q = py::array_t<T, flags>::ensure(a);
    if (!q) throw py::error_already_set();
    const T* v = q.data();
    const py::ssize_t n = q.shape(0);
    std::vector<Query> out(static_cast<std::size_t>(n));
    for (py::ssize_t i = 0; i < n; ++i) {
        const T* row = v + i * width;
        for (int d = 0; d < width; ++d)
            if (row[d] < 0 || static_cast<uint64_t>(row[d]) >= static_cast<uint64_t>(g.shape[d % Dim])) {
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

// An integer array of shape (N, 2 * Dim) whose every row lies inside the grid.
// An empty array of that shape is an empty batch whatever its dtype; masked
// arrays are refused, since their mask would be ignored.
template <int Dim>
std::vector<Query> load_queries(const py::object& queries, const GridView<Dim>& g) {
    constexpr int width = 2 * Dim;
    const char* layout = Dim == 2 ? "(N, 4): start x, start y, goal x, goal y" : "(N, 6): start x, y, z, goal x, y, z";
    const py::module_ np = py::module_::import("numpy");
    if (py::isinstance(queries, np.attr("ma").attr("MaskedArray")))
        throw py::value_error("queries must not be a masked array: give the rows to run as a plain array");
    const py::array a = np.attr("asarray")(queries);
    const std::string what = "queries must be an integer array of shape " + std::string(layout) + ", got ";
    const char kind = a.dtype().kind();
    const std::string dtype = "dtype " + py::str(a.dtype()).cast<std::string>();
    const bool numbers = kind == 'b' || kind == 'i' || kind == 'u' || kind == 'f' || kind == 'c';
    if (!numbers) throw py::value_error(what + dtype);
    if (a.ndim() != 2 || a.shape(1) != width)
        throw py::value_error(what + (a.size() == 0 ? "an empty array of shape " : "shape ") + shape_text(a));
    if (a.shape(0) == 0) return {};
    if (kind == 'u') return rows_as_queries<Dim, uint64_t>(a, g);
    if (kind == 'i') return rows_as_queries<Dim, int64_t>(a, g);
    throw py::value_error(what + dtype);
}

// At most this many threads: more only cost memory and start-up time.
constexpr long long MAX_THREADS = 1024;

// None (the CPUs this process may use) or an integer in [1, MAX_THREADS].
unsigned thread_count(const py::object& threads) {
    if (threads.is_none()) return gridsearch::usable_cpus();
    if (py::isinstance<py::bool_>(threads) || !PyIndex_Check(threads.ptr()))
        throw py::type_error("threads must be an integer or None, got " +
                             py::str(py::type::of(threads).attr("__name__")).cast<std::string>());
    const py::int_ n(threads);
    if (n < py::int_(1) || n > py::int_(MAX_THREADS))
        throw py::value_error("threads must be at least 1 and at most " + std::to_string(MAX_THREADS) + ", got " +
                              py::str(n).cast<std::string>());
    return n.cast<unsigned>();
}

#if PY_VERSION_HEX >= 0x030D0000
inline bool finalizing() { return Py_IsFinalizing() != 0; }
#else
inline bool finalizing() { return _Py_IsFinalizing() != 0; }
#endif

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
    const std::vector<Query> qs = load_queries<Dim>(queries, g);
    const unsigned workers = thread_count(threads);
    if (qs.empty()) return py::list();
    const Inputs<Dim> in(grid, map);
    std::vector<Result<Dim>> results(qs.size());

    // The lock is released and taken back by hand, not by a guard: at
    // interpreter exit, taking it back ends this thread, which must not happen
    // inside a destructor. The stop check never waits for the lock then.
    std::exception_ptr failed;
    PyThreadState* state = PyEval_SaveThread();
    try {
        gridsearch::run_batch(
            qs.size(), workers, visited,
            [&](std::size_t i, Workspace& ws, const StopCheck& stop) { results[i] = search(in, qs[i], stop, &ws); },
            [] {
                if (finalizing()) return true;
                py::gil_scoped_acquire locked;
                return PyErr_CheckSignals() != 0;
            });
#if defined(__GLIBCXX__)
    } catch (abi::__forced_unwind&) {
        throw;
#endif
    } catch (...) {
        failed = std::current_exception();
    }
    PyEval_RestoreThread(state);
    if (failed) {
        try {
            std::rethrow_exception(failed);
        } catch (const gridsearch::Interrupted&) {
            if (!PyErr_Occurred()) throw;  // stopped for interpreter exit
            throw py::error_already_set();
        }
    }
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
