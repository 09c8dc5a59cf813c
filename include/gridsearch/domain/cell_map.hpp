// Per-cell value maps of the planner (a heuristic, a focal key): the grid's
// shape, and values that are numbers or +inf (no NaN, no -inf). A CellMap is
// such a map copied from the caller's array and checked in the same pass,
// for searches that must not read the caller's memory (another thread may
// change it) and should not check it again.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "../memory/cells.hpp"
#include "../base/grid.hpp"
#include "../base/result.hpp"

namespace gridsearch {

namespace planning {

inline std::string cell_text(const int64_t* c, int dim) {
    std::string s = "(";
    for (int d = 0; d < dim; ++d) s += (d ? ", " : "") + std::to_string(c[d]);
    return s + ")";
}

// The cell of linear index i in a grid of the given extents.
inline std::string index_text(int64_t i, const int64_t* shape, int dim) {
    int64_t at[3] = {0, 0, 0};
    for (int d = dim - 1; d >= 0; --d) {
        at[d] = i % shape[d];
        i /= shape[d];
    }
    return cell_text(at, dim);
}

inline bool bad_value(double v) { return v != v || v == -INF; }

// Checks that `m` has the grid's shape and data; `name` names it.
inline void check_map_shape(const MapRef& m, const int64_t* shape, int dim, const char* name) {
    bool same = m.ndim == dim;
    for (int d = 0; d < dim && same; ++d) same = m.shape[d] == shape[d];
    if (!same) throw std::invalid_argument(std::string(name) + " must have the grid's shape " + cell_text(shape, dim));
    if (m.data == nullptr) throw std::invalid_argument(std::string(name) + " data is null");
}

// Copies n values from `from` to `to` (when not null), checking them in the
// same pass; throws for the first NaN or -inf.
inline void scan_values(const double* from, double* to, int64_t n, const int64_t* shape, int dim, const char* name) {
    bool bad = false;
    if (to != nullptr) {
        for (int64_t i = 0; i < n; ++i) {
            const double v = from[i];
            to[i] = v;
            bad |= bad_value(v);
        }
    } else {
        for (int64_t i = 0; i < n; ++i) bad |= bad_value(from[i]);
    }
    if (!bad) return;
    int64_t i = 0;
    while (!bad_value(from[i])) ++i;
    throw std::invalid_argument(std::string(name) + " holds " + (from[i] != from[i] ? "NaN" : "-inf") + " at " +
                                index_text(i, shape, dim) + "; its values must be numbers or +inf");
}

}  // namespace planning

// A checked copy of a per-cell map (make one with Grid::copy_map). fill()
// copies another map into the same storage, so that a CellMap kept from
// call to call costs no fresh memory (and its page faults) each time.
class CellMap {
public:
    CellMap(const MapRef& m, const int64_t* shape, int dim, const char* name) { fill(m, shape, dim, name); }

    void fill(const MapRef& m, const int64_t* shape, int dim, const char* name) {
        planning::check_map_shape(m, shape, dim, name);
        int64_t n = 1;
        for (int d = 0; d < dim; ++d) n *= (shape_[d] = shape[d]);
        ndim_ = dim;
        if (static_cast<std::size_t>(n) > capacity_) {
            values_.reset();
            capacity_ = 0;
            values_ = uninitialised<double>(static_cast<std::size_t>(n));
            capacity_ = static_cast<std::size_t>(n);
        }
        planning::scan_values(m.data, values_.get(), n, shape, dim, name);
    }
    const double* data() const { return values_.get(); }
    int ndim() const { return ndim_; }
    const int64_t* shape() const { return shape_.data(); }

private:
    std::unique_ptr<double[], FreeDeleter> values_;
    std::size_t capacity_ = 0;
    std::array<int64_t, 3> shape_{};
    int ndim_ = 0;
};

// A per-cell map option: the caller's array (checked by every search that
// takes it) or a CellMap (checked when it was made; it must outlive the
// options).
class MapArg {
public:
    MapArg(const MapRef& m) : ref_(m) {}  // NOLINT: either converts
    MapArg(const CellMap& m) : ref_(MapRef::from(m.data(), m.ndim(), m.shape())), checked_(true) {}  // NOLINT
    const double* data() const { return ref_.data; }

    void check(const int64_t* shape, int dim, const char* name) const {
        planning::check_map_shape(ref_, shape, dim, name);
        if (checked_) return;
        int64_t n = 1;
        for (int d = 0; d < dim; ++d) n *= shape[d];
        planning::scan_values(ref_.data, nullptr, n, shape, dim, name);
    }

private:
    MapRef ref_;
    bool checked_ = false;
};

}  // namespace gridsearch
