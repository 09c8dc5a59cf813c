// The options of a single agent's search in space and time, the checks made
// before it runs, and what both searches share: the estimate (distance to the
// goal, ties to the state nearer the goal) and the result.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "../base/plan_result.hpp"
#include "../domain/grid_data.hpp"
#include "distances.hpp"
#include "graph.hpp"
#include "reservations.hpp"

namespace gridsearch::mapf {

enum class TimedAlgorithm { sipp, astar };

// The longest plan a search returns, in time steps (its path holds one cell
// a step): a longer one is not searched for, and the search says max_cost.
inline constexpr int64_t MAX_PLAN_STEPS = int64_t(1) << 26;

struct TimedOptions {
    TimedAlgorithm algorithm = TimedAlgorithm::sipp;
    int32_t start_time = 0;     // the time step at the start
    int32_t max_time = -1;      // the latest arrival at the goal (-1: none)
    int64_t max_expansions = -1;
};

// A grid multi-agent planning can move on: 2D, 4 neighbours, every walkable
// cell alike (time steps are the costs).
inline void check_timed_grid(const GridData<2>& g) {
    if (g.connectivity() != 4)
        throw std::invalid_argument("agents move to one of 4 neighbours or wait: build the Grid with connectivity=4, got " +
                                    std::to_string(g.connectivity()));
    if (!g.same_cost())
        throw std::invalid_argument(
            "every walkable cell must cost the same: a plan in space and time counts time steps, not cell costs");
}

inline void check_timed_options(const TimedOptions& o) {
    if (o.start_time < 0) throw std::invalid_argument("start_time must be >= 0, got " + std::to_string(o.start_time));
    if (o.max_time != -1 && o.max_time < o.start_time)
        throw std::invalid_argument("max_time must be >= start_time (" + std::to_string(o.start_time) + "), got " +
                                    std::to_string(o.max_time));
    if (o.max_expansions < -1)
        throw std::invalid_argument("max_expansions must be >= 0 or -1 (no limit), got " +
                                    std::to_string(o.max_expansions));
}

// f = g + h x (1 + eps), with eps x h below one step: among states of equal
// f, the one nearer the goal (the later one) comes first. Distances and times
// are whole steps, so the order by f itself is that of A*.
struct TimedEstimate {
    Distances* h;
    double scale;
    TimedEstimate(Distances& d, int32_t cells) : h(&d), scale(1.0 + 1.0 / (4.0 * (double(cells) + 1.0))) {}
    double operator()(int32_t cell) const { return double((*h)(cell)) * scale; }
};

// The result of a timed search: path[k] is the cell at start_time + k, the
// last one the goal, where the agent then stays; cost = len(path) - 1.
inline PlanResult<2> timed_result(const Graph& g, const std::vector<int32_t>& cells, int32_t expansions,
                                  Status status) {
    PlanResult<2> r;
    r.shape = {g.rows(), g.cols()};
    r.status = status;
    r.expansions = expansions;
    if (status == Status::found) {
        r.path.reserve(cells.size());
        for (int32_t c : cells) r.path.push_back({g.row(c), g.col(c)});
        r.cost = double(cells.size() - 1);
    }
    return r;
}

}  // namespace gridsearch::mapf
