// What a search returns: the path, its cost, the expansion count and the map
// of expanded cells.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "grid.hpp"
#include "../memory/zeroed.hpp"

namespace gridsearch {

inline constexpr double INF = std::numeric_limits<double>::infinity();

template <int Dim>
struct Result {
    // Cells from start to goal, both included; empty when there is no path.
    std::vector<std::array<int32_t, Dim>> path;
    // The path's cost; +inf when there is no path.
    double cost = INF;
    // Cells expanded, the goal included; 0 when start or goal is blocked.
    int32_t expansions = 0;
    // The grid's extents, and one bool per cell in the same row-major order:
    // true where the search expanded the cell (empty when a workspace asked
    // for results without it).
    std::array<int64_t, Dim> shape{};
    ZeroedBlock visited;

    const bool* visited_data() const { return visited.as<const bool>(); }
    std::size_t cell_count() const {
        std::size_t n = 1;
        for (int64_t e : shape) n *= static_cast<std::size_t>(e);
        return n;
    }
    bool expanded(int64_t x, int64_t y, int64_t z = 0) const {
        const int64_t i = Dim == 2 ? x * shape[1] + y : (x * shape[1] + y) * shape[Dim - 1] + z;
        return visited_data()[i];
    }
};

template <int Dim>
std::array<int64_t, Dim> shape_of(const GridView<Dim>& g) {
    std::array<int64_t, Dim> s{};
    for (int d = 0; d < Dim; ++d) s[d] = g.shape[d];
    return s;
}

// Start or goal blocked: nothing was searched.
template <int Dim>
Result<Dim> blocked_result(const GridView<Dim>& g, bool visited = true) {
    Result<Dim> r;
    r.shape = shape_of(g);
    if (visited) r.visited = ZeroedBlock(r.cell_count());
    return r;
}

// Walks the parent links from the goal back to the start. `parent_of(i)` gives
// the parent's linear index or -1.
template <int Dim, class ParentOf>
std::vector<std::array<int32_t, Dim>> build_path(const GridView<Dim>& g, int32_t start, int32_t goal,
                                                 ParentOf parent_of) {
    std::vector<std::array<int32_t, Dim>> cells;
    int32_t cur = goal;
    while (true) {
        if constexpr (Dim == 2)
            cells.push_back({cur / g.cols, cur % g.cols});
        else
            cells.push_back({cur / (g.cols * g.depth), (cur / g.depth) % g.cols, cur % g.depth});
        if (cur == start) break;
        cur = parent_of(cur);
        if (cur == -1) break;
    }
    std::reverse(cells.begin(), cells.end());
    return cells;
}

}  // namespace gridsearch
