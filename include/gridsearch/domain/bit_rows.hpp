// A 2D grid's walkable cells as bits, 64 to a word, row by row, for scans
// that read 64 cells at a time: the jumps of jump point search. The grid is
// bordered by blocked cells (see BitRows::at), so that a window of 64 cells
// may be read around any cell a scan reaches without a range check, at about
// one bit a cell whatever the grid's shape. A jump grid holds the rows and a
// transposed copy, whose rows are the grid's columns, for the scans along
// axis 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace gridsearch {

class BitRows {
public:
    BitRows() = default;
    // free(r, c) tells whether cell (r, c) of a rows x cols grid is walkable.
    template <class Free>
    BitRows(int32_t rows, int32_t cols, Free&& free)
        : stride_(int64_t(cols) + 1),
          bits_(static_cast<std::size_t>((2 * PAD + (int64_t(rows) + 2) * stride_ + 63) / 64 + 2), 0) {
        for (int32_t r = 0; r < rows; ++r)
            for (int32_t c = 0; c < cols; ++c) {
                const uint64_t p = static_cast<uint64_t>(at(r, c));
                if (free(r, c)) bits_[p >> 6] |= uint64_t(1) << (p & 63);
            }
    }

    std::size_t bytes() const { return bits_.size() * sizeof(uint64_t); }

    // Whether (r, c) is walkable, for r in [-1, rows] and c in [-1, cols].
    bool free(int32_t r, int32_t c) const {
        const uint64_t p = static_cast<uint64_t>(at(r, c));
        return (bits_[p >> 6] >> (p & 63)) & 1;
    }

    // The 64 cells met when stepping from the cell at bit p in direction D
    // (+1 or -1) along its row (and on, past the row's end): the cell j steps
    // on is bit j for D = +1, bit 63 - j for D = -1, so that the first cell
    // met is the lowest set bit (ctz) or the highest (clz) of a mask made of
    // such windows.
    template <int D>
    uint64_t window(int64_t p) const {
        if (D < 0) p -= 63;
        const std::size_t k = static_cast<std::size_t>(p >> 6);
        const unsigned b = static_cast<unsigned>(p & 63);
        return b == 0 ? bits_[k] : (bits_[k] >> b) | (bits_[k + 1] << (64 - b));
    }
    template <int D>
    static int first(uint64_t mask) {
        return D > 0 ? __builtin_ctzll(mask) : __builtin_clzll(mask);
    }
    template <int D>
    static uint64_t bit(int j) {
        return uint64_t(1) << (D > 0 ? j : 63 - j);
    }

    // A jump along row r from column c0 in direction D: the distance k > 0 to
    // the first cell that stops it, or 0 when a blocked cell comes first.
    // A cell stops it when it is `target` (a column of this row, or -1 for
    // none), or when one of its neighbours in the rows beside is forced:
    //   Squeeze (diagonal moves need only their target walkable): a blocked
    //   cell beside it with a walkable one after it, which the jump could
    //   reach only by a diagonal move from this cell;
    //   otherwise (diagonal moves need the cells they pass beside, or no
    //   diagonal moves at all): a walkable cell beside it with a blocked one
    //   before it, which a path not through this cell could not reach as
    //   cheaply.
    // The blocked column between rows ends every jump within its row.
    template <int D, bool Squeeze>
    int32_t jump(int32_t r, int32_t c0, int32_t target) const {
        int64_t p = at(r, c0) + D;
        const int64_t up = -stride_, down = stride_;
        for (int64_t walked = 0;; walked += 64) {
            const uint64_t free = window<D>(p);
            const uint64_t a = window<D>(p + up), b = window<D>(p + down);
            uint64_t forced;
            if constexpr (Squeeze)
                forced = (~a & window<D>(p + up + D)) | (~b & window<D>(p + down + D));
            else
                forced = (a & ~window<D>(p + up - D)) | (b & ~window<D>(p + down - D));
            const uint64_t stop = forced | ~free;
            if (stop != 0) {
                const int j = first<D>(stop);
                const int32_t k = static_cast<int32_t>(walked + 1 + j);
                if (target >= 0) {
                    const int32_t kt = (target - c0) * D;
                    if (kt > 0 && kt <= k) return kt;
                }
                return (free & bit<D>(j)) != 0 ? k : 0;
            }
            p += 64 * D;
        }
    }

private:
    // Rows lie end to end, one blocked column between two (column -1 of a
    // row is column `cols` of the row before), a blocked row before the
    // first and after the last, and PAD blocked bits before and after all.
    static constexpr int64_t PAD = 128;
    int64_t at(int32_t r, int32_t c) const { return PAD + (int64_t(r) + 1) * stride_ + c; }

    int64_t stride_ = 0;
    std::vector<uint64_t> bits_;
};

// The rows of a 2D grid and its columns (the transposed grid).
struct JumpGrid {
    BitRows rows;  // (x, y): row x, column y
    BitRows cols;  // (y, x)

    JumpGrid() = default;
    template <class Free>
    JumpGrid(int32_t nx, int32_t ny, Free&& free)
        : rows(nx, ny, free), cols(ny, nx, [&](int32_t y, int32_t x) { return free(x, y); }) {}

    bool free(int32_t x, int32_t y) const { return rows.free(x, y); }
    std::size_t bytes() const { return rows.bytes() + cols.bytes(); }
};

}  // namespace gridsearch
