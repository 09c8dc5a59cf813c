// What a single agent's search in space and time must avoid: cells forbidden
// at given time steps, moves forbidden at given time steps, and cells
// reserved from a time step on (another agent parked at its goal). Times are
// absolute steps (0 = the plan's start). Most cells carry nothing, so a flag
// byte per cell answers most questions before any table is read.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace gridsearch::mapf {

inline constexpr int32_t NEVER = std::numeric_limits<int32_t>::max();

// An interval of time steps [begin, end] (end = NEVER: for ever).
struct Interval {
    int32_t begin, end;
};

class ReservationTable {
public:
    ReservationTable() = default;
    explicit ReservationTable(int32_t cells) : flags_(static_cast<std::size_t>(cells), 0) {}

    int32_t cells() const { return static_cast<int32_t>(flags_.size()); }
    bool empty() const { return count_ == 0; }
    // The number of constraints held (each distinct one once).
    int64_t size() const { return count_; }

    // No agent may be in `cell` at time t.
    void forbid_cell(int32_t cell, int32_t t) {
        check(cell, t);
        if (insert(vertex_[cell], t)) name(cell, VERTEX);
        last_ = std::max(last_, t);
    }
    // No agent may leave `from` at time t for `to` (arriving at t + 1).
    void forbid_move(int32_t from, int32_t to, int32_t t) {
        check(from, t);
        check(to, t);
        if (insert(move_[key(from, to)], t)) flags_[from] |= MOVE;
        last_ = std::max(last_, t + 1);
    }
    // `cell` is taken from time t on, for ever (the earliest such t is kept).
    void reserve_from(int32_t cell, int32_t t) {
        check(cell, t);
        auto it = reserved_.find(cell);
        if (it == reserved_.end()) {
            reserved_.emplace(cell, t);
            name(cell, RESERVED);
            ++count_;
        } else {
            it->second = std::min(it->second, t);
        }
        last_ = std::max(last_, t);
    }
    // The opposites: a constraint that is not held is ignored.
    void allow_cell(int32_t cell, int32_t t) {
        const auto it = vertex_.find(cell);
        if (it != vertex_.end() && erase(it->second, t) && it->second.empty()) {
            vertex_.erase(it);
            flags_[static_cast<std::size_t>(cell)] &= static_cast<uint8_t>(~VERTEX);
        }
    }
    void allow_move(int32_t from, int32_t to, int32_t t) {
        const auto it = move_.find(key(from, to));
        if (it != move_.end() && erase(it->second, t) && it->second.empty()) move_.erase(it);
    }
    void unreserve(int32_t cell) {
        if (reserved_.erase(cell) != 0) {
            --count_;
            flags_[static_cast<std::size_t>(cell)] &= static_cast<uint8_t>(~RESERVED);
        }
    }

    // A plan of cells from time t0: each cell at its time, the move back
    // along each step (so that nobody swaps with it), the last cell from
    // its time on; and the opposite. The table holds sets: releasing a path
    // also takes back what another constraint named too (the paths of a
    // valid plan never share one).
    void reserve_path(const std::vector<int32_t>& path, int32_t t0) { mark_path(path, t0, true); }
    void release_path(const std::vector<int32_t>& path, int32_t t0) { mark_path(path, t0, false); }

    void clear() {
        std::fill(flags_.begin(), flags_.end(), uint8_t(0));
        vertex_.clear();
        move_.clear();
        reserved_.clear();
        count_ = 0;
        last_ = -1;
    }

    bool cell_free(int32_t cell, int32_t t) const {
        const uint8_t f = flags_[static_cast<std::size_t>(cell)];
        if ((f & (VERTEX | RESERVED)) == 0) return true;
        if ((f & RESERVED) && t >= reserved_.find(cell)->second) return false;
        if (f & VERTEX) {
            const auto& v = vertex_.find(cell)->second;
            return !std::binary_search(v.begin(), v.end(), t);
        }
        return true;
    }
    bool move_free(int32_t from, int32_t to, int32_t t) const {
        if ((flags_[static_cast<std::size_t>(from)] & MOVE) == 0) return true;
        const auto it = move_.find(key(from, to));
        return it == move_.end() || !std::binary_search(it->second.begin(), it->second.end(), t);
    }
    // The earliest departure >= t from `from` to `to` that is not forbidden.
    int32_t next_move(int32_t from, int32_t to, int32_t t) const {
        if ((flags_[static_cast<std::size_t>(from)] & MOVE) == 0) return t;
        const auto it = move_.find(key(from, to));
        if (it == move_.end()) return t;
        const auto& v = it->second;
        for (auto p = std::lower_bound(v.begin(), v.end(), t); p != v.end() && *p == t; ++p) ++t;
        return t;
    }
    // From when `cell` is taken for ever (NEVER: it is not).
    int32_t reserved_from(int32_t cell) const {
        if ((flags_[static_cast<std::size_t>(cell)] & RESERVED) == 0) return NEVER;
        return reserved_.find(cell)->second;
    }
    // Whether any constraint names `cell` (as a cell: forbidden or reserved).
    bool constrained(int32_t cell) const { return (flags_[static_cast<std::size_t>(cell)] & (VERTEX | RESERVED)) != 0; }
    // The sorted times at which `cell` is forbidden.
    const std::vector<int32_t>& forbidden(int32_t cell) const {
        static const std::vector<int32_t> none;
        if ((flags_[static_cast<std::size_t>(cell)] & VERTEX) == 0) return none;
        return vertex_.find(cell)->second;
    }
    // At least the latest time step any constraint names (-1 when there
    // has been none): after it, nothing changes.
    int32_t last_change() const { return last_; }

    // The safe intervals of `cell`: the maximal runs of time steps at which
    // it is free, in order, the last one ending at NEVER unless reserved.
    template <class Fn>
    void safe_intervals(int32_t cell, Fn&& fn) const {
        const int32_t until = reserved_from(cell);  // free only before this
        int32_t begin = 0;
        for (int32_t t : forbidden(cell)) {
            if (t >= until) break;
            if (t > begin) fn(Interval{begin, t - 1});
            begin = t + 1;
        }
        if (until == NEVER) {
            if (begin < NEVER) fn(Interval{begin, NEVER});  // times end below NEVER
        }
        else if (until > begin)
            fn(Interval{begin, until - 1});
    }

private:
    static constexpr uint8_t VERTEX = 1, MOVE = 2, RESERVED = 4;

    static int64_t key(int32_t from, int32_t to) { return (static_cast<int64_t>(from) << 32) | static_cast<uint32_t>(to); }
    void check(int32_t cell, int32_t t) const {
        if (cell < 0 || cell >= cells())
            throw std::invalid_argument("cell index " + std::to_string(cell) + " lies outside the table's " +
                                        std::to_string(cells()) + " cells");
        if (t < 0 || t == NEVER) throw std::invalid_argument("time step " + std::to_string(t) + " is out of range");
    }
    void name(int32_t cell, uint8_t flag) { flags_[static_cast<std::size_t>(cell)] |= flag; }
    void mark_path(const std::vector<int32_t>& path, int32_t t0, bool on) {
        for (std::size_t k = 0; k < path.size(); ++k) {
            const int32_t t = t0 + static_cast<int32_t>(k);
            on ? forbid_cell(path[k], t) : allow_cell(path[k], t);
            if (k > 0 && path[k] != path[k - 1])
                on ? forbid_move(path[k], path[k - 1], t - 1) : allow_move(path[k], path[k - 1], t - 1);
        }
        if (!path.empty()) on ? reserve_from(path.back(), t0 + static_cast<int32_t>(path.size()) - 1) : unreserve(path.back());
    }
    bool erase(std::vector<int32_t>& v, int32_t t) {
        const auto p = std::lower_bound(v.begin(), v.end(), t);
        if (p == v.end() || *p != t) return false;
        v.erase(p);
        --count_;
        return true;
    }
    // Sorted insertion; false when t was there already.
    bool insert(std::vector<int32_t>& v, int32_t t) {
        const auto p = std::lower_bound(v.begin(), v.end(), t);
        if (p != v.end() && *p == t) return false;
        v.insert(p, t);
        ++count_;
        return true;
    }

    std::vector<uint8_t> flags_;
    std::unordered_map<int32_t, std::vector<int32_t>> vertex_;
    std::unordered_map<int64_t, std::vector<int32_t>> move_;
    std::unordered_map<int32_t, int32_t> reserved_;
    int64_t count_ = 0;
    int32_t last_ = -1;
};

}  // namespace gridsearch::mapf
