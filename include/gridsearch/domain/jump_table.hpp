// The jumps of every cell, computed once (JPS+, after Rabin): for each cell
// and direction, the distance to the first cell at which a jump from it
// stops (a positive value), or minus the number of walkable cells before
// the jump runs into a blocked cell or the border (zero or negative). A jump
// then costs one look-up instead of a scan. The values depend on the move
// rule, fixed for a grid.
//
// Directions: 0 and 1 along axis 0 (-1, +1), 2 and 3 along axis 1, and with
// 8 neighbours 4 to 7 the diagonals (dx, dy) = (-1, -1), (-1, +1), (+1, -1),
// (+1, +1). A straight jump stops at a cell with a forced neighbour; a
// diagonal jump at a cell whose straight jumps along its two axes stop
// somewhere, or (diagonal moves needing only their target) at a cell with a
// forced neighbour. With 4 neighbours a jump along axis 0 stops at a cell
// whose jumps along axis 1 stop somewhere, as it does in JumpMoves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "bit_rows.hpp"

namespace gridsearch {

class JumpTable {
public:
    JumpTable() = default;

    static int straight(int axis, int d) { return 2 * axis + (d > 0); }
    static int diagonal(int dx, int dy) { return 4 + 2 * (dx > 0) + (dy > 0); }

    bool empty() const { return d_.empty(); }
    std::size_t bytes() const { return d_.size() * sizeof(int32_t); }
    int32_t at(int32_t cell, int dir) const { return d_[static_cast<std::size_t>(cell) * per_ + dir]; }

    template <int Conn, bool Squeeze>
    static JumpTable build(const JumpGrid& g, int32_t rows, int32_t cols) {
        JumpTable t;
        t.per_ = Conn == 8 ? 8 : 4;
        t.d_.assign(static_cast<std::size_t>(rows) * cols * t.per_, 0);
        const auto free = [&](int32_t x, int32_t y) { return g.free(x, y); };
        // Whether a straight jump entering (x, y) in direction (ex, ey) stops there.
        const auto forced = [&](int32_t x, int32_t y, int ex, int ey, bool squeeze) {
            for (int s = -1; s <= 1; s += 2) {
                const int32_t sx = ey != 0 ? s : 0, sy = ex != 0 ? s : 0;  // the cell beside
                if (squeeze ? (!free(x + sx, y + sy) && free(x + sx + ex, y + sy + ey))
                            : (free(x + sx, y + sy) && !free(x + sx - ex, y + sy - ey)))
                    return true;
            }
            return false;
        };
        // v(c) from v(n), n the next cell: 0 when n is blocked (or the move
        // refused), 1 when the jump stops at n, else one step more than v(n).
        const auto chain = [](bool open, bool stop, int32_t next) -> int32_t {
            if (!open) return 0;
            if (stop) return 1;
            return next > 0 ? next + 1 : next - 1;
        };
        const auto each = [&](int dx, int dy, auto&& fn) {  // every cell, the next one in (dx, dy) first
            for (int32_t i = 0; i < rows; ++i) {
                const int32_t x = dx > 0 ? rows - 1 - i : i;
                for (int32_t j = 0; j < cols; ++j) fn(x, dy > 0 ? cols - 1 - j : j);
            }
        };
        const auto cell = [cols](int32_t x, int32_t y) { return static_cast<int32_t>(x * cols + y); };
        const bool squeeze = Conn == 8 && Squeeze;
        for (int d = -1; d <= 1; d += 2) {  // straight along axis 1
            const int dir = straight(1, d);
            each(0, d, [&](int32_t x, int32_t y) {
                const int32_t ny = y + d;
                const bool open = free(x, ny);
                t.set(cell(x, y), dir, chain(open, open && forced(x, ny, 0, d, squeeze),
                                             open ? t.at(cell(x, ny), dir) : 0));
            });
        }
        if (Conn == 8) {
            for (int d = -1; d <= 1; d += 2) {  // straight along axis 0
                const int dir = straight(0, d);
                each(d, 0, [&](int32_t x, int32_t y) {
                    const int32_t nx = x + d;
                    const bool open = free(nx, y);
                    t.set(cell(x, y), dir, chain(open, open && forced(nx, y, d, 0, squeeze),
                                                 open ? t.at(cell(nx, y), dir) : 0));
                });
            }
            for (int dx = -1; dx <= 1; dx += 2)
                for (int dy = -1; dy <= 1; dy += 2) {
                    const int dir = diagonal(dx, dy);
                    each(dx, dy, [&](int32_t x, int32_t y) {
                        const int32_t nx = x + dx, ny = y + dy;
                        const bool open = free(nx, ny) && (Squeeze || (free(nx, y) && free(x, ny)));
                        bool stop = false;
                        if (open) {
                            const int32_t n = cell(nx, ny);
                            stop = t.at(n, straight(0, dx)) > 0 || t.at(n, straight(1, dy)) > 0;
                            if (Squeeze)
                                stop = stop || (!free(nx - dx, ny) && free(nx - dx, ny + dy)) ||
                                       (!free(nx, ny - dy) && free(nx + dx, ny - dy));
                        }
                        t.set(cell(x, y), dir, chain(open, stop, open ? t.at(cell(nx, ny), dir) : 0));
                    });
                }
        } else {
            for (int d = -1; d <= 1; d += 2) {  // along axis 0, stopping where axis 1 jumps do
                const int dir = straight(0, d);
                each(d, 0, [&](int32_t x, int32_t y) {
                    const int32_t nx = x + d;
                    const bool open = free(nx, y);
                    bool stop = false;
                    if (open) {
                        const int32_t n = cell(nx, y);
                        stop = t.at(n, straight(1, -1)) > 0 || t.at(n, straight(1, 1)) > 0;
                    }
                    t.set(cell(x, y), dir, chain(open, stop, open ? t.at(cell(nx, y), dir) : 0));
                });
            }
        }
        return t;
    }

private:
    void set(int32_t cell, int dir, int32_t v) { d_[static_cast<std::size_t>(cell) * per_ + dir] = v; }

    int per_ = 0;
    std::vector<int32_t> d_;
};

}  // namespace gridsearch
