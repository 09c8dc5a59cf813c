// Safe interval path planning (Phillips and Likhachev, 2011): a state is a
// cell with one of its safe intervals (a maximal run of time steps at which
// the reservation table leaves it free), its cost the earliest arrival in
// that interval. Arriving earlier never hurts, as the agent may wait inside
// the interval, so one state per interval replaces one per time step, and an
// unconstrained map has exactly one state per cell. A successor's arrival is
// the earliest time inside the neighbour's interval that the agent can leave
// before its own interval ends, by a move the table allows; the step's cost
// is the time it takes, waits included. The goal is its cell's last
// interval, when that one lasts for ever.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <stdexcept>
#include <unordered_map>
#include <vector>

#include "../algorithms/best_first.hpp"
#include "../engine/search.hpp"
#include "../memory/cells.hpp"
#include "../memory/heap.hpp"
#include "timed_options.hpp"

namespace gridsearch::mapf {

// The safe intervals of a grid under a table, as states. A cell's first
// interval is numbered by the cell's index; the others of a constrained cell
// follow the grid's cells, numbered as the search first meets the cell (its
// intervals are listed then, so a search pays only for the cells it
// reaches). At{i, row, col, k} for the k-th interval. Copies share the
// lists, as the search and its successor policy both hold one.
class IntervalSpace {
    struct List {
        int32_t begin, n, extra;  // intervals ivs[begin, begin + n); states of k >= 1 from cells + extra
    };
    struct Owner {
        int32_t cell, k;
    };
    struct Lists {
        std::vector<Interval> ivs;
        std::unordered_map<int32_t, List> of;
        std::vector<Owner> owner;
    };

public:
    IntervalSpace(const Graph& g, const ReservationTable& table)
        : graph_(g), table_(&table), lists_(std::make_shared<Lists>()) {
        if (int64_t(g.cells()) + table.size() > MAX_CELLS)
            throw std::length_error("too many constraints for 32-bit state numbers");
    }

    // At least the number of states (a cell's intervals exceed one by at
    // most its forbidden times).
    int32_t count() const { return static_cast<int32_t>(graph_.cells() + table_->size()); }

    // fn(state, interval) for each safe interval of `cell`, in time order,
    // while fn returns true.
    template <class Fn>
    void each_interval(int32_t cell, Fn&& fn) const {
        const List* l = list(cell);
        if (l == nullptr) {
            fn(cell, Interval{0, NEVER});
            return;
        }
        for (int32_t k = 0; k < l->n; ++k)
            if (!fn(state(cell, *l, k), lists_->ivs[static_cast<std::size_t>(l->begin + k)])) return;
    }
    // The state of `cell` whose interval holds time t (-1: none).
    int32_t state_at(int32_t cell, int32_t t) const {
        int32_t found = -1;
        each_interval(cell, [&](int32_t s, const Interval& iv) {
            if (iv.begin <= t && t <= iv.end) found = s;
            return found < 0 && iv.begin <= t;
        });
        return found;
    }
    // The state of `cell` whose interval lasts for ever (-1: none).
    int32_t last_state(int32_t cell) const {
        int32_t found = -1;
        each_interval(cell, [&](int32_t s, const Interval& iv) {
            if (iv.end == NEVER) found = s;
            return true;
        });
        return found;
    }

    int32_t cell_of(int32_t state) const {
        return state < graph_.cells() ? state : lists_->owner[static_cast<std::size_t>(state - graph_.cells())].cell;
    }
    Interval interval(int32_t state) const {
        const int32_t c = cell_of(state);
        const List* l = list(c);
        if (l == nullptr) return {0, NEVER};
        return lists_->ivs[static_cast<std::size_t>(l->begin + k_of(state))];
    }

    // The state space contract: (row, col, k) <-> state.
    int32_t index(const Cell& c) const {
        const int32_t cell = graph_.index(c.x, c.y);
        const List* l = list(cell);
        return l == nullptr ? cell : state(cell, *l, c.z);
    }
    At at(int32_t i) const {
        const int32_t c = cell_of(i);
        return {i, graph_.row(c), graph_.col(c), k_of(i)};
    }
    template <class ParentOf>
    std::vector<std::array<int32_t, 2>> path(int32_t start, int32_t goal, ParentOf&& parent_of) const {
        std::vector<std::array<int32_t, 2>> p;
        for (int32_t i = goal;; i = parent_of(i)) {
            const int32_t c = cell_of(i);
            p.push_back({graph_.row(c), graph_.col(c)});
            if (i == start) break;
        }
        std::reverse(p.begin(), p.end());
        return p;
    }

private:
    int32_t k_of(int32_t state) const {
        return state < graph_.cells() ? 0 : lists_->owner[static_cast<std::size_t>(state - graph_.cells())].k;
    }
    const List* list(int32_t cell) const {
        if (!table_->constrained(cell)) return nullptr;
        Lists& ls = *lists_;
        const auto it = ls.of.find(cell);
        if (it != ls.of.end()) return &it->second;
        const int32_t begin = static_cast<int32_t>(ls.ivs.size());
        table_->safe_intervals(cell, [&](const Interval& iv) { ls.ivs.push_back(iv); });
        const int32_t n = static_cast<int32_t>(ls.ivs.size()) - begin;
        const List l{begin, n, static_cast<int32_t>(ls.owner.size())};
        for (int32_t k = 1; k < n; ++k) ls.owner.push_back({cell, k});
        return &ls.of.emplace(cell, l).first->second;
    }
    int32_t state(int32_t cell, const List& l, int32_t k) const {
        return k == 0 ? cell : graph_.cells() + l.extra + k - 1;
    }

    Graph graph_;
    const ReservationTable* table_;
    std::shared_ptr<Lists> lists_;
};

// Successors of a safe-interval state reached at relative time g.
struct IntervalMoves {
    static constexpr bool with_cost = true;
    const Graph* graph;
    const ReservationTable* table;
    const IntervalSpace* space;
    Distances* to_goal;
    int32_t start_time;
    int64_t horizon;  // the latest arrival, relative to the start
    mutable bool pruned = false;

    template <class Fn>
    void operator()(const GridView<2>&, const At& c, double g, Fn&& fn) const {
        const int32_t u = space->cell_of(c.i);
        const Interval own = space->interval(c.i);
        const int64_t now = start_time + static_cast<int64_t>(g);
        // The latest arrival next door: one step after the last time here.
        const int64_t latest = own.end == NEVER ? std::numeric_limits<int64_t>::max() : int64_t(own.end) + 1;
        std::array<int32_t, 4> nb;
        const int k = graph->neighbors(u, nb);
        for (int j = 0; j < k; ++j) {
            const int32_t v = nb[j];
            if ((*to_goal)(v) == NEVER) continue;
            space->each_interval(v, [&](int32_t s, const Interval& iv) {
                if (iv.begin > latest) return false;
                const int64_t end = iv.end == NEVER ? std::numeric_limits<int64_t>::max() : iv.end;
                const int64_t lo = std::max<int64_t>(now + 1, iv.begin), hi = std::min(latest, end);
                if (lo > hi) return true;
                const int64_t t = int64_t(table->next_move(u, v, static_cast<int32_t>(lo - 1))) + 1;
                if (t > hi) return true;
                if (t - start_time > horizon) {
                    pruned = true;
                    return false;
                }
                const At a = space->at(s);
                fn(a.x, a.y, a.z, s, double(t - now));
                return true;
            });
        }
    }
    static constexpr bool admit(double) { return true; }
};

inline PlanResult<2> sipp(const Graph& g, int32_t s, int32_t goal, const ReservationTable& table,
                          const TimedOptions& o, Distances& to_goal, const StopCheck& stop = {}) {
    if (to_goal(s) == NEVER) return timed_result(g, {}, 0, Status::no_path);
    const IntervalSpace space(g, table);
    const int32_t first = space.state_at(s, o.start_time);
    const int32_t last = space.last_state(goal);
    if (first < 0 || last < 0) return timed_result(g, {}, 0, Status::no_path);
    // Arrivals end below NEVER and at MAX_PLAN_STEPS after the start.
    const int64_t horizon = std::min<int64_t>(
        {o.max_time >= 0 ? int64_t(o.max_time) - o.start_time : std::numeric_limits<int64_t>::max(), MAX_PLAN_STEPS,
         int64_t(NEVER) - 1 - o.start_time});

    GridView<2> view;
    view.rows = g.rows();
    view.cols = g.cols();
    view.shape[0] = g.rows();
    view.shape[1] = g.cols();
    const At a = space.at(first), b = space.at(last);
    const IntervalMoves moves{&g, &table, &space, &to_goal, o.start_time, horizon};
    const TimedEstimate h(to_goal, g.cells());
    const auto term = [&](const At& at) { return h(space.cell_of(at.i)); };
    Search<2, FlatCells<2>, IntervalMoves, NoListener, IntervalSpace> search(
        view, space.count(), {a.x, a.y, a.z}, {b.x, b.y, b.z}, moves, stop, nullptr, NoListener{}, space);
    FHeap<Node> open;
    const RunEnd end = best_first(search, open, term, NoMoreGoals{}, ExpansionLimit{o.max_expansions});
    // Without max_time only the plan length cap prunes; it is a limit too.
    const Status status = status_of(end, search.moves().pruned);
    std::vector<int32_t> path;
    if (status == Status::found) {
        // Each state's cell from its arrival on; the wait before a move
        // stays in the cell left.
        std::vector<std::pair<int32_t, int32_t>> chain;  // (cell, arrival)
        for (int32_t i = last; i != -1;) {
            const At at = space.at(i);
            chain.push_back({space.cell_of(i), static_cast<int32_t>(search.g(search.cells().ref(at)))});
            i = search.cells().parent(at);
        }
        std::reverse(chain.begin(), chain.end());
        for (std::size_t k = 0; k < chain.size(); ++k) {
            if (k > 0)
                while (static_cast<int32_t>(path.size()) < chain[k].second) path.push_back(chain[k - 1].first);
            path.push_back(chain[k].first);
        }
    }
    Result<2> r = search.finish(false, open, false);
    return timed_result(g, path, r.expansions, status);
}

}  // namespace gridsearch::mapf
