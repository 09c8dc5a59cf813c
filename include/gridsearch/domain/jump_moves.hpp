// Jump point search as a successor policy of the search skeleton: on a 2D
// grid whose walkable cells all cost the same, the successors of a cell,
// given the cell it was reached from, are the jump points met by jumping
// from it in the directions that no other path serves as cheaply (Harabor
// and Grastien). Jumps scan 64 cells at a time over bit rows (bit_rows.hpp).
//
// The paths found are canonical: with 8 neighbours, diagonal moves come
// before straight ones between two jump points; with 4, moves along axis 0
// come before those along axis 1. So the cells between a jump point and
// its parent are found again from the two alone (fill_jumps), and the
// direction a cell was entered in from its parent's.
//
// Straight jumps stop at a cell with a forced neighbour (see BitRows::jump)
// or at the goal. A diagonal jump jumps straight from every cell it passes;
// the jump points those find become successors of the cell it started from,
// and the cells it passes are not made nodes of their own (intermediate
// pruning) unless forced or the goal. With 4 neighbours a jump along axis 0
// does the same but stops at the first cell whose jumps along axis 1 stop,
// which becomes the node.
#pragma once

#include <array>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "../base/grid.hpp"
#include "../base/stop.hpp"
#include "../memory/cells.hpp"
#include "bit_rows.hpp"
#include "jump_table.hpp"

namespace gridsearch {

// Conn: 4 or 8 neighbours. Squeeze: a diagonal move needs only its target
// walkable (else also the two cells it passes beside). A move costs its
// length (1, or `diagonal` for a diagonal) times `cost`, the cost of every
// walkable cell. Table: jumps are looked up in a jump table made for the
// same rule (jump_table.hpp) instead of scanned, with the same successors.
template <int Conn, bool Squeeze, bool Table = false>
class JumpMoves {
    static_assert(Conn == 4 || Conn == 8, "jump point search runs on 4 or 8 neighbours");

public:
    static constexpr int fixed_count = Conn;
    static constexpr bool with_parent = true;

    // `poll` counts the cells a diagonal (or axis 0) jump passes: one
    // expansion may jump across the whole grid.
    JumpMoves(const JumpGrid& grid, int32_t cols, const Cell& goal, double diagonal, double cost, double max_cost,
              StopPoll* poll, const JumpTable* table = nullptr)
        : jg_(&grid),
          table_(table),
          cols_(cols),
          gx_(goal.x),
          gy_(goal.y),
          diagonal_(diagonal),
          cost_(cost),
          max_cost_(max_cost),
          poll_(poll) {}

    bool pruned = false;  // a tentative cost above max_cost was refused

    // Calls fn(nx, ny, 0, n, cost) for each successor of cell c, entered from
    // `parent` (a linear index, -1 for the start).
    template <class Fn>
    void operator()(const GridView<2>&, const At& c, int32_t parent, Fn&& fn) const {
        int dx = 0, dy = 0;
        if (parent >= 0) {
            const int32_t ex = c.x - parent / cols_, ey = c.y - parent % cols_;
            const int32_t ax = std::abs(ex), ay = std::abs(ey);
            if (Conn == 4) {
                (ey != 0 ? dy : dx) = ey != 0 ? sign(ey) : sign(ex);
            } else {
                if (ax >= ay) dx = sign(ex);
                if (ay >= ax) dy = sign(ey);
            }
        }
        const int32_t x = c.x, y = c.y;
        if (Conn == 8)
            eight(x, y, dx, dy, fn);
        else
            four(x, y, dx, dy, fn);
    }

    bool admit(double g) {
        if (g <= max_cost_) return true;
        pruned = true;
        return false;
    }

private:
    static int sign(int32_t v) { return v > 0 ? 1 : -1; }
    bool free(int32_t x, int32_t y) const { return jg_->free(x, y); }

    template <class Fn>
    void emit(int32_t x, int32_t y, int32_t diagonals, int32_t straights, Fn& fn) const {
        fn(x, y, 0, x * cols_ + y, (diagonals * diagonal_ + straights) * cost_);
    }

    // Straight jumps from (x, y): along axis 1 in row x, along axis 0 in
    // column y; `diagonals` and `straights` already made on the way there.
    template <int D, bool Rule, class Fn>
    void along1(int32_t x, int32_t y, int32_t diagonals, int32_t straights, Fn& fn) const {
        const int32_t k = jg_->rows.template jump<D, Rule>(x, y, gx_ == x ? gy_ : -1);
        if (k != 0) emit(x, y + D * k, diagonals, straights + k, fn);
    }
    template <int D, bool Rule, class Fn>
    void along0(int32_t x, int32_t y, int32_t diagonals, int32_t straights, Fn& fn) const {
        const int32_t k = jg_->cols.template jump<D, Rule>(y, x, gy_ == y ? gx_ : -1);
        if (k != 0) emit(x + D * k, y, diagonals, straights + k, fn);
    }
    template <bool Rule, class Fn>
    void straight1(int d, int32_t x, int32_t y, Fn& fn) const {
        if constexpr (Table) return looked_up_straight(1, d, x, y, fn);
        if (d > 0)
            along1<1, Rule>(x, y, 0, 0, fn);
        else
            along1<-1, Rule>(x, y, 0, 0, fn);
    }
    template <bool Rule, class Fn>
    void straight0(int d, int32_t x, int32_t y, Fn& fn) const {
        if constexpr (Table) return looked_up_straight(0, d, x, y, fn);
        if (d > 0)
            along0<1, Rule>(x, y, 0, 0, fn);
        else
            along0<-1, Rule>(x, y, 0, 0, fn);
    }

    // 8 neighbours: the diagonal jump in direction (DX, DY) from (x, y).
    template <int DX, int DY, class Fn>
    void diagonal(int32_t x, int32_t y, Fn& fn) const {
        for (int32_t k = 1;; ++k) {
            if (!free(x + DX, y + DY)) return;
            if (!Squeeze && (!free(x + DX, y) || !free(x, y + DY))) return;
            x += DX;
            y += DY;
            poll_->tick();
            if (x == gx_ && y == gy_) return emit(x, y, k, 0, fn);
            if (Squeeze && ((!free(x - DX, y) && free(x - DX, y + DY)) || (!free(x, y - DY) && free(x + DX, y - DY))))
                return emit(x, y, k, 0, fn);
            along0<DX, Squeeze>(x, y, k, 0, fn);
            along1<DY, Squeeze>(x, y, k, 0, fn);
        }
    }
    template <class Fn>
    void diagonal(int dx, int dy, int32_t x, int32_t y, Fn& fn) const {
        if constexpr (Table) return looked_up_run(dx, dy, x, y, fn);
        if (dx > 0) {
            if (dy > 0)
                diagonal<1, 1>(x, y, fn);
            else
                diagonal<1, -1>(x, y, fn);
        } else {
            if (dy > 0)
                diagonal<-1, 1>(x, y, fn);
            else
                diagonal<-1, -1>(x, y, fn);
        }
    }

    template <class Fn>
    void eight(int32_t x, int32_t y, int dx, int dy, Fn& fn) const {
        if (dx == 0 && dy == 0) {  // the start: every direction
            for (int d = -1; d <= 1; d += 2) {
                straight0<Squeeze>(d, x, y, fn);
                straight1<Squeeze>(d, x, y, fn);
            }
            for (int a = -1; a <= 1; a += 2)
                for (int b = -1; b <= 1; b += 2) diagonal(a, b, x, y, fn);
            return;
        }
        if (dx != 0 && dy != 0) {
            straight0<Squeeze>(dx, x, y, fn);
            straight1<Squeeze>(dy, x, y, fn);
            diagonal(dx, dy, x, y, fn);
            if (Squeeze) {
                if (!free(x - dx, y) && free(x - dx, y + dy)) diagonal(-dx, dy, x, y, fn);
                if (!free(x, y - dy) && free(x + dx, y - dy)) diagonal(dx, -dy, x, y, fn);
            }
            return;
        }
        if (dx != 0) {
            straight0<Squeeze>(dx, x, y, fn);
            for (int s = -1; s <= 1; s += 2) {
                if (Squeeze) {
                    if (!free(x, y + s) && free(x + dx, y + s)) diagonal(dx, s, x, y, fn);
                } else if (!free(x - dx, y + s) && free(x, y + s)) {
                    straight1<false>(s, x, y, fn);
                    diagonal(dx, s, x, y, fn);
                }
            }
        } else {
            straight1<Squeeze>(dy, x, y, fn);
            for (int s = -1; s <= 1; s += 2) {
                if (Squeeze) {
                    if (!free(x + s, y) && free(x + s, y + dy)) diagonal(s, dy, x, y, fn);
                } else if (!free(x + s, y - dy) && free(x + s, y)) {
                    straight0<false>(s, x, y, fn);
                    diagonal(s, dy, x, y, fn);
                }
            }
        }
    }

    // 4 neighbours: a jump along axis 0 in direction D from (x, y), which
    // stops at the first cell whose jumps along axis 1 stop somewhere (that
    // cell becomes a node: on 4 neighbours, making the axis 1 jump points
    // successors at once, as the diagonal jumps do, measured slower, since
    // most of them are never expanded).
    template <int D, class Fn>
    void column(int32_t x, int32_t y, Fn& fn) const {
        for (int32_t k = 1;; ++k) {
            x += D;
            if (!free(x, y)) return;
            poll_->tick();
            if (x == gx_ && y == gy_) return emit(x, y, 0, k, fn);
            if (jg_->rows.template jump<-1, false>(x, y, gx_ == x ? gy_ : -1) != 0 ||
                jg_->rows.template jump<1, false>(x, y, gx_ == x ? gy_ : -1) != 0)
                return emit(x, y, 0, k, fn);
        }
    }
    template <class Fn>
    void column(int d, int32_t x, int32_t y, Fn& fn) const {
        if constexpr (Table) return looked_up_run(d, 0, x, y, fn);
        if (d > 0)
            column<1>(x, y, fn);
        else
            column<-1>(x, y, fn);
    }

    template <class Fn>
    void four(int32_t x, int32_t y, int dx, int dy, Fn& fn) const {
        if (dy == 0) {  // entered along axis 0, or the start
            if (dx == 0) {
                column(-1, x, y, fn);
                column(1, x, y, fn);
            } else {
                column(dx, x, y, fn);
            }
            straight1<false>(-1, x, y, fn);
            straight1<false>(1, x, y, fn);
            return;
        }
        straight1<false>(dy, x, y, fn);
        for (int s = -1; s <= 1; s += 2)
            if (free(x + s, y) && !free(x + s, y - dy)) column(s, x, y, fn);
    }

    // A straight jump from the table: to the goal when it lies on the way,
    // else to the cell the jump stops at, if any; `diagonals` and
    // `straights` already made on the way to (x, y).
    template <class Fn>
    void looked_up_straight(int axis, int d, int32_t x, int32_t y, Fn& fn, int32_t diagonals = 0,
                            int32_t straights = 0) const {
        const int32_t v = table_->at(x * cols_ + y, JumpTable::straight(axis, d));
        const int32_t reach = v > 0 ? v : -v;
        const int32_t to_goal = axis == 1 ? (gx_ == x ? (gy_ - y) * d : 0) : (gy_ == y ? (gx_ - x) * d : 0);
        const int32_t k = to_goal > 0 && to_goal <= reach ? to_goal : v;
        if (k > 0) emit(axis == 0 ? x + d * k : x, axis == 1 ? y + d * k : y, diagonals, straights + k, fn);
    }
    // A diagonal jump in (dx, dy), or with dy = 0 a jump along axis 0 on 4
    // neighbours, by the table, with the scanned jump's successors: from
    // each cell at which the table says it stops (and from the one on the
    // goal's row or column, when the goal lies ahead) the straight jumps are
    // looked up and their jump points made successors; it ends at the goal,
    // at a cell with a forced neighbour (a node of its own), or at a blocked
    // cell. Along axis 0 the first such cell is the successor (see column).
    template <class Fn>
    void looked_up_run(int dx, int dy, int32_t x, int32_t y, Fn& fn) const {
        const int dir = dy != 0 ? JumpTable::diagonal(dx, dy) : JumpTable::straight(0, dx);
        for (int32_t k = 0;;) {
            const int32_t v = table_->at(x * cols_ + y, dir);
            const int32_t reach = v > 0 ? v : -v;
            const int32_t ax = (gx_ - x) * dx, ay = dy != 0 ? (gy_ - y) * dy : ax;
            const int32_t meet = ax < ay ? ax : ay;
            const int32_t step = meet > 0 && meet <= reach && (v <= 0 || meet < v) ? meet : v;
            if (step <= 0) return;
            x += dx * step;
            y += dy * step;
            k += step;
            if (Conn == 4) return emit(x, y, 0, k, fn);
            if (x == gx_ && y == gy_) return emit(x, y, k, 0, fn);
            if (Squeeze && ((!free(x - dx, y) && free(x - dx, y + dy)) || (!free(x, y - dy) && free(x + dx, y - dy))))
                return emit(x, y, k, 0, fn);
            looked_up_straight(0, dx, x, y, fn, k, 0);
            looked_up_straight(1, dy, x, y, fn, k, 0);
        }
    }

    const JumpGrid* jg_;
    const JumpTable* table_;
    int32_t cols_;
    int32_t gx_, gy_;
    double diagonal_;
    double cost_;
    double max_cost_;
    StopPoll* poll_;
};

// The cells of a path of jump points, every cell between two of them filled
// in (diagonal moves first with 8 neighbours, axis 0 first with 4).
inline std::vector<std::array<int32_t, 2>> fill_jumps(const std::vector<std::array<int32_t, 2>>& points, int conn) {
    std::vector<std::array<int32_t, 2>> path;
    if (points.empty()) return path;
    path.push_back(points[0]);
    for (std::size_t k = 1; k < points.size(); ++k) {
        int32_t x = points[k - 1][0], y = points[k - 1][1];
        const int32_t tx = points[k][0], ty = points[k][1];
        const int sx = tx > x ? 1 : (tx < x ? -1 : 0), sy = ty > y ? 1 : (ty < y ? -1 : 0);
        if (conn == 8)
            while (x != tx && y != ty) path.push_back({x += sx, y += sy});
        while (x != tx) path.push_back({x += sx, y});
        while (y != ty) path.push_back({x, y += sy});
    }
    return path;
}

}  // namespace gridsearch
