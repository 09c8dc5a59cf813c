// Reservation tables and single-agent searches in space and time on the 2D
// native grid.
#include "native_grid.hpp"
#include "reservations.hpp"

#include <gridsearch/mapf/timed_search.hpp>

namespace gridsearch::binding {

using namespace pybind11::literals;

void define_space_time(py::module_& m, NativeClass<2>& c2) {
    using R = NativeReservations;
    py::class_<R>(m, "Reservations")
        .def(py::init<int32_t, int32_t>(), "rows"_a, "cols"_a)
        .def_readonly("rows", &R::rows)
        .def_readonly("cols", &R::cols)
        .def("__len__", [](const R& r) { return r.table.size(); })
        .def("forbid_cell", [](R& r, int32_t cell, int32_t t) { r.change([&](auto& tb) { tb.forbid_cell(cell, t); }); },
             "cell"_a, "t"_a)
        .def("forbid_move",
             [](R& r, int32_t from, int32_t to, int32_t t) { r.change([&](auto& tb) { tb.forbid_move(from, to, t); }); },
             "from_cell"_a, "to_cell"_a, "t"_a)
        .def("reserve_from",
             [](R& r, int32_t cell, int32_t t) { r.change([&](auto& tb) { tb.reserve_from(cell, t); }); }, "cell"_a,
             "t"_a)
        // A path of linear cells from time t0: each cell at its time, the
        // move back along each step (a swap), the last cell from its time on.
        .def(
            "reserve_path",
            [](R& r, const IndexArray& cells, int32_t t0) {
                if (cells.ndim() != 1) throw py::value_error("path must be a 1D array of cell indices");
                const int64_t* c = cells.data();
                const py::ssize_t n = cells.size();
                for (py::ssize_t k = 0; k < n; ++k)
                    if (c[k] < 0 || c[k] >= r.table.cells()) throw py::value_error("path cell outside the table");
                if (n == 0) return;
                if (int64_t(t0) + n >= mapf::NEVER) throw py::value_error("path runs past the last time step");
                const std::vector<int32_t> path(c, c + n);
                r.change([&](mapf::ReservationTable& tb) { tb.reserve_path(path, t0); });
            },
            "cells"_a, "t0"_a)
        .def("clear", [](R& r) { r.change([](auto& tb) { tb.clear(); }); });

    c2.def(
        "space_time",
        [](NativeGrid<2>& self, const std::vector<int64_t>& start, const std::vector<int64_t>& goal, R* table,
           int32_t start_time, int32_t max_time, int algorithm, int64_t max_expansions) {
            const Cell s = NativeGrid<2>::cell(start), t = NativeGrid<2>::cell(goal);
            mapf::TimedOptions o;
            o.algorithm = algorithm == 1 ? mapf::TimedAlgorithm::astar : mapf::TimedAlgorithm::sipp;
            o.start_time = start_time;
            o.max_time = max_time;
            o.max_expansions = max_expansions;
            const mapf::ReservationTable none(table == nullptr ? self.grid().data().count() : 0);
            std::shared_lock<std::shared_mutex> reading;
            if (table != nullptr) reading = std::shared_lock<std::shared_mutex>(table->mutex);
            const mapf::ReservationTable& tb = table == nullptr ? none : table->table;
            return self.one([&](Workspace&, const StopCheck& stop) {
                return mapf::plan_in_time(self.grid(), s, t, tb, o, stop);
            });
        },
        "start"_a, "goal"_a, "table"_a, "start_time"_a, "max_time"_a, "algorithm"_a, "max_expansions"_a);
}

}  // namespace gridsearch::binding
