// The graph multi-agent planning moves on: the walkable cells of a 2D grid,
// numbered by linear index, each linked to its walkable 4-neighbours. A time
// step moves an agent along one link or keeps it where it is.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "../base/grid.hpp"
#include "../domain/grid_data.hpp"

namespace gridsearch::mapf {

class Graph {
public:
    Graph(const uint8_t* free, int32_t rows, int32_t cols)
        : free_(free), rows_(rows), cols_(cols), by_cols_(static_cast<uint32_t>(cols > 0 ? cols : 1)) {}
    explicit Graph(const GridData<2>& g) : Graph(g.free_cells(), g.layout().rows, g.layout().cols) {}

    int32_t rows() const { return rows_; }
    int32_t cols() const { return cols_; }
    int32_t cells() const { return rows_ * cols_; }
    bool free(int32_t i) const { return free_[i] != 0; }
    int32_t index(int32_t r, int32_t c) const { return r * cols_ + c; }
    int32_t row(int32_t i) const { return static_cast<int32_t>(by_cols_(static_cast<uint32_t>(i))); }
    int32_t col(int32_t i) const { return i - row(i) * cols_; }

    // The walkable 4-neighbours of i in the fixed order up, left, right, down
    // (ascending index); returns how many were written.
    int neighbors(int32_t i, std::array<int32_t, 4>& out) const { return neighbors(i, out.data()); }
    int neighbors(int32_t i, int32_t* out) const {
        const int32_t r = row(i), c = i - r * cols_;
        int k = 0;
        if (r > 0 && free_[i - cols_]) out[k++] = i - cols_;
        if (c > 0 && free_[i - 1]) out[k++] = i - 1;
        if (c + 1 < cols_ && free_[i + 1]) out[k++] = i + 1;
        if (r + 1 < rows_ && free_[i + cols_]) out[k++] = i + cols_;
        return k;
    }
    // Whether a and b are 4-neighbours (both inside the grid).
    bool adjacent(int32_t a, int32_t b) const {
        const int32_t d = a > b ? a - b : b - a;
        if (d == cols_) return true;
        return d == 1 && (a > b ? a : b) % cols_ != 0;
    }

private:
    const uint8_t* free_;
    int32_t rows_, cols_;
    Divider by_cols_;  // i / cols by a multiplication
};

}  // namespace gridsearch::mapf
