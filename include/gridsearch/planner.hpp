// The planner: one grid of per-cell costs, converted and checked once, with a
// move set and a step cost model, answering many queries.
//
//   gridsearch::Grid<2> g(gridsearch::MapRef{costs.data(), {rows, cols}},
//                         {8, /*corner_cutting=*/false, gridsearch::CostModel::mean});
//   auto r = g.astar({0, 0, 0}, {rows - 1, cols - 1, 0});
//   // r.path, r.cost, r.expansions, r.status, r.visited_data() (with opts.visited)
//
// Costs: a finite value >= 0 is a walkable cell with that cost, +inf a blocked
// one; a bool grid makes every walkable cell cost 1. A move of length L (1,
// sqrt 2, sqrt 3 by the axes it changes; 1 with uniform steps) from a to b
// costs L x cost[b] ("enter") or L x (cost[a] + cost[b]) / 2 ("mean").
// Invalid input throws std::invalid_argument (std::length_error for a grid
// over the cell limit); a stop check that answers true throws Interrupted.
#pragma once

#include <cmath>
#include <cstdint>
#include <algorithm>
#include <cstdio>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "algorithms/astar.hpp"
#include "algorithms/best_first.hpp"
#include "algorithms/dispatch.hpp"
#include "algorithms/estimates.hpp"
#include "algorithms/field.hpp"
#include "algorithms/incremental_focal.hpp"
#include "algorithms/jump_search.hpp"
#include "algorithms/options.hpp"
#include "base/grid.hpp"
#include "base/plan_result.hpp"
#include "base/result.hpp"
#include "base/stop.hpp"
#include "domain/cell_map.hpp"
#include "domain/cost_moves.hpp"
#include "domain/grid_data.hpp"
#include "domain/grid_options.hpp"
#include "domain/move_set.hpp"
#include "engine/batch.hpp"
#include "engine/search.hpp"
#include "memory/blocks.hpp"
#include "memory/workspace.hpp"

namespace gridsearch {

template <int Dim>
class Grid {
public:
    // A bool (byte) grid: nonzero = walkable, every walkable cell costs 1.
    Grid(const GridRef& walkable, const GridOptions& options = {}) : data_(walkable, options) {}
    // Per-cell costs: finite >= 0 walkable, +inf blocked; NaN or negative refused.
    Grid(const MapRef& costs, const GridOptions& options = {}) : data_(costs, options) {}

    // The grid the queries run on (read-only).
    const GridData<Dim>& data() const { return data_; }
    static double max_finite_cost(int64_t n) { return GridData<Dim>::max_finite_cost(n); }
    const std::array<int64_t, Dim>& shape() const { return data_.shape(); }
    // A copy of a per-cell map of this grid's shape, checked while copied
    // (numbers or +inf), for options of many searches; `name` names it.
    CellMap copy_map(const MapRef& m, const char* name) const { return CellMap(m, data_.shape().data(), Dim, name); }
    int connectivity() const { return data_.connectivity(); }
    const GridOptions& options() const { return data_.options(); }
    // The smallest cost of a walkable cell (+inf when none is walkable).
    double min_cost() const { return data_.min_cost(); }
    bool walkable(int64_t i) const { return data_.walkable(i); }
    double cost(int64_t i) const { return data_.cost(i); }
    void check_cell(const Cell& c, const char* name) const { data_.check_cell(c, name); }

    void check_options(const AstarOptions& o) const {
        if (!(o.w >= 1.0)) throw std::invalid_argument("w must be >= 1, got " + number(o.w));
        if (std::isnan(o.max_cost)) throw std::invalid_argument("max_cost must not be NaN");
        check_limit(o.max_expansions);
        if (o.heuristic) check_map(*o.heuristic, "heuristic");
        if (o.algorithm == Algorithm::jps) {
            if (const char* why = jump_refusal(o))
                throw std::invalid_argument(std::string("algorithm \"jps\" does not apply: ") + why);
        }
    }

    // Why jump point search cannot answer queries with these options (null
    // when it can): it finds the optimum of 2D grids whose walkable cells
    // all cost the same, with its own estimate.
    const char* jump_refusal(const AstarOptions& o) const {
        if (Dim != 2) return "jump point search runs on 2D grids";
        if (!data_.same_cost()) return "jump point search needs every walkable cell to cost the same";
        if (o.w != 1.0) return "jump point search finds the optimum; it takes w = 1";
        if (o.heuristic) return "jump point search uses its own estimate, not a heuristic map";
        return nullptr;
    }
    // Whether astar answers with jump point search (after check_options).
    bool use_jumps(const AstarOptions& o) const {
        return o.algorithm != Algorithm::astar && jump_refusal(o) == nullptr;
    }

    // A* from start to goal (optimal with w = 1 and no heuristic map, or an
    // admissible one). `workspace`: storage kept from call to call, one search
    // at a time; its `visited` flag is replaced by the options'.
    PlanResult<Dim> astar(const Cell& start, const Cell& goal, const AstarOptions& o = {},
                          const StopCheck& stop = {}, Workspace* workspace = nullptr) const {
        check_cell(start, "start");
        check_cell(goal, "goal");
        check_options(o);
        Workspace own;
        return search(start, goal, o, stop, workspace != nullptr ? *workspace : own);
    }

    // A* from start to the cheapest of several goals (the path ends at the
    // goal it reaches first, which with w = 1 is a cheapest one). Blocked
    // goals are ignored; with none left there is no path.
    PlanResult<Dim> astar(const Cell& start, const std::vector<Cell>& goals, const AstarOptions& o = {},
                          const StopCheck& stop = {}, Workspace* workspace = nullptr) const {
        check_cell(start, "start");
        if (goals.empty()) throw std::invalid_argument("goals must hold at least one cell");
        std::vector<Cell> open_goals;
        for (const Cell& t : goals) {
            check_cell(t, "goal");
            if (free_at(t)) open_goals.push_back(t);
        }
        check_options(o);
        if (o.algorithm == Algorithm::jps && goals.size() > 1)
            throw std::invalid_argument("algorithm \"jps\" does not apply: jump point search takes one goal");
        Workspace own;
        Workspace& ws = workspace != nullptr ? *workspace : own;
        if (open_goals.size() <= 1) return search(start, open_goals.empty() ? goals[0] : open_goals[0], o, stop, ws);
        return search_many(start, open_goals, o, stop, ws);
    }

    // Focal search: among the open cells with f <= w x f_min, expands the one
    // with the least (key, f, g); the path costs at most w x the optimum.
    // See incremental_focal.hpp.
    PlanResult<Dim> focal(const Cell& start, const Cell& goal, const FocalOptions& o = {},
                          const StopCheck& stop = {}, Workspace* workspace = nullptr) const {
        check_cell(start, "start");
        check_cell(goal, "goal");
        check_focal_options(o);
        Workspace own;
        return focal_search(start, goal, o, stop, workspace != nullptr ? *workspace : own);
    }

    // focal for every (start, goal) pair, on `threads` threads (see astar_batch).
    std::vector<PlanResult<Dim>> focal_batch(const std::vector<std::pair<Cell, Cell>>& queries,
                                             const FocalOptions& o = {}, unsigned threads = 1,
                                             const StopCheck& interrupted = {}) const {
        check_focal_options(o);
        FocalOptions each = o;
        each.order = nullptr;
        return for_pairs(queries, o.visited, threads, interrupted,
                         [&](const Cell& s, const Cell& t, const StopCheck& stop, Workspace& ws) {
                             return focal_search(s, t, each, stop, ws);
                         });
    }

    // astar for every (start, goal) pair, on `threads` threads (see run_batch),
    // the options checked once; every cell is checked before any search runs.
    // `interrupted`, asked by the calling thread every few milliseconds, stops
    // the batch with Interrupted when it answers true.
    std::vector<PlanResult<Dim>> astar_batch(const std::vector<std::pair<Cell, Cell>>& queries,
                                             const AstarOptions& o = {}, unsigned threads = 1,
                                             const StopCheck& interrupted = {}) const {
        check_options(o);
        return for_pairs(queries, o.visited, threads, interrupted,
                         [&](const Cell& s, const Cell& t, const StopCheck& stop, Workspace& ws) {
                             return search(s, t, o, stop, ws);
                         });
    }
    // The distance field of `origins` (see field.hpp) into `out`, one value per
    // cell in C order: the cost of the cheapest path from the nearest origin
    // to each cell (reverse: from each cell to its nearest origin), +inf where
    // none costs at most max_cost; 0 at the walkable origins. Blocked origins
    // are ignored. `workspace`: storage kept from call to call.
    void distance_field(const std::vector<Cell>& origins, double* out, const FieldOptions& o = {},
                        const StopCheck& stop = {}, Workspace* workspace = nullptr) const {
        check_field_options(o);
        if (out == nullptr) throw std::invalid_argument("out is null");
        const std::vector<int32_t> at = origin_indices(origins);
        Workspace own;
        fill_field(at, out, o, stop, workspace != nullptr ? *workspace : own);
    }
    std::vector<double> distance_field(const std::vector<Cell>& origins, const FieldOptions& o = {},
                                       const StopCheck& stop = {}) const {
        std::vector<double> out(static_cast<std::size_t>(data_.count()));
        distance_field(origins, out.data(), o, stop);
        return out;
    }

    // distance_field for every origin set, field k at out + k x cells, on
    // `threads` threads (see astar_batch).
    void distance_field_batch(const std::vector<std::vector<Cell>>& sets, double* out, const FieldOptions& o = {},
                              unsigned threads = 1, const StopCheck& interrupted = {}) const {
        check_field_options(o);
        if (out == nullptr && !sets.empty()) throw std::invalid_argument("out is null");
        std::vector<std::vector<int32_t>> at;
        at.reserve(sets.size());
        for (const auto& set : sets) at.push_back(origin_indices(set));
        run_batch(
            sets.size(), threads, false,
            [&](std::size_t i, Workspace& ws, const StopCheck& stop) {
                fill_field(at[i], out + i * static_cast<std::size_t>(data_.count()), o, stop, ws);
            },
            [&] { return interrupted && interrupted(); });
    }

    // The next cell from `from` down a reversed field (one value per cell
    // in C order, `field` holding the grid's cell count): the move that
    // minimises step cost + the value of the cell it enters, preferring a
    // cell of lower value, ties to the first in move order. Across a level
    // region (cells joined by moves that add nothing, such as zero-cost
    // cells) the move leads one hop nearer to where the region is left
    // downhill, so repeated steps always arrive. `from` itself when its value
    // is 0, it is blocked, or no move leads lower.
    Cell next_step(const double* field, const Cell& from, const StopCheck& stop = {}) const {
        check_cell(from, "cell");
        if (field == nullptr) throw std::invalid_argument("field is null");
        const int32_t i = data_.layout().index(from.x, from.y, from.z);
        if (!(field[i] > 0.0) || !data_.free_cells()[static_cast<std::size_t>(i)]) return from;
        const Coordinates<Dim> at(data_.layout());
        StopPoll poll(stop);
        const int32_t n = dispatch::moves<false>(data_, INF, [&](const auto& moves) {
            const Downhill d = downhill(data_.view(), moves, field, at(i));
            if (d.way == Way::down) return d.next;
            if (d.way != Way::flat) return int32_t(-1);
            const std::vector<int32_t> way = level_way(data_.view(), moves, field, at(i), poll);
            return way.empty() ? int32_t(-1) : way[0];
        });
        if (n < 0) return from;
        const At a = at(n);
        return {a.x, a.y, a.z};
    }
    Cell next_step(const std::vector<double>& field, const Cell& from) const {
        check_field_size(field.size());
        return next_step(field.data(), from);
    }

    // The path from `start` down a reversed field: next_step until a cell of
    // value 0. Throws std::invalid_argument when start's value is not finite
    // and >= 0, or the field does not lead down to 0 from start (a step
    // to no finite value, or to none lower). `stop` is asked every few
    // thousand steps.
    std::vector<Cell> descend(const double* field, const Cell& start, const StopCheck& stop = {}) const {
        check_cell(start, "start");
        if (field == nullptr) throw std::invalid_argument("field is null");
        int32_t i = data_.layout().index(start.x, start.y, start.z);
        if (!(field[i] >= 0.0 && field[i] < INF))
            throw std::invalid_argument("start " + cell_text(start) + " has field value " + number(field[i]) +
                                        "; it must be finite and >= 0");
        if (field[i] != 0.0 && !data_.free_cells()[static_cast<std::size_t>(i)])
            throw std::invalid_argument("start " + cell_text(start) + " is a blocked cell");
        std::vector<Cell> path{start};
        const Coordinates<Dim> at(data_.layout());
        StopPoll poll(stop);
        const auto add = [&](int32_t n) {
            // Values fall and level ways get shorter, so a correct field never
            // needs more steps than cells; more means it changed meanwhile.
            if (path.size() > static_cast<std::size_t>(data_.count()))
                throw std::invalid_argument("the field changed during the descent from start " + cell_text(start));
            const At a = at(n);
            path.push_back({a.x, a.y, a.z});
        };
        dispatch::moves<false>(data_, INF, [&](const auto& moves) {
            while (field[i] != 0.0) {
                poll.tick();
                const Downhill d = downhill(data_.view(), moves, field, at(i));
                if (d.way == Way::none)
                    throw std::invalid_argument("the field leads nowhere from " + cell_text(path.back()) +
                                                ": no move reaches a finite value");
                if (d.way == Way::up)
                    throw std::invalid_argument("the field does not lead down from " + cell_text(path.back()) +
                                                ": every move reaches a higher value (is it a field of this "
                                                "grid from distance_field(..., reverse=True)?)");
                if (d.way == Way::down) {
                    add(d.next);
                    i = d.next;
                    continue;
                }
                const std::vector<int32_t> way = level_way(data_.view(), moves, field, at(i), poll);
                if (way.empty())
                    throw std::invalid_argument("the field does not lead down from " + cell_text(path.back()) +
                                                ": it stays level and never leads lower");
                for (int32_t n : way) add(n);
                i = way.back();
            }
            return 0;
        });
        return path;
    }
    std::vector<Cell> descend(const std::vector<double>& field, const Cell& start) const {
        check_field_size(field.size());
        return descend(field.data(), start);
    }

private:
    // one(start, goal, stop, workspace) for every pair, on `threads` threads
    // (see run_batch), after every cell is checked.
    template <class One>
    std::vector<PlanResult<Dim>> for_pairs(const std::vector<std::pair<Cell, Cell>>& queries, bool visited,
                                           unsigned threads, const StopCheck& interrupted, One&& one) const {
        for (const auto& q : queries) {
            check_cell(q.first, "start");
            check_cell(q.second, "goal");
        }
        std::vector<PlanResult<Dim>> results(queries.size());
        run_batch(
            queries.size(), threads, visited,
            [&](std::size_t i, Workspace& ws, const StopCheck& stop) {
                results[i] = one(queries[i].first, queries[i].second, stop, ws);
            },
            [&] { return interrupted && interrupted(); });
        return results;
    }

    void check_field_size(std::size_t n) const {
        if (n != static_cast<std::size_t>(data_.count()))
            throw std::invalid_argument("field must hold one value per cell (" + std::to_string(data_.count()) +
                                        "), got " +
                                        std::to_string(n));
    }

    std::string cell_text(const Cell& c) const {
        const int64_t v[3] = {c.x, c.y, c.z};
        return planning::cell_text(v, Dim);
    }

    void check_focal_options(const FocalOptions& o) const {
        if (!(o.w >= 1.0) || o.w == INF) throw std::invalid_argument("w must be >= 1 and finite, got " + number(o.w));
        check_limit(o.max_expansions);
        if (o.key) check_map(*o.key, "key");
    }

    static void check_limit(int64_t max_expansions) {
        if (max_expansions < -1)
            throw std::invalid_argument("max_expansions must be >= 0, or -1 for no limit, got " +
                                        std::to_string(max_expansions));
    }

    // A per-cell map of the grid's shape, numbers or +inf; `name` names it.
    void check_map(const MapArg& m, const char* name) const { m.check(data_.shape().data(), Dim, name); }


    // focal after its checks.
    PlanResult<Dim> focal_search(const Cell& start, const Cell& goal, const FocalOptions& o, const StopCheck& stop,
                                 Workspace& ws) const {
        ws.visited = o.visited;
        if (!free_at(start) || !free_at(goal)) return unsearched(false, o.visited);
        const double* keys = o.key ? o.key->data() : nullptr;
        return dispatch::moves<false>(data_, INF, [&](const auto& moves) {
            using Moves = std::decay_t<decltype(moves)>;
            const planning::GoalTerm<Dim, Moves::fixed_count> term{data_.connectivity(), uniform_steps(), goal,
                                                                   data_.min_cost() == INF ? 0.0 : data_.min_cost()};
            const auto key = [keys](const At& a, const auto& h) { return keys != nullptr ? keys[a.i] : h(a); };
            auto run = [&](auto* cells_tag) {
                using Cells = std::remove_pointer_t<decltype(cells_tag)>;
                Search<Dim, Cells, Moves, ExpansionOrder> search(data_.view(), data_.count(), start, goal, moves, stop,
                                                                 &ws.cells, ExpansionOrder{o.order});
                const FocalEnd end = incremental_focal(search, term, key, o.w, o.max_expansions, ws.radix, ws.wait,
                                                       ws.focal);
                const Status status = end == FocalEnd::found   ? Status::found
                                      : end == FocalEnd::limit ? Status::max_expansions
                                                               : Status::no_path;
                return planned(search.finish(end == FocalEnd::found, ws.radix, o.visited), status);
            };
            return dispatch::storage<Dim>(data_.count(), run);
        });
    }

    void check_field_options(const FieldOptions& o) const {
        if (std::isnan(o.max_cost)) throw std::invalid_argument("max_cost must not be NaN");
    }

    std::vector<int32_t> origin_indices(const std::vector<Cell>& origins) const {
        std::vector<int32_t> at;
        at.reserve(origins.size());
        for (const Cell& c : origins) {
            check_cell(c, "origin");
            at.push_back(data_.layout().index(c.x, c.y, c.z));
        }
        return at;
    }

    void fill_field(const std::vector<int32_t>& origins, double* out, const FieldOptions& o, const StopCheck& stop,
                    Workspace& ws) const {
        // Filled in blocks with a stop check between them: a fresh field of
        // many cells takes a while to fault in.
        planning::in_blocks(data_.count(), int64_t(1) << 20, [&](int64_t begin, int64_t end) {
            if (begin != 0 && stop && stop()) throw Interrupted();
            std::fill(out + begin, out + end, INF);
        });
        if (o.max_cost < 0.0) return;
        ws.settled = data_.blocked_bits();
        auto grow = [&](auto moves) {
            grow_field(data_.view(), moves, origins, out, ws.settled.data(), ws.field, stop);
            return 0;
        };
        if (o.reverse)
            dispatch::moves<true>(data_, o.max_cost, grow);
        else
            dispatch::moves<false>(data_, o.max_cost, grow);
    }

    static std::string number(double v) { return GridData<Dim>::number(v); }
    bool free_at(const Cell& c) const { return data_.walkable(data_.layout().index(c.x, c.y, c.z)); }
    bool uniform_steps() const { return data_.options().use_uniform_step_cost; }

    // The result of a query that needs no search: an end blocked ("no_path"),
    // or, with both ends walkable, a negative cost limit ("max_cost").
    PlanResult<Dim> unsearched(bool ends_free, bool visited) const {
        return planned(blocked_result(data_.layout(), visited), ends_free ? Status::max_cost : Status::no_path);
    }

    // astar after its checks.
    PlanResult<Dim> search(const Cell& start, const Cell& goal, const AstarOptions& o, const StopCheck& stop,
                           Workspace& ws) const {
        ws.visited = o.visited;
        const bool ends_free = free_at(start) && free_at(goal);
        if (!ends_free || o.max_cost < 0.0) return unsearched(ends_free, o.visited);
        if constexpr (Dim == 2) {
            if (use_jumps(o)) return jump(start, goal, o, stop, ws);
        }
        return dispatch::moves<false>(data_, o.max_cost, [&](const auto& moves) {
            constexpr int Conn = std::decay_t<decltype(moves)>::fixed_count;
            if (o.heuristic) return by_storage(start, goal, o, moves, planning::map_term(o), stop, ws);
            const double scale = o.w * (data_.min_cost() == INF ? 0.0 : data_.min_cost());
            const planning::GoalTerm<Dim, Conn> term{data_.connectivity(), uniform_steps(), goal, scale};
            return by_storage(start, goal, o, moves, term, stop, ws);
        });
    }

    // astar by jump point search, after its checks.
    PlanResult<Dim> jump(const Cell& start, const Cell& goal, const AstarOptions& o, const StopCheck& stop,
                         Workspace& ws) const {
        return dispatch::jumps(data_, [&](auto conn, auto squeeze, auto table) {
            return dispatch::storage<2>(data_.count(), [&](auto* cells_tag) {
                using Cells = std::remove_pointer_t<decltype(cells_tag)>;
                return jump_search<decltype(conn)::value, decltype(squeeze)::value, decltype(table)::value, Cells>(
                    data_.view(), data_.count(), data_.jumps(), &data_.table(), data_.options().use_uniform_step_cost,
                    data_.min_cost(), start, goal, o, stop, ws);
            });
        });
    }

    // astar toward several walkable goals, after its checks.
    PlanResult<Dim> search_many(const Cell& start, const std::vector<Cell>& goals, const AstarOptions& o,
                                const StopCheck& stop, Workspace& ws) const {
        ws.visited = o.visited;
        std::vector<int32_t> at;
        Cell lo = goals[0], hi = goals[0];
        for (const Cell& t : goals) {
            at.push_back(data_.layout().index(t.x, t.y, t.z));
            lo = {std::min(lo.x, t.x), std::min(lo.y, t.y), std::min(lo.z, t.z)};
            hi = {std::max(hi.x, t.x), std::max(hi.y, t.y), std::max(hi.z, t.z)};
        }
        std::sort(at.begin(), at.end());
        const bool start_free = free_at(start);
        if (!start_free || o.max_cost < 0.0) return unsearched(start_free, o.visited);
        const auto is_goal = [&at](int32_t i) { return std::binary_search(at.begin(), at.end(), i); };
        return dispatch::moves<false>(data_, o.max_cost, [&](const auto& moves) {
            constexpr int Conn = std::decay_t<decltype(moves)>::fixed_count;
            if (o.heuristic)
                return by_storage(start, goals[0], o, moves, planning::map_term(o), stop, ws, is_goal);
            const double scale = o.w * (data_.min_cost() == INF ? 0.0 : data_.min_cost());
            const planning::GoalSetTerm<Dim, Conn> term{data_.connectivity(), uniform_steps(), &goals, lo, hi,
                                                        scale};
            return by_storage(start, goals[0], o, moves, term, stop, ws, is_goal);
        });
    }

    // The open list and per-cell storage for a search.
    // `also_goal`: see Search::step.
    template <class Moves, class Term, class AlsoGoal = NoMoreGoals>
    PlanResult<Dim> by_storage(const Cell& s, const Cell& t, const AstarOptions& o, const Moves& moves,
                               const Term& term, const StopCheck& stop, Workspace& ws,
                               const AlsoGoal& also_goal = {}) const {
        return dispatch::queue<Term>(o.w, ws, [&](auto& open) {
            return dispatch::storage<Dim>(data_.count(), [&](auto* cells_tag) {
                using Cells = std::remove_pointer_t<decltype(cells_tag)>;
                return loop<Cells>(s, t, o, moves, term, stop, ws, open, also_goal);
            });
        });
    }

    // Best-first by f = term + g, on the open list given (a binary heap, or a
    // radix heap when keys never decrease).
    template <class Cells, class Moves, class Term, class Open, class AlsoGoal>
    PlanResult<Dim> loop(const Cell& start, const Cell& goal, const AstarOptions& o, const Moves& moves,
                         const Term& term, const StopCheck& stop, Workspace& ws, Open& open,
                         const AlsoGoal& also_goal) const {
        Search<Dim, Cells, Moves> search(data_.view(), data_.count(), start, goal, moves, stop, &ws.cells);
        const RunEnd end = best_first(search, open, term, also_goal, ExpansionLimit{o.max_expansions});
        const Status status = status_of(end, search.moves().pruned);
        return planned(search.finish(status == Status::found, open, o.visited), status);
    }

    GridData<Dim> data_;
};

}  // namespace gridsearch
