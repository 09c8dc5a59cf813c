// Module gridsearch._planner: the planner's native classes Grid2D and Grid3D.
// The Python class gridsearch.Grid checks and converts the arguments and
// names the results; this layer only converts and runs the searches without
// the interpreter lock.
#include "batching.hpp"
#include "convert.hpp"

#include <gridsearch/planner.hpp>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace py = pybind11;
using namespace pybind11::literals;
using gridsearch::AstarOptions;
using gridsearch::Cell;
using gridsearch::StopCheck;
using gridsearch::Workspace;

namespace {

using CostArray = gridsearch::binding::ValueArray;
using BoolArray = py::array_t<bool, py::array::c_style | py::array::forcecast>;
using IndexArray =
    py::array_t<int64_t, py::array::c_style | py::array::forcecast | py::detail::npy_api::NPY_ARRAY_ALIGNED_>;

template <int Dim>
class Planner {
public:
    Planner(const py::array& cells, int connectivity, bool corner_cutting, const std::string& cost_model,
            bool uniform)
        : grid_(make(cells, {connectivity, corner_cutting, gridsearch::cost_model_named(cost_model), uniform})) {}

    py::tuple shape() const {
        py::tuple t(Dim);
        for (int d = 0; d < Dim; ++d) t[d] = grid_.shape()[d];
        return t;
    }
    int connectivity() const { return grid_.connectivity(); }
    double min_cost() const { return grid_.min_cost(); }

    // One search, without the lock; a workspace from the pool. The Python
    // class has checked the cells and options already; the core checks again.
    py::tuple astar(const std::vector<int64_t>& start, const std::vector<int64_t>& goal, double w,
                    const py::object& heuristic, double max_cost, int64_t max_expansions, bool visited) {
        const CopiedMap h(*this, heuristic, "heuristic");
        const AstarOptions o = options(w, h, max_cost, max_expansions, visited);
        const Cell s = cell(start), t = cell(goal);
        gridsearch::PlanResult<Dim> r;
        in_workspace([&](Workspace& ws, const StopCheck& stop) { r = grid_.astar(s, t, o, stop, &ws); });
        return with_status(std::move(r));
    }

    py::tuple astar_goals(const std::vector<int64_t>& start, const IndexArray& goals, double w,
                          const py::object& heuristic, double max_cost, int64_t max_expansions, bool visited) {
        const CopiedMap h(*this, heuristic, "heuristic");
        const AstarOptions o = options(w, h, max_cost, max_expansions, visited);
        const Cell s = cell(start);
        const std::vector<Cell> ts = cells_of(goals, "goals");
        gridsearch::PlanResult<Dim> r;
        in_workspace([&](Workspace& ws, const StopCheck& stop) { r = grid_.astar(s, ts, o, stop, &ws); });
        return with_status(std::move(r));
    }

    py::tuple focal(const std::vector<int64_t>& start, const std::vector<int64_t>& goal, double w,
                    const py::object& key, int64_t max_expansions, bool visited, bool with_order) {
        const CopiedMap k(*this, key, "key");
        gridsearch::FocalOptions o = focal_options(w, k, max_expansions, visited);
        std::vector<int32_t> order;
        if (with_order) o.order = &order;
        const Cell s = cell(start), t = cell(goal);
        gridsearch::PlanResult<Dim> r;
        in_workspace([&](Workspace& ws, const StopCheck& stop) { r = grid_.focal(s, t, o, stop, &ws); });
        py::tuple out = with_status(std::move(r));
        if (!with_order) return out;
        return py::make_tuple(out, py::array_t<int32_t>(static_cast<py::ssize_t>(order.size()), order.data()));
    }

    py::list focal_batch(const py::object& queries, double w, const py::object& key, int64_t max_expansions,
                         const py::object& threads, bool visited) {
        const CopiedMap k(*this, key, "key");
        const gridsearch::FocalOptions o = focal_options(w, k, max_expansions, visited);
        const auto qs = query_pairs(queries);
        const unsigned workers = gridsearch::binding::thread_count(threads);
        std::vector<gridsearch::PlanResult<Dim>> results;
        gridsearch::binding::without_lock(
            [&](const StopCheck& interrupted) { results = grid_.focal_batch(qs, o, workers, interrupted); });
        py::list out(results.size());
        for (std::size_t i = 0; i < results.size(); ++i) out[i] = with_status(std::move(results[i]));
        return out;
    }

    py::list astar_batch(const py::object& queries, double w, const py::object& heuristic, double max_cost,
                         int64_t max_expansions, const py::object& threads, bool visited) {
        const CopiedMap h(*this, heuristic, "heuristic");
        const AstarOptions o = options(w, h, max_cost, max_expansions, visited);
        const auto qs = query_pairs(queries);
        const unsigned workers = gridsearch::binding::thread_count(threads);
        std::vector<gridsearch::PlanResult<Dim>> results;
        gridsearch::binding::without_lock(
            [&](const StopCheck& interrupted) { results = grid_.astar_batch(qs, o, workers, interrupted); });
        py::list out(results.size());
        for (std::size_t i = 0; i < results.size(); ++i) out[i] = with_status(std::move(results[i]));
        return out;
    }

    // The Python class has checked the arrays: origins (K, Dim) int64 in the
    // grid, field of the grid's shape.
    py::array_t<double> distance_field(const IndexArray& origins, bool reverse, double max_cost) {
        const std::vector<Cell> cells = cells_of(origins, "origins");
        py::array_t<double> out(grid_shape());
        double* data = out.mutable_data();
        const gridsearch::FieldOptions o{reverse, max_cost};
        in_workspace([&](Workspace& ws, const StopCheck& stop) { grid_.distance_field(cells, data, o, stop, &ws); });
        return out;
    }

    py::array_t<double> distance_field_batch(const std::vector<IndexArray>& sets, bool reverse, double max_cost,
                                             const py::object& threads) {
        std::vector<std::vector<Cell>> cells;
        cells.reserve(sets.size());
        for (const auto& set : sets) cells.push_back(cells_of(set, "origin_sets"));
        const unsigned workers = gridsearch::binding::thread_count(threads);
        std::vector<py::ssize_t> shape{static_cast<py::ssize_t>(sets.size())};
        for (py::ssize_t n : grid_shape()) shape.push_back(n);
        py::array_t<double> out(shape);
        double* data = out.mutable_data();
        const gridsearch::FieldOptions o{reverse, max_cost};
        gridsearch::binding::without_lock([&](const StopCheck& interrupted) {
            grid_.distance_field_batch(cells, data, o, workers, interrupted);
        });
        return out;
    }

    // Walks over the caller's field with the lock held (no other Python
    // thread changes the field meanwhile), stopped by Ctrl-C.
    py::array_t<int32_t> descend(const CostArray& field, const std::vector<int64_t>& start) const {
        check_field(field);
        const Cell s = cell(start);
        return with_signals([&](const StopCheck& stop) { return cells_array(grid_.descend(field.data(), s, stop)); });
    }

    py::array_t<int32_t> next_steps(const CostArray& field, const IndexArray& from) const {
        check_field(field);
        std::vector<Cell> next = cells_of(from, "cells");
        return with_signals([&](const StopCheck& stop) {
            gridsearch::StopPoll poll(stop);
            for (Cell& c : next) {
                poll.tick();
                c = grid_.next_step(field.data(), c, stop);
            }
            return cells_array(next);
        });
    }

private:
    // A per-cell map of the grid's shape (heuristic, focal key), copied and
    // checked in one pass: the search runs without the lock and must not
    // read an array another thread may change or free. The copy's storage
    // comes from the planner's pool and goes back to it.
    class CopiedMap {
    public:
        CopiedMap(Planner& owner, const py::object& arg, const char* name) : owner_(owner) {
            if (arg.is_none()) return;
            const CostArray a(arg);
            const gridsearch::MapRef ref = gridsearch::MapRef::from(a.data(), static_cast<int>(a.ndim()), a.shape());
            map_ = owner.take_map();
            if (map_)
                map_->fill(ref, owner.grid_.shape().data(), Dim, name);
            else
                map_ = std::make_unique<gridsearch::CellMap>(owner.grid_.copy_map(ref, name));
        }
        CopiedMap(const CopiedMap&) = delete;
        CopiedMap& operator=(const CopiedMap&) = delete;
        ~CopiedMap() {
            if (map_) owner_.give_map(std::move(map_));
        }
        std::optional<gridsearch::MapArg> arg() const {
            if (!map_) return std::nullopt;
            return gridsearch::MapArg(*map_);
        }

    private:
        Planner& owner_;
        std::unique_ptr<gridsearch::CellMap> map_;
    };

    std::unique_ptr<gridsearch::CellMap> take_map() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (maps_.empty()) return nullptr;
        auto m = std::move(maps_.back());
        maps_.pop_back();
        return m;
    }
    void give_map(std::unique_ptr<gridsearch::CellMap> m) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (maps_.empty()) maps_.push_back(std::move(m));  // one kept: 8 bytes a cell
    }

    std::vector<std::pair<Cell, Cell>> query_pairs(const py::object& queries) const {
        const auto rows = gridsearch::binding::load_queries<Dim>(queries, grid_.shape().data());
        std::vector<std::pair<Cell, Cell>> qs;
        qs.reserve(rows.size());
        for (const auto& q : rows) qs.emplace_back(q.start, q.goal);
        return qs;
    }

    static gridsearch::FocalOptions focal_options(double w, const CopiedMap& key, int64_t max_expansions,
                                                  bool visited) {
        gridsearch::FocalOptions o;
        o.w = w;
        o.key = key.arg();
        o.max_expansions = max_expansions;
        o.visited = visited;
        return o;
    }

    void check_field(const CostArray& field) const {
        bool same = field.ndim() == Dim;
        for (int d = 0; d < Dim && same; ++d) same = field.shape(d) == grid_.shape()[d];
        if (!same) throw py::value_error("field must have the grid's shape, got " + gridsearch::binding::shape_text(field));
    }

    std::vector<py::ssize_t> grid_shape() const {
        return std::vector<py::ssize_t>(grid_.shape().begin(), grid_.shape().end());
    }

    // A (K, Dim) array of cells, each inside the grid (the core checks the
    // range of those it is given; this checks what only the array shows).
    static std::vector<Cell> cells_of(const IndexArray& a, const char* name) {
        if (a.ndim() != 2 || a.shape(1) != Dim)
            throw py::value_error(std::string(name) + " must be an (K, " + std::to_string(Dim) +
                                  ") array of cells, got shape " + gridsearch::binding::shape_text(a));
        const int64_t* v = a.data();
        for (py::ssize_t k = 0; k < a.size(); ++k)
            if (v[k] < 0 || v[k] > INT32_MAX)
                throw py::value_error(std::string(name) + " row " + std::to_string(k / Dim) +
                                      " lies outside the grid");
        std::vector<Cell> cells(static_cast<std::size_t>(a.shape(0)));
        for (std::size_t k = 0; k < cells.size(); ++k, v += Dim)
            cells[k] = Cell{static_cast<int32_t>(v[0]), static_cast<int32_t>(v[1]),
                            Dim == 3 ? static_cast<int32_t>(v[2]) : 0};
        return cells;
    }

    static py::array_t<int32_t> cells_array(const std::vector<Cell>& cells) {
        py::array_t<int32_t> out({static_cast<py::ssize_t>(cells.size()), static_cast<py::ssize_t>(Dim)});
        int32_t* p = out.mutable_data();
        for (const Cell& c : cells) {
            *p++ = c.x;
            *p++ = c.y;
            if (Dim == 3) *p++ = c.z;
        }
        return out;
    }


    static gridsearch::Grid<Dim> make(const py::array& cells, const gridsearch::GridOptions& o) {
        if (cells.dtype().kind() == 'b') {
            const BoolArray b(cells);  // NumPy's error when the copy cannot be made
            return gridsearch::Grid<Dim>(gridsearch::binding::grid_ref(b), o);
        }
        const CostArray c(cells);
        return gridsearch::Grid<Dim>(gridsearch::MapRef::from(c.data(), static_cast<int>(c.ndim()), c.shape()), o);
    }

    static AstarOptions options(double w, const CopiedMap& h, double max_cost, int64_t max_expansions,
                                bool visited) {
        AstarOptions o;
        o.w = w;
        o.heuristic = h.arg();
        o.max_cost = max_cost;
        o.max_expansions = max_expansions;
        o.visited = visited;
        return o;
    }

    // The core checks the range of a cell; the length is checked here.
    static Cell cell(const std::vector<int64_t>& v) {
        if (v.size() != Dim) throw py::value_error("a cell must have " + std::to_string(Dim) + " coordinates");
        for (int64_t c : v)
            if (c < 0 || c > INT32_MAX) throw py::value_error("a cell lies outside the grid");
        return Dim == 2 ? Cell{static_cast<int32_t>(v[0]), static_cast<int32_t>(v[1]), 0}
                        : Cell{static_cast<int32_t>(v[0]), static_cast<int32_t>(v[1]), static_cast<int32_t>(v[2])};
    }

    static py::tuple with_status(gridsearch::PlanResult<Dim>&& r) {
        const char* status = gridsearch::status_name(r.status);
        py::tuple t = gridsearch::binding::to_python<Dim>(std::move(r));
        return py::make_tuple(t[0], t[1], t[2], t[3], status);
    }

    // fn(stop) with the lock held, `stop` answering true for a pending
    // signal; the signal handler's error (KeyboardInterrupt) is raised.
    template <class Fn>
    static auto with_signals(Fn&& fn) {
        const StopCheck stop = [] { return PyErr_CheckSignals() != 0; };
        try {
            return fn(stop);
        } catch (const gridsearch::Interrupted&) {
            throw py::error_already_set();
        }
    }

    // fn(workspace, stop) without the lock, on a workspace from the pool.
    template <class Fn>
    void in_workspace(Fn&& fn) {
        std::unique_ptr<Workspace> ws = take();
        gridsearch::binding::without_lock([&](const StopCheck& stop) { fn(*ws, stop); });
        give(std::move(ws));
    }

    std::unique_ptr<Workspace> take() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (pool_.empty()) return std::make_unique<Workspace>();
        auto ws = std::move(pool_.back());
        pool_.pop_back();
        return ws;
    }
    void give(std::unique_ptr<Workspace> ws) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (pool_.size() < 4) pool_.push_back(std::move(ws));
    }

    gridsearch::Grid<Dim> grid_;
    std::mutex mutex_;
    std::vector<std::unique_ptr<Workspace>> pool_;  // workspaces of finished searches
    std::vector<std::unique_ptr<gridsearch::CellMap>> maps_;  // map copies of finished searches
};

template <int Dim>
void define(py::module_& m, const char* name) {
    py::class_<Planner<Dim>>(m, name)
        .def(py::init<const py::array&, int, bool, const std::string&, bool>(), "cells"_a, "connectivity"_a,
             "corner_cutting"_a, "cost_model"_a, "use_uniform_step_cost"_a)
        .def_property_readonly("shape", &Planner<Dim>::shape)
        .def_property_readonly("connectivity", &Planner<Dim>::connectivity)
        .def_property_readonly("min_cost", &Planner<Dim>::min_cost)
        .def("astar", &Planner<Dim>::astar, "start"_a, "goal"_a, "w"_a, "heuristic"_a, "max_cost"_a,
             "max_expansions"_a, "visited"_a)
        .def("astar_goals", &Planner<Dim>::astar_goals, "start"_a, "goals"_a, "w"_a, "heuristic"_a, "max_cost"_a,
             "max_expansions"_a, "visited"_a)
        .def("astar_batch", &Planner<Dim>::astar_batch, "queries"_a, "w"_a, "heuristic"_a, "max_cost"_a,
             "max_expansions"_a, "threads"_a, "visited"_a)
        .def("focal", &Planner<Dim>::focal, "start"_a, "goal"_a, "w"_a, "key"_a, "max_expansions"_a, "visited"_a,
             "with_order"_a)
        .def("focal_batch", &Planner<Dim>::focal_batch, "queries"_a, "w"_a, "key"_a, "max_expansions"_a, "threads"_a,
             "visited"_a)
        .def("distance_field", &Planner<Dim>::distance_field, "origins"_a, "reverse"_a, "max_cost"_a)
        .def("distance_field_batch", &Planner<Dim>::distance_field_batch, "origin_sets"_a, "reverse"_a,
             "max_cost"_a, "threads"_a)
        .def("descend", &Planner<Dim>::descend, "field"_a, "start"_a)
        .def("next_steps", &Planner<Dim>::next_steps, "field"_a, "cells"_a);
}

}  // namespace

PYBIND11_MODULE(_planner, m) {
    m.doc() = "Native part of gridsearch.Grid: one converted grid, many searches without the interpreter lock.";
    gridsearch::binding::watch_interpreter_exit();
    define<2>(m, "Grid2D");
    define<3>(m, "Grid3D");
}
