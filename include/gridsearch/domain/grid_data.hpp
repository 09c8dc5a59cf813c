// The planner's grid as a domain object: the cells converted and checked
// once (walkable or not, their costs), the move set of its connectivity and
// step model, and the data derived from them for the searches (blocked bits
// for fields; for jump point search the bit rows and, on request, the jump
// table). Read-only once made: every query reads it, none changes it, so
// threads share one.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "../base/grid.hpp"
#include "../base/result.hpp"
#include "../memory/blocks.hpp"
#include "bit_rows.hpp"
#include "cell_map.hpp"
#include "grid_options.hpp"
#include "jump_table.hpp"
#include "move_set.hpp"

namespace gridsearch {

template <int Dim>
class GridData {
public:
    // A bool (byte) grid: nonzero = walkable, every walkable cell costs 1.
    GridData(const GridRef& walkable, const GridOptions& options = {}) : options_(options) {
        const int64_t n = open(walkable.ndim, walkable.shape, walkable.data);
        free_.resize(static_cast<std::size_t>(n));
        cost_.resize(static_cast<std::size_t>(n));
        bool any = false;
        for (int64_t i = 0; i < n; ++i) {
            free_[i] = walkable.data[i] != 0;
            cost_[i] = free_[i] ? 1.0 : INF;
            any = any || free_[i];
        }
        unit_ = true;
        same_cost_ = true;
        min_cost_ = any ? 1.0 : INF;
        finish();
    }

    // Per-cell costs: finite >= 0 walkable, +inf blocked; NaN or negative refused.
    GridData(const MapRef& costs, const GridOptions& options = {}) : options_(options) {
        const int64_t n = open(costs.ndim, costs.shape, costs.data);
        free_.resize(static_cast<std::size_t>(n));
        cost_.resize(static_cast<std::size_t>(n));
        unit_ = true;
        min_cost_ = INF;
        double most = 0.0;
        int64_t most_at = 0;
        for (int64_t i = 0; i < n; ++i) {
            const double c = costs.data[i] + 0.0;  // -0.0 is the cost 0
            if (!(c >= 0.0))
                throw std::invalid_argument("cell " + cell_at(i) + " costs " + number(c) +
                                            "; a cost must be >= 0 (walkable) or +inf (blocked)");
            cost_[i] = c;
            free_[i] = c != INF;
            if (free_[i]) {
                unit_ = unit_ && c == 1.0;
                if (c < min_cost_) min_cost_ = c;
                if (c > most) {
                    most = c;
                    most_at = i;
                }
            }
        }
        same_cost_ = min_cost_ == INF || most == min_cost_;
        const double limit = max_finite_cost(n);
        if (most > limit)
            throw std::invalid_argument("cell " + cell_at(most_at) + " costs " + number(most) +
                                        "; on a grid of " + std::to_string(n) + " cells a finite cost must be at most " +
                                        number(limit) + ", so that no path's cost overflows");
        finish();
    }

    // The largest finite cell cost a grid of n cells takes: below it, no
    // path's cost (at most n - 1 steps of at most sqrt 3 x the largest
    // cost, and the sum of two costs in the mean model) can overflow.
    static double max_finite_cost(int64_t n) {
        return std::numeric_limits<double>::max() / (2.0 * static_cast<double>(n));
    }

    const std::array<int64_t, Dim>& shape() const { return shape_; }
    int32_t count() const { return count_; }
    int connectivity() const { return connectivity_; }
    const GridOptions& options() const { return options_; }
    // The smallest cost of a walkable cell (+inf when none is walkable).
    double min_cost() const { return min_cost_; }
    // Every walkable cell costs 1; every walkable cell costs min_cost().
    bool unit() const { return unit_; }
    bool same_cost() const { return same_cost_; }
    bool walkable(int64_t i) const { return free_[static_cast<std::size_t>(i)] != 0; }
    double cost(int64_t i) const { return cost_[static_cast<std::size_t>(i)]; }
    const uint8_t* free_cells() const { return free_.data(); }
    const double* costs() const { return cost_.data(); }
    const MoveSet<Dim>& moves() const { return moves_; }
    const std::vector<uint64_t>& blocked_bits() const { return blocked_bits_; }
    const JumpGrid& jumps() const { return jumps_; }
    const JumpTable& table() const { return table_; }
    // The extents and strides (no cell pointer, so copies stay independent).
    const GridView<Dim>& layout() const { return view_; }

    // Checks a cell of a query; `name` names it in the message.
    void check_cell(const Cell& c, const char* name) const {
        const int64_t v[3] = {c.x, c.y, c.z};
        for (int d = 0; d < Dim; ++d)
            if (v[d] < 0 || v[d] >= shape_[d])
                throw std::invalid_argument(std::string(name) + " " + planning::cell_text(v, Dim) +
                                            " lies outside the grid of shape " +
                                            planning::cell_text(shape_.data(), Dim));
    }

    static std::string number(double v) {
        if (std::isnan(v)) return "nan";
        if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.17g", v);
        return buf;
    }

    // The grid view over this object's own cells (the stored view holds no
    // pointer, so copies and moves of a Grid stay independent).
    GridView<Dim> view() const {
        GridView<Dim> v = view_;
        v.cells = free_.data();
        return v;
    }

private:
    // The cell of a linear index, as text.
    std::string cell_at(int64_t i) const { return planning::index_text(i, shape_.data(), Dim); }

    template <class T>
    int64_t open(int ndim, const int64_t* shape, const T* data) {
        if (ndim != Dim)
            throw std::invalid_argument("cells must be a " + std::to_string(Dim) + "D array, got " +
                                        std::to_string(ndim) + " dimensions");
        int64_t n = 1;
        for (int d = 0; d < Dim; ++d) {
            if (shape[d] < 0)
                throw std::invalid_argument("cells: axis " + std::to_string(d) + " has a negative length (" +
                                            std::to_string(shape[d]) +
                                            "), or an unsigned one beyond the 64-bit signed range");
            if (shape[d] == 0) throw std::invalid_argument("cells must not be empty, got an axis of length 0");
            if (shape[d] > MAX_CELLS || (n *= shape[d]) > MAX_CELLS)
                throw std::length_error("cells: a grid of at most 2147483647 cells is supported");
            shape_[d] = shape[d];
        }
        if (data == nullptr) throw std::invalid_argument("cells data is null");
        count_ = static_cast<int32_t>(n);
        return n;
    }

    void finish() {
        connectivity_ = checked_connectivity(Dim, options_.connectivity);
        view_.rows = static_cast<int32_t>(shape_[0]);
        view_.cols = static_cast<int32_t>(shape_[1]);
        view_.depth = Dim == 3 ? static_cast<int32_t>(shape_[2]) : 1;
        for (int d = 0; d < Dim; ++d) view_.shape[d] = shape_[d];
        moves_ = make_moves<Dim>(view_, connectivity_, options_.use_uniform_step_cost);
        if (options_.precompute_jumps && (Dim != 2 || !same_cost_))
            throw std::invalid_argument(
                "precompute_jumps applies to 2D grids whose walkable cells all cost the same (jump point search)");
        if (Dim == 2 && same_cost_) {
            jumps_ = JumpGrid(view_.rows, view_.cols,
                              [&](int32_t x, int32_t y) { return free_[static_cast<std::size_t>(x) * view_.cols + y] != 0; });
            if (options_.precompute_jumps) {
                if (connectivity_ == 4)
                    table_ = JumpTable::build<4, false>(jumps_, view_.rows, view_.cols);
                else if (options_.corner_cutting)
                    table_ = JumpTable::build<8, true>(jumps_, view_.rows, view_.cols);
                else
                    table_ = JumpTable::build<8, false>(jumps_, view_.rows, view_.cols);
            }
        }
        blocked_bits_.assign((static_cast<std::size_t>(count_) + 63) / 64, 0);
        for (int32_t i = 0; i < count_; ++i)
            if (!free_[static_cast<std::size_t>(i)]) blocked_bits_[i >> 6] |= uint64_t(1) << (i & 63);
    }

    GridOptions options_;
    int connectivity_ = 0;
    std::array<int64_t, Dim> shape_{};
    int32_t count_ = 0;
    std::vector<uint8_t> free_;
    std::vector<double> cost_;
    std::vector<uint64_t> blocked_bits_;  // one bit per cell, set where blocked
    bool unit_ = true;
    bool same_cost_ = true;  // every walkable cell costs min_cost_
    JumpGrid jumps_;         // 2D grids of the same cost: the bit rows of jump point search
    JumpTable table_;        // with precompute_jumps: every cell's jumps
    double min_cost_ = INF;
    GridView<Dim> view_;
    MoveSet<Dim> moves_;
};

}  // namespace gridsearch
