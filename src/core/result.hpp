// The four-element result: (path, cost, expansions, visited).
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#include "grid.hpp"
#include "zeroed.hpp"

namespace gridsearch {

namespace py = pybind11;

inline constexpr double INF = std::numeric_limits<double>::infinity();

// A bool array of the grid's shape over a zeroed block (which it takes over).
template <int Dim>
py::array visited_array(const GridView<Dim>& g, ZeroedBlock& block) {
    std::vector<py::ssize_t> shape(g.shape, g.shape + Dim);
    std::vector<py::ssize_t> strides(Dim);
    py::ssize_t stride = 1;
    for (int d = Dim - 1; d >= 0; --d) {
        strides[d] = stride;
        stride *= g.shape[d];
    }
    bool* data = block.as<bool>();
    py::capsule owner = block.to_capsule();
    return py::array_t<bool>(shape, strides, data, owner);
}

template <int Dim>
py::array empty_path() {
    return py::array_t<int32_t>(std::vector<py::ssize_t>{0, Dim});
}

// Start or goal blocked: nothing was searched.
template <int Dim>
py::tuple blocked_result(const GridView<Dim>& g) {
    std::size_t cells = 1;
    for (int d = 0; d < Dim; ++d) cells *= static_cast<std::size_t>(g.shape[d]);
    ZeroedBlock block(cells);
    return py::make_tuple(empty_path<Dim>(), INF, 0, visited_array<Dim>(g, block));
}

// Walks the parent links from the goal back to the start. `parent_of(i)` gives
// the parent's linear index or -1.
template <int Dim, class ParentOf>
py::array build_path(const GridView<Dim>& g, int32_t start, int32_t goal, ParentOf parent_of) {
    std::vector<int32_t> cells;
    int32_t cur = goal;
    while (true) {
        cells.push_back(cur);
        if (cur == start) break;
        cur = parent_of(cur);
        if (cur == -1) break;
    }
    std::reverse(cells.begin(), cells.end());
    py::array_t<int32_t> path(std::vector<py::ssize_t>{static_cast<py::ssize_t>(cells.size()), Dim});
    int32_t* out = path.mutable_data();
    for (int32_t idx : cells) {
        if (Dim == 2) {
            *out++ = idx / g.cols;
            *out++ = idx % g.cols;
        } else {
            *out++ = idx / (g.cols * g.depth);
            *out++ = (idx / g.depth) % g.cols;
            *out++ = idx % g.depth;
        }
    }
    return path;
}

}  // namespace gridsearch
