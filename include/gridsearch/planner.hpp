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
#include "algorithms/estimates.hpp"
#include "algorithms/field.hpp"
#include "algorithms/incremental_focal.hpp"
#include "algorithms/jump_search.hpp"
#include "algorithms/options.hpp"
#include "base/grid.hpp"
#include "base/plan_result.hpp"
#include "base/result.hpp"
#include "base/stop.hpp"
#include "domain/bit_rows.hpp"
#include "domain/cell_map.hpp"
#include "domain/jump_table.hpp"
#include "domain/cost_moves.hpp"
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
    Grid(const GridRef& walkable, const GridOptions& options = {}) : options_(options) {
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
    Grid(const MapRef& costs, const GridOptions& options = {}) : options_(options) {
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
    // A copy of a per-cell map of this grid's shape, checked while copied
    // (numbers or +inf), for options of many searches; `name` names it.
    CellMap copy_map(const MapRef& m, const char* name) const { return CellMap(m, shape_.data(), Dim, name); }
    int connectivity() const { return connectivity_; }
    const GridOptions& options() const { return options_; }
    // The smallest cost of a walkable cell (+inf when none is walkable).
    double min_cost() const { return min_cost_; }
    bool walkable(int64_t i) const { return free_[static_cast<std::size_t>(i)] != 0; }
    double cost(int64_t i) const { return cost_[static_cast<std::size_t>(i)]; }

    // Checks a cell of a query; `name` names it in the message.
    void check_cell(const Cell& c, const char* name) const {
        const int64_t v[3] = {c.x, c.y, c.z};
        for (int d = 0; d < Dim; ++d)
            if (v[d] < 0 || v[d] >= shape_[d])
                throw std::invalid_argument(std::string(name) + " " + planning::cell_text(v, Dim) +
                                            " lies outside the grid of shape " +
                                            planning::cell_text(shape_.data(), Dim));
    }

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
        if (!same_cost_) return "jump point search needs every walkable cell to cost the same";
        if (o.w != 1.0) return "jump point search finds the optimum; it takes w = 1";
        if (o.heuristic) return "jump point search uses its own estimate, not a heuristic map";
        return nullptr;
    }
    // Whether astar answers with jump point search (after check_options).
    bool jumps(const AstarOptions& o) const { return o.algorithm != Algorithm::astar && jump_refusal(o) == nullptr; }

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
            if (free_[static_cast<std::size_t>(view_.index(t.x, t.y, t.z))]) open_goals.push_back(t);
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
        std::vector<double> out(static_cast<std::size_t>(count_));
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
                fill_field(at[i], out + i * static_cast<std::size_t>(count_), o, stop, ws);
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
        const int32_t i = view_.index(from.x, from.y, from.z);
        if (!(field[i] > 0.0) || !free_[static_cast<std::size_t>(i)]) return from;
        const Coordinates<Dim> at(view_);
        StopPoll poll(stop);
        const int32_t n = with_moves<false>(INF, [&](const auto& moves) {
            const Downhill d = downhill(view(), moves, field, at(i));
            if (d.way == Way::down) return d.next;
            if (d.way != Way::flat) return int32_t(-1);
            const std::vector<int32_t> way = level_way(view(), moves, field, at(i), poll);
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
        int32_t i = view_.index(start.x, start.y, start.z);
        if (!(field[i] >= 0.0 && field[i] < INF))
            throw std::invalid_argument("start " + cell_text(start) + " has field value " + number(field[i]) +
                                        "; it must be finite and >= 0");
        if (field[i] != 0.0 && !free_[static_cast<std::size_t>(i)])
            throw std::invalid_argument("start " + cell_text(start) + " is a blocked cell");
        std::vector<Cell> path{start};
        const Coordinates<Dim> at(view_);
        StopPoll poll(stop);
        const auto add = [&](int32_t n) {
            // Values fall and level ways get shorter, so a correct field never
            // needs more steps than cells; more means it changed meanwhile.
            if (path.size() > static_cast<std::size_t>(count_))
                throw std::invalid_argument("the field changed during the descent from start " + cell_text(start));
            const At a = at(n);
            path.push_back({a.x, a.y, a.z});
        };
        with_moves<false>(INF, [&](const auto& moves) {
            while (field[i] != 0.0) {
                poll.tick();
                const Downhill d = downhill(view(), moves, field, at(i));
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
                const std::vector<int32_t> way = level_way(view(), moves, field, at(i), poll);
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
        if (n != static_cast<std::size_t>(count_))
            throw std::invalid_argument("field must hold one value per cell (" + std::to_string(count_) + "), got " +
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
    void check_map(const MapArg& m, const char* name) const { m.check(shape_.data(), Dim, name); }

    // The cell of a linear index, as text.
    std::string cell_at(int64_t i) const { return planning::index_text(i, shape_.data(), Dim); }

    // focal after its checks.
    PlanResult<Dim> focal_search(const Cell& start, const Cell& goal, const FocalOptions& o, const StopCheck& stop,
                                 Workspace& ws) const {
        ws.visited = o.visited;
        const int32_t s = view_.index(start.x, start.y, start.z), t = view_.index(goal.x, goal.y, goal.z);
        if (!free_[s] || !free_[t]) return unsearched(false, o.visited);
        const double* keys = o.key ? o.key->data() : nullptr;
        return with_moves<false>(INF, [&](const auto& moves) {
            using Moves = std::decay_t<decltype(moves)>;
            const planning::GoalTerm<Dim, Moves::fixed_count> term{connectivity_, options_.use_uniform_step_cost, goal,
                                                                   min_cost_ == INF ? 0.0 : min_cost_};
            const auto key = [keys](const At& a, const auto& h) { return keys != nullptr ? keys[a.i] : h(a); };
            auto run = [&](auto* cells_tag) {
                using Cells = std::remove_pointer_t<decltype(cells_tag)>;
                Search<Dim, Cells, Moves, ExpansionOrder> search(view(), count_, start, goal, moves, stop, &ws.cells,
                                                                 ExpansionOrder{o.order});
                const FocalEnd end = incremental_focal(search, term, key, o.w, o.max_expansions, ws.radix, ws.wait,
                                                       ws.focal);
                PlanResult<Dim> r;
                static_cast<Result<Dim>&>(r) = search.finish(end == FocalEnd::found, ws.radix, o.visited);
                r.status = end == FocalEnd::found ? Status::found
                           : end == FocalEnd::limit ? Status::max_expansions
                                                    : Status::no_path;
                return r;
            };
            if (count_ >= TILED_FROM) return run(static_cast<TiledCells<Dim>*>(nullptr));
            return run(static_cast<FlatCells<Dim, true>*>(nullptr));
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
            at.push_back(view_.index(c.x, c.y, c.z));
        }
        return at;
    }

    void fill_field(const std::vector<int32_t>& origins, double* out, const FieldOptions& o, const StopCheck& stop,
                    Workspace& ws) const {
        // Filled in blocks with a stop check between them: a fresh field of
        // many cells takes a while to fault in.
        planning::in_blocks(count_, int64_t(1) << 20, [&](int64_t begin, int64_t end) {
            if (begin != 0 && stop && stop()) throw Interrupted();
            std::fill(out + begin, out + end, INF);
        });
        if (o.max_cost < 0.0) return;
        ws.settled = blocked_bits_;
        auto grow = [&](auto moves) {
            grow_field(view(), moves, origins, out, ws.settled.data(), ws.field, stop);
            return 0;
        };
        if (o.reverse)
            with_moves<true>(o.max_cost, grow);
        else
            with_moves<false>(o.max_cost, grow);
    }

    // Calls fn(moves) with the move policy of this grid's connectivity, step
    // model and corner rule, the connectivity and model as template
    // parameters (no run-time branch on them in a loop). Reverse: the step
    // model seen from the other end.
    template <bool Reverse, class Fn>
    decltype(auto) with_moves(double max_cost, Fn&& fn) const {
        if constexpr (Dim == 2) {
            if (connectivity_ == 4) return by_steps<Reverse, 4>(max_cost, fn);
            return by_steps<Reverse, 8>(max_cost, fn);
        } else {
            // One instance for 6, 18 and 26 neighbours keeps the build small.
            return by_steps<Reverse, 0>(max_cost, fn);
        }
    }
    template <bool Reverse, int Conn, class Fn>
    decltype(auto) by_steps(double max_cost, Fn& fn) const {
        const bool no_corners = !options_.corner_cutting;
        if (unit_) return fn(CostMoves<Dim, UnitSteps, Conn>{&moves_, cost_.data(), max_cost, no_corners});
        if (options_.cost_model == CostModel::mean)
            return fn(CostMoves<Dim, MeanSteps, Conn>{&moves_, cost_.data(), max_cost, no_corners});
        using Enter = std::conditional_t<Reverse, Reversed<EnterSteps>, EnterSteps>;
        return fn(CostMoves<Dim, Enter, Conn>{&moves_, cost_.data(), max_cost, no_corners});
    }

    static std::string number(double v) {
        if (std::isnan(v)) return "nan";
        if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.17g", v);
        return buf;
    }

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

    // The grid view over this object's own cells (the stored view holds no
    // pointer, so copies and moves of a Grid stay independent).
    GridView<Dim> view() const {
        GridView<Dim> v = view_;
        v.cells = free_.data();
        return v;
    }

    // The result of a query that needs no search: an end blocked ("no_path"),
    // or, with both ends walkable, a negative cost limit ("max_cost").
    PlanResult<Dim> unsearched(bool ends_free, bool visited) const {
        PlanResult<Dim> r;
        static_cast<Result<Dim>&>(r) = blocked_result(view_, visited);
        r.status = ends_free ? Status::max_cost : Status::no_path;
        return r;
    }

    // astar after its checks.
    PlanResult<Dim> search(const Cell& start, const Cell& goal, const AstarOptions& o, const StopCheck& stop,
                           Workspace& ws) const {
        ws.visited = o.visited;
        const int32_t s = view_.index(start.x, start.y, start.z), t = view_.index(goal.x, goal.y, goal.z);
        if (!free_[s] || !free_[t] || o.max_cost < 0.0) return unsearched(free_[s] && free_[t], o.visited);
        if constexpr (Dim == 2) {
            if (jumps(o)) {
                if (connectivity_ == 4) return jump<4, false>(start, goal, o, stop, ws);
                if (options_.corner_cutting) return jump<8, true>(start, goal, o, stop, ws);
                return jump<8, false>(start, goal, o, stop, ws);
            }
        }
        return with_moves<false>(o.max_cost, [&](const auto& moves) {
            constexpr int Conn = std::decay_t<decltype(moves)>::fixed_count;
            if (o.heuristic) return by_storage(start, goal, o, moves, planning::map_term(o), stop, ws);
            const double scale = o.w * (min_cost_ == INF ? 0.0 : min_cost_);
            const planning::GoalTerm<Dim, Conn> term{connectivity_, options_.use_uniform_step_cost, goal, scale};
            return by_storage(start, goal, o, moves, term, stop, ws);
        });
    }

    // astar by jump point search, after its checks.
    template <int Conn, bool Squeeze>
    PlanResult<Dim> jump(const Cell& start, const Cell& goal, const AstarOptions& o, const StopCheck& stop,
                         Workspace& ws) const {
        const double c = min_cost_;
        const bool uniform = options_.use_uniform_step_cost;
        const JumpTable* t = &table_;
        if (!table_.empty()) {
            if (count_ >= TILED_FROM)
                return jump_search<Conn, Squeeze, true, TiledCells<2>>(view(), count_, jumps_, t, uniform, c, start,
                                                                       goal, o, stop, ws);
            return jump_search<Conn, Squeeze, true, FlatCells<2, true>>(view(), count_, jumps_, t, uniform, c, start,
                                                                        goal, o, stop, ws);
        }
        if (count_ >= TILED_FROM)
            return jump_search<Conn, Squeeze, false, TiledCells<2>>(view(), count_, jumps_, t, uniform, c, start, goal,
                                                                    o, stop, ws);
        return jump_search<Conn, Squeeze, false, FlatCells<2, true>>(view(), count_, jumps_, t, uniform, c, start,
                                                                     goal, o, stop, ws);
    }

    // astar toward several walkable goals, after its checks.
    PlanResult<Dim> search_many(const Cell& start, const std::vector<Cell>& goals, const AstarOptions& o,
                                const StopCheck& stop, Workspace& ws) const {
        ws.visited = o.visited;
        std::vector<int32_t> at;
        Cell lo = goals[0], hi = goals[0];
        for (const Cell& t : goals) {
            at.push_back(view_.index(t.x, t.y, t.z));
            lo = {std::min(lo.x, t.x), std::min(lo.y, t.y), std::min(lo.z, t.z)};
            hi = {std::max(hi.x, t.x), std::max(hi.y, t.y), std::max(hi.z, t.z)};
        }
        std::sort(at.begin(), at.end());
        const bool start_free = free_[static_cast<std::size_t>(view_.index(start.x, start.y, start.z))];
        if (!start_free || o.max_cost < 0.0) return unsearched(start_free, o.visited);
        const auto is_goal = [&at](int32_t i) { return std::binary_search(at.begin(), at.end(), i); };
        return with_moves<false>(o.max_cost, [&](const auto& moves) {
            constexpr int Conn = std::decay_t<decltype(moves)>::fixed_count;
            if (o.heuristic)
                return by_storage(start, goals[0], o, moves, planning::map_term(o), stop, ws, is_goal);
            const double scale = o.w * (min_cost_ == INF ? 0.0 : min_cost_);
            const planning::GoalSetTerm<Dim, Conn> term{connectivity_, options_.use_uniform_step_cost, &goals, lo, hi,
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
        if constexpr (planning::consistent_term<Term>) {
            if (o.w == 1.0) {
                if (count_ >= TILED_FROM)
                    return loop<TiledCells<Dim>>(s, t, o, moves, term, stop, ws, ws.radix, also_goal);
                return loop<FlatCells<Dim, true>>(s, t, o, moves, term, stop, ws, ws.radix, also_goal);
            }
        }
        if (count_ >= TILED_FROM) return loop<TiledCells<Dim>>(s, t, o, moves, term, stop, ws, ws.open, also_goal);
        return loop<FlatCells<Dim, true>>(s, t, o, moves, term, stop, ws, ws.open, also_goal);
    }

    // Best-first by f = term + g, on the open list given (a binary heap, or a
    // radix heap when keys never decrease).
    template <class Cells, class Moves, class Term, class Open, class AlsoGoal>
    PlanResult<Dim> loop(const Cell& start, const Cell& goal, const AstarOptions& o, const Moves& moves,
                         const Term& term, const StopCheck& stop, Workspace& ws, Open& open,
                         const AlsoGoal& also_goal) const {
        Search<Dim, Cells, Moves> search(view(), count_, start, goal, moves, stop, &ws.cells);
        const RunEnd end = best_first(search, open, term, also_goal, ExpansionLimit{o.max_expansions});
        Status status = end == RunEnd::found ? Status::found
                        : end == RunEnd::limit ? Status::max_expansions
                                               : Status::no_path;
        if (status == Status::no_path && search.moves().pruned) status = Status::max_cost;
        PlanResult<Dim> r;
        static_cast<Result<Dim>&>(r) = search.finish(status == Status::found, open, o.visited);
        r.status = status;
        return r;
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
