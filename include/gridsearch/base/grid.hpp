// The caller's arrays and the occupancy grid as the searches see it: a byte per
// cell, row-major, its extents as 32-bit integers, and the checks made on them
// before a search starts.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <limits>
#include <stdexcept>
#include <string>
#include <type_traits>

namespace gridsearch {

inline constexpr int64_t MAX_CELLS = std::numeric_limits<int32_t>::max();

// A C-contiguous (row-major) array owned by the caller: its first element, its
// number of dimensions and its first (at most three) extents.
template <class T>
struct ArrayRef {
    const T* data = nullptr;
    int ndim = 0;
    int64_t shape[3] = {0, 0, 0};

    ArrayRef() = default;
    ArrayRef(const T* first, std::initializer_list<int64_t> extents) : data(first) { take(extents); }
    // Extents of any one integer type (size_t included); a value beyond the
    // int64 range becomes negative and is refused by the searches' checks.
    template <class E, class = std::enable_if_t<std::is_integral_v<E> && !std::is_same_v<E, int64_t>>>
    ArrayRef(const T* first, std::initializer_list<E> extents) : data(first) {
        take(extents);
    }
    // From a shape array of `dims` entries, as a buffer reports it.
    template <class Extent>
    static ArrayRef from(const T* first, int dims, const Extent* extents) {
        ArrayRef a;
        a.data = first;
        a.ndim = dims;
        for (int d = 0; d < dims && d < 3; ++d) a.shape[d] = static_cast<int64_t>(extents[d]);
        return a;
    }

private:
    template <class E>
    void take(std::initializer_list<E> extents) {
        for (E e : extents) {
            if (ndim < 3) shape[ndim] = static_cast<int64_t>(e);
            ++ndim;
        }
    }
};

// An occupancy grid: one byte per cell, nonzero = walkable.
struct GridRef : ArrayRef<uint8_t> {
    using ArrayRef<uint8_t>::ArrayRef;
    GridRef(const ArrayRef<uint8_t>& a) : ArrayRef<uint8_t>(a) {}
    GridRef(const bool* first, std::initializer_list<int64_t> extents)
        : ArrayRef<uint8_t>(reinterpret_cast<const uint8_t*>(first), extents) {}
};

// A per-cell float64 map of the grid's shape (heuristic grid, proximity map).
using MapRef = ArrayRef<double>;

template <int Dim>
struct GridView {
    const uint8_t* cells = nullptr;
    int32_t rows = 0;
    int32_t cols = 0;
    int32_t depth = 1;
    int64_t shape[Dim] = {};  // full-width extents, as the caller gave them

    bool free(int32_t index) const { return cells[index] != 0; }
    int32_t index(int32_t x, int32_t y, int32_t z) const {
        if constexpr (Dim == 2)
            return x * cols + y;
        else
            return (x * cols + y) * depth + z;
    }
};

// Checks the number of dimensions and that every axis fits the 32-bit index.
template <int Dim>
GridView<Dim> open_grid(const GridRef& grid) {
    if (grid.ndim != Dim) throw std::runtime_error(Dim == 2 ? "Grid must be 2D!" : "Grid must be 3D!");
    GridView<Dim> view;
    for (int d = 0; d < Dim; ++d) {
        view.shape[d] = grid.shape[d];
        if (view.shape[d] > MAX_CELLS)
            throw std::length_error("Grid axis " + std::to_string(d) + " has " + std::to_string(view.shape[d]) +
                                    " cells; at most 2147483647 are supported!");
    }
    view.rows = static_cast<int32_t>(view.shape[0]);
    view.cols = static_cast<int32_t>(view.shape[1]);
    if constexpr (Dim == 3) view.depth = static_cast<int32_t>(view.shape[2]);
    view.cells = grid.data;
    return view;
}

// A map has the grid's number of dimensions and extents, else the caller's messages.
template <int Dim>
void check_map(const MapRef& map, const GridView<Dim>& grid, const char* rank_message, const char* shape_message) {
    if (map.ndim != Dim) throw std::runtime_error(rank_message);
    for (int d = 0; d < Dim; ++d)
        if (map.shape[d] != grid.shape[d]) throw std::runtime_error(shape_message);
}

// Division by a fixed 32-bit divisor as a multiplication (exact for every
// 32-bit dividend: Lemire, Kaser and Kurz, "Faster remainder by direct
// computation", 2019).
class Divider {
public:
    explicit Divider(uint32_t d) : m_(d == 1 ? 0 : ~uint64_t(0) / d + 1), one_(d == 1) {}
    uint32_t operator()(uint32_t n) const {
        return one_ ? n : static_cast<uint32_t>((static_cast<unsigned __int128>(m_) * n) >> 64);
    }

private:
    uint64_t m_;
    bool one_;
};

// A cell given as (x, y, z); z is 0 on 2D grids.
struct Cell {
    int32_t x = 0;
    int32_t y = 0;
    int32_t z = 0;
};

inline bool in_range(int32_t v, int32_t extent) {
    return static_cast<uint32_t>(v) < static_cast<uint32_t>(extent);
}

// Both endpoints inside the grid, else the fixed runtime error.
template <int Dim>
void check_bounds(const GridView<Dim>& g, const Cell& s, const Cell& t) {
    bool ok = in_range(s.x, g.rows) && in_range(t.x, g.rows) && in_range(s.y, g.cols) && in_range(t.y, g.cols);
    if (Dim == 3) ok = ok && in_range(s.z, g.depth) && in_range(t.z, g.depth);
    if (!ok) throw std::runtime_error("Start/goal outside grid bounds!");
}

// Reads the two endpoint cells with a 64-bit index, so that even a grid too
// large for the 32-bit index (refused later) is never read out of place.
template <int Dim>
bool endpoints_free(const GridView<Dim>& g, const Cell& s, const Cell& t) {
    auto at = [&](const Cell& c) {
        const int64_t i = (static_cast<int64_t>(c.x) * g.cols + c.y) * g.depth + c.z;
        return g.cells[i] != 0;
    };
    return at(s) && at(t);
}

inline std::string cells_text(unsigned __int128 n) {
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(n % 10)));
        n /= 10;
    } while (n != 0);
    return digits;
}

// Number of cells, refused before any per-cell array exists when the 32-bit
// linear index cannot address them all. A 32-bit product that comes out
// negative keeps the historical vector length message.
template <int Dim>
int32_t cell_count(const GridView<Dim>& g) {
    const uint32_t wrapped = static_cast<uint32_t>(g.rows) * static_cast<uint32_t>(g.cols) *
                             static_cast<uint32_t>(g.depth);
    if (static_cast<int32_t>(wrapped) < 0) throw std::length_error("cannot create std::vector larger than max_size()");
    const unsigned __int128 exact = static_cast<unsigned __int128>(g.rows) * static_cast<uint64_t>(g.cols) *
                                    static_cast<uint64_t>(g.depth);
    if (exact > static_cast<unsigned __int128>(MAX_CELLS))
        throw std::length_error("Grid has " + cells_text(exact) + " cells; at most 2147483647 are supported!");
    return static_cast<int32_t>(wrapped);
}

// A C++ caller's grid, checked before anything else reads it: extents that are
// not negative, at most MAX_CELLS cells, and data present where cells exist.
// Call after open_grid. (The Python modules' arrays always pass the first
// and last; their size refusal comes later, in the modules' fixed order.)
template <int Dim>
void check_grid_ref(const GridRef& grid) {
    unsigned __int128 cells = 1;  // each axis is at most MAX_CELLS (open_grid): no overflow
    for (int d = 0; d < Dim; ++d) {
        if (grid.shape[d] < 0)
            throw std::invalid_argument("Grid axis " + std::to_string(d) + " has negative extent " +
                                        std::to_string(grid.shape[d]) + "!");
        cells *= static_cast<uint64_t>(grid.shape[d]);
    }
    if (cells > static_cast<unsigned __int128>(MAX_CELLS))
        throw std::length_error("Grid has " + cells_text(cells) + " cells; at most 2147483647 are supported!");
    if (cells > 0 && grid.data == nullptr) throw std::invalid_argument("Grid data is null but the grid has cells!");
}

// A map given with a null data pointer for a grid that has cells.
template <int Dim>
void check_map_ref(const MapRef& map, const GridView<Dim>& grid, const char* name) {
    int64_t cells = 1;
    for (int d = 0; d < Dim; ++d) cells *= grid.shape[d];
    if (cells > 0 && map.data == nullptr) throw std::invalid_argument(std::string(name) + " data is null!");
}

}  // namespace gridsearch
