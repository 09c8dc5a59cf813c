// The states a search of the skeleton moves through, and how a state is
// numbered: today every search's state is a cell, numbered by its linear
// index (a space-time search would number (cell, time) pairs).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "../base/grid.hpp"
#include "../base/result.hpp"
#include "../memory/cells.hpp"

namespace gridsearch {

// Cells of a grid by linear index.
template <int Dim>
class CellSpace {
public:
    explicit CellSpace(const GridView<Dim>& grid) : grid_(grid), coords_(grid) {}

    // The number of a cell, and the state of a number.
    int32_t index(const Cell& c) const { return grid_.index(c.x, c.y, c.z); }
    At at(int32_t i) const { return coords_(i); }

    // The states from `start` to `goal` by the links parent_of(i) (-1 at the
    // start), as the path of a result.
    template <class ParentOf>
    std::vector<std::array<int32_t, Dim>> path(int32_t start, int32_t goal, ParentOf&& parent_of) const {
        return build_path(grid_, start, goal, parent_of);
    }

private:
    GridView<Dim> grid_;
    Coordinates<Dim> coords_;
};

}  // namespace gridsearch
