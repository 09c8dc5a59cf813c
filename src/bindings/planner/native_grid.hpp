// The planner's native grid (gridsearch._planner.Grid2D / Grid3D) and the
// one pipeline every query registered on it goes through: maps copied and
// checked, cells checked, a workspace from the grid's pool, the search
// without the interpreter lock (Ctrl-C still stops it), the result out with
// its status. Each kind of query registers itself in a file of its own
// (astar.cpp, focal.cpp, fields.cpp); module.cpp makes the classes. The
// Python class gridsearch.Grid checks and converts the arguments first and
// passes them by name; this layer checks again what it reads.
#pragma once

#include "../batching.hpp"
#include "../convert.hpp"

#include <gridsearch/planner.hpp>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace gridsearch::binding {

namespace py = pybind11;

using CostArray = ValueArray;
using BoolArray = py::array_t<bool, py::array::c_style | py::array::forcecast>;
using IndexArray =
    py::array_t<int64_t, py::array::c_style | py::array::forcecast | py::detail::npy_api::NPY_ARRAY_ALIGNED_>;

template <int Dim>
class NativeGrid {
public:
    NativeGrid(const py::array& cells, int connectivity, bool corner_cutting, const std::string& cost_model,
               bool uniform, bool precompute_jumps)
        : grid_(make(cells, {connectivity, corner_cutting, cost_model_named(cost_model), uniform, precompute_jumps})) {}

    const Grid<Dim>& grid() const { return grid_; }

    py::tuple shape() const {
        py::tuple t(Dim);
        for (int d = 0; d < Dim; ++d) t[d] = grid_.shape()[d];
        return t;
    }

    // One search: search(workspace, stop) -> PlanResult, without the lock, on
    // a workspace from the pool; the result tuple with its status.
    template <class Search>
    py::tuple one(Search&& search) {
        PlanResult<Dim> r;
        in_workspace([&](Workspace& ws, const StopCheck& stop) { r = search(ws, stop); });
        return with_status(std::move(r));
    }

    // A batch: batch(interrupted) -> vector of PlanResult, without the lock;
    // a list of result tuples.
    template <class Batch>
    static py::list many(Batch&& batch) {
        std::vector<PlanResult<Dim>> results;
        without_lock([&](const StopCheck& interrupted) { results = batch(interrupted); });
        py::list out(results.size());
        for (std::size_t i = 0; i < results.size(); ++i) out[i] = with_status(std::move(results[i]));
        return out;
    }

    // fn(workspace, stop) without the lock, on a workspace from the pool.
    template <class Fn>
    void in_workspace(Fn&& fn) {
        std::unique_ptr<Workspace> ws = take();
        without_lock([&](const StopCheck& stop) { fn(*ws, stop); });
        give(std::move(ws));
    }

    // A per-cell map of the grid's shape (heuristic, focal key), copied and
    // checked in one pass: the search runs without the lock and must not
    // read an array another thread may change or free. The copy's storage
    // comes from the planner's pool and goes back to it.
    class CopiedMap {
    public:
        CopiedMap(NativeGrid& owner, const py::object& arg, const char* name) : owner_(owner) {
            if (arg.is_none()) return;
            const CostArray a(arg);
            const MapRef ref = MapRef::from(a.data(), static_cast<int>(a.ndim()), a.shape());
            map_ = owner.take_map();
            if (map_)
                map_->fill(ref, owner.grid_.shape().data(), Dim, name);
            else
                map_ = std::make_unique<CellMap>(owner.grid_.copy_map(ref, name));
        }
        CopiedMap(const CopiedMap&) = delete;
        CopiedMap& operator=(const CopiedMap&) = delete;
        ~CopiedMap() {
            if (map_) owner_.give_map(std::move(map_));
        }
        std::optional<MapArg> arg() const {
            if (!map_) return std::nullopt;
            return MapArg(*map_);
        }

    private:
        NativeGrid& owner_;
        std::unique_ptr<CellMap> map_;
    };

    std::unique_ptr<CellMap> take_map() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (maps_.empty()) return nullptr;
        auto m = std::move(maps_.back());
        maps_.pop_back();
        return m;
    }
    void give_map(std::unique_ptr<CellMap> m) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (maps_.empty()) maps_.push_back(std::move(m));  // one kept: 8 bytes a cell
    }

    std::vector<std::pair<Cell, Cell>> query_pairs(const py::object& queries) const {
        const auto rows = binding::load_queries<Dim>(queries, grid_.shape().data());
        std::vector<std::pair<Cell, Cell>> qs;
        qs.reserve(rows.size());
        for (const auto& q : rows) qs.emplace_back(q.start, q.goal);
        return qs;
    }

    static FocalOptions focal_options(double w, const CopiedMap& key, int64_t max_expansions,
                                                  bool visited) {
        FocalOptions o;
        o.w = w;
        o.key = key.arg();
        o.max_expansions = max_expansions;
        o.visited = visited;
        return o;
    }

    void check_field(const CostArray& field) const {
        bool same = field.ndim() == Dim;
        for (int d = 0; d < Dim && same; ++d) same = field.shape(d) == grid_.shape()[d];
        if (!same) throw py::value_error("field must have the grid's shape, got " + binding::shape_text(field));
    }

    std::vector<py::ssize_t> grid_shape() const {
        return std::vector<py::ssize_t>(grid_.shape().begin(), grid_.shape().end());
    }

    // A (K, Dim) array of cells, each inside the grid (the core checks the
    // range of those it is given; this checks what only the array shows).
    static std::vector<Cell> cells_of(const IndexArray& a, const char* name) {
        if (a.ndim() != 2 || a.shape(1) != Dim)
            throw py::value_error(std::string(name) + " must be an (K, " + std::to_string(Dim) +
                                  ") array of cells, got shape " + binding::shape_text(a));
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


    static Grid<Dim> make(const py::array& cells, const GridOptions& o) {
        if (cells.dtype().kind() == 'b') {
            const BoolArray b(cells);  // NumPy's error when the copy cannot be made
            return Grid<Dim>(binding::grid_ref(b), o);
        }
        const CostArray c(cells);
        return Grid<Dim>(MapRef::from(c.data(), static_cast<int>(c.ndim()), c.shape()), o);
    }

    // `algorithm`: 0 automatic, 1 A*, 2 jump point search.
    static AstarOptions options(double w, const CopiedMap& h, double max_cost, int64_t max_expansions,
                                bool visited, int algorithm) {
        if (algorithm < 0 || algorithm > 2) throw py::value_error("algorithm must be 0, 1 or 2");
        AstarOptions o;
        o.algorithm = static_cast<Algorithm>(algorithm);
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

    static py::tuple with_status(PlanResult<Dim>&& r) {
        const char* status = status_name(r.status);
        py::tuple t = binding::to_python<Dim>(std::move(r));
        return py::make_tuple(t[0], t[1], t[2], t[3], status);
    }

private:
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

    Grid<Dim> grid_;
    std::mutex mutex_;
    std::vector<std::unique_ptr<Workspace>> pool_;  // workspaces of finished searches
    std::vector<std::unique_ptr<CellMap>> maps_;    // map copies of finished searches
};

template <int Dim>
using NativeClass = py::class_<NativeGrid<Dim>>;

// Each kind of query adds its methods to both classes.
void define_astar(NativeClass<2>& c2, NativeClass<3>& c3);
void define_focal(NativeClass<2>& c2, NativeClass<3>& c3);
void define_fields(NativeClass<2>& c2, NativeClass<3>& c3);
// Reservation tables and searches in space and time (2D only).
void define_space_time(py::module_& m, NativeClass<2>& c2);
// Multi-agent solvers (module functions on a 2D grid).
void define_mapf(py::module_& m);

}  // namespace gridsearch::binding
