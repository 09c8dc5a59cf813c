// Module gridsearch._planner: the native grid classes Grid2D and Grid3D,
// with the queries each file of this folder registers on them.
#include "native_grid.hpp"

#include <cstring>

namespace py = pybind11;
using namespace pybind11::literals;
using gridsearch::binding::NativeClass;
using gridsearch::binding::NativeGrid;

template <int Dim>
static NativeClass<Dim> grid_class(py::module_& m, const char* name) {
    NativeClass<Dim> c(m, name);
    c.def(py::init<const py::array&, int, bool, const std::string&, bool, bool>(), "cells"_a, "connectivity"_a,
          "corner_cutting"_a, "cost_model"_a, "use_uniform_step_cost"_a, "precompute_jumps"_a)
        .def_property_readonly("shape", &NativeGrid<Dim>::shape)
        .def_property_readonly("connectivity", [](const NativeGrid<Dim>& g) { return g.grid().connectivity(); })
        .def_property_readonly("min_cost", [](const NativeGrid<Dim>& g) { return g.grid().min_cost(); })
        .def("walkable", [](const NativeGrid<Dim>& g) {
            py::array_t<bool> out(g.grid_shape());
            std::memcpy(out.mutable_data(), g.grid().data().free_cells(), static_cast<std::size_t>(out.size()));
            return out;
        });
    return c;
}

PYBIND11_MODULE(_planner, m) {
    m.doc() = "Native part of gridsearch.Grid: one converted grid, many searches without the interpreter lock.";
    gridsearch::binding::watch_interpreter_exit();
    auto c2 = grid_class<2>(m, "Grid2D");
    auto c3 = grid_class<3>(m, "Grid3D");
    gridsearch::binding::define_astar(c2, c3);
    gridsearch::binding::define_focal(c2, c3);
    gridsearch::binding::define_fields(c2, c3);
    gridsearch::binding::define_space_time(m, c2);
    gridsearch::binding::define_mapf(m);
}
