// What both modules share: NumPy arguments in, results out, Ctrl-C.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <gridsearch/gridsearch.hpp>

#include <cstring>
#include <optional>
#include <utility>
#include <vector>

namespace gridsearch::binding {

namespace py = pybind11;

// The grid argument as pybind11 delivers it: bool, C-contiguous, forced cast.
using BoolGrid = py::array_t<bool, py::array::c_style | py::array::forcecast>;
// A value map after conversion: float64, C-contiguous, aligned, forced cast
// (an unaligned array is copied like any other layout the search cannot read).
using ValueArray =
    py::array_t<double, py::array::c_style | py::array::forcecast | py::detail::npy_api::NPY_ARRAY_ALIGNED_>;

inline GridRef grid_ref(const BoolGrid& grid) {
    return ArrayRef<uint8_t>::from(reinterpret_cast<const uint8_t*>(grid.data()), static_cast<int>(grid.ndim()),
                                   grid.shape());
}

// A value map argument: None, or whatever NumPy makes of it (its errors
// propagate unchanged). `array` keeps converted data alive for the call.
struct ValueMap {
    ValueArray array;
    std::optional<MapRef> ref;
};

inline ValueMap load_map(const py::object& arg) {
    ValueMap map;
    if (arg.is_none()) return map;
    map.array = ValueArray(arg);
    map.ref = MapRef::from(map.array.data(), static_cast<int>(map.array.ndim()), map.array.shape());
    return map;
}

// The grid's own errors come before a map is looked at.
template <int Dim>
void check_grid(const BoolGrid& grid) {
    open_grid<Dim>(grid_ref(grid));
}

// A bool array of the result's shape over its visited block, which it takes over.
template <int Dim>
py::array visited_array(Result<Dim>& r) {
    std::vector<py::ssize_t> shape(r.shape.begin(), r.shape.end());
    std::vector<py::ssize_t> strides(Dim);
    py::ssize_t stride = 1;
    for (int d = Dim - 1; d >= 0; --d) {
        strides[d] = stride;
        stride *= shape[d];
    }
    auto* owner = new ZeroedBlock::Owner(r.visited.release());
    py::capsule cap;
    try {
        cap = py::capsule(owner, [](void* o) {
            auto* own = static_cast<ZeroedBlock::Owner*>(o);
            ZeroedBlock::free(*own);
            delete own;
        });
    } catch (...) {
        ZeroedBlock::free(*owner);
        delete owner;
        throw;
    }
    return py::array_t<bool>(shape, strides, static_cast<const bool*>(owner->ptr), cap);
}

// (path, cost, expansions, visited); visited is None when the result has none.
template <int Dim>
py::tuple to_python(Result<Dim>&& r) {
    py::array_t<int32_t> path(std::vector<py::ssize_t>{static_cast<py::ssize_t>(r.path.size()), Dim});
    if (!r.path.empty()) std::memcpy(path.mutable_data(), r.path.data(), r.path.size() * sizeof(r.path[0]));
    py::object visited = r.visited_data() == nullptr ? py::object(py::none()) : py::object(visited_array(r));
    return py::make_tuple(path, r.cost, r.expansions, visited);
}

// Runs fn(stop) with the lock held, `stop` answering true for a pending
// signal: Ctrl-C stops the search and raises KeyboardInterrupt (or whatever
// the handler raised).
template <class Fn>
auto with_signals(Fn&& fn) {
    const StopCheck stop = [] { return PyErr_CheckSignals() != 0; };
    try {
        return fn(stop);
    } catch (const Interrupted&) {
        throw py::error_already_set();
    }
}

// search(stop) under with_signals, its result as the tuple.
template <class Search>
py::tuple run(Search&& search) {
    return with_signals([&](const StopCheck& stop) { return to_python(search(stop)); });
}

}  // namespace gridsearch::binding
