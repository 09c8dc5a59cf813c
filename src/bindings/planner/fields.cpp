// Distance fields on the native grid, and walks down them.
#include "native_grid.hpp"

namespace gridsearch::binding {

using namespace pybind11::literals;

template <int Dim>
static void define(NativeClass<Dim>& c) {
    using G = NativeGrid<Dim>;
    c.def(
        "distance_field",
        [](G& self, const IndexArray& origins, bool reverse, double max_cost) {
            const std::vector<Cell> cells = G::cells_of(origins, "origins");
            py::array_t<double> out(self.grid_shape());
            double* data = out.mutable_data();
            const FieldOptions o{reverse, max_cost};
            self.in_workspace(
                [&](Workspace& ws, const StopCheck& stop) { self.grid().distance_field(cells, data, o, stop, &ws); });
            return out;
        },
        "origins"_a, "reverse"_a, "max_cost"_a);
    c.def(
        "distance_field_batch",
        [](G& self, const std::vector<IndexArray>& sets, bool reverse, double max_cost, const py::object& threads) {
            std::vector<std::vector<Cell>> cells;
            cells.reserve(sets.size());
            for (const auto& set : sets) cells.push_back(G::cells_of(set, "origin_sets"));
            const unsigned workers = thread_count(threads);
            std::vector<py::ssize_t> shape{static_cast<py::ssize_t>(sets.size())};
            for (py::ssize_t n : self.grid_shape()) shape.push_back(n);
            py::array_t<double> out(shape);
            double* data = out.mutable_data();
            const FieldOptions o{reverse, max_cost};
            without_lock([&](const StopCheck& interrupted) {
                self.grid().distance_field_batch(cells, data, o, workers, interrupted);
            });
            return out;
        },
        "origin_sets"_a, "reverse"_a, "max_cost"_a, "threads"_a);
    // Walks over the caller's field with the lock held (no other Python
    // thread changes the field meanwhile), stopped by Ctrl-C.
    c.def(
        "descend",
        [](const G& self, const CostArray& field, const std::vector<int64_t>& start) {
            self.check_field(field);
            const Cell s = G::cell(start);
            return with_signals(
                [&](const StopCheck& stop) { return G::cells_array(self.grid().descend(field.data(), s, stop)); });
        },
        "field"_a, "start"_a);
    c.def(
        "next_steps",
        [](const G& self, const CostArray& field, const IndexArray& from) {
            self.check_field(field);
            std::vector<Cell> next = G::cells_of(from, "cells");
            return with_signals([&](const StopCheck& stop) {
                StopPoll poll(stop);
                for (Cell& cell : next) {
                    poll.tick();
                    cell = self.grid().next_step(field.data(), cell, stop);
                }
                return G::cells_array(next);
            });
        },
        "field"_a, "cells"_a);
}

void define_fields(NativeClass<2>& c2, NativeClass<3>& c3) {
    define<2>(c2);
    define<3>(c3);
}

}  // namespace gridsearch::binding
