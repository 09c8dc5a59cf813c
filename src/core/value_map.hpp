// Optional per-cell float64 maps (heuristic grids, proximity maps).
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <stdexcept>

#include "grid.hpp"

namespace gridsearch {

namespace py = pybind11;

struct ValueMap {
    bool present = false;
    const double* values = nullptr;
    ValueArray array;  // keeps converted data alive for the call

    double at(int32_t index) const { return values[index]; }
};

// None means no map. Anything else is converted by NumPy (its errors propagate
// unchanged) and must have the grid's number of dimensions and extents.
template <int Dim>
ValueMap load_value_map(const py::object& arg, const GridView<Dim>& grid, const char* rank_message,
                        const char* shape_message) {
    ValueMap map;
    if (arg.is_none()) return map;
    map.array = ValueArray(arg);  // throws error_already_set with NumPy's exception
    if (map.array.ndim() != Dim) throw std::runtime_error(rank_message);
    for (int d = 0; d < Dim; ++d)
        if (map.array.shape(d) != grid.shape[d]) throw std::runtime_error(shape_message);
    map.values = map.array.data();
    map.present = true;
    return map;
}

}  // namespace gridsearch
