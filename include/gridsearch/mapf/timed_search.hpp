// One agent's plan in space and time on a planner grid, around what a
// reservation table forbids: the checks, then SIPP or A* over (time, cell).
// Both return the earliest arrival after which the agent can stay at the
// goal; their paths may differ where several are as early.
#pragma once

#include <stdexcept>
#include <string>

#include "../planner.hpp"
#include "sipp.hpp"
#include "space_time.hpp"

namespace gridsearch::mapf {

inline PlanResult<2> plan_in_time(const Grid<2>& grid, const Cell& start, const Cell& goal,
                                  const ReservationTable& table, const TimedOptions& o = {},
                                  const StopCheck& stop = {}) {
    const GridData<2>& data = grid.data();
    check_timed_grid(data);
    check_timed_options(o);
    grid.check_cell(start, "start");
    grid.check_cell(goal, "goal");
    if (table.cells() != data.count())
        throw std::invalid_argument("the reservation table has " + std::to_string(table.cells()) +
                                    " cells, the grid " + std::to_string(data.count()));
    const Graph g(data);
    const int32_t s = g.index(start.x, start.y), t = g.index(goal.x, goal.y);
    if (!g.free(s) || !g.free(t)) return timed_result(g, {}, 0, Status::no_path);
    Distances to_goal(g, t);
    if (o.algorithm == TimedAlgorithm::astar) return space_time_astar(g, s, t, table, o, to_goal, stop);
    return sipp(g, s, t, table, o, to_goal, stop);
}

}  // namespace gridsearch::mapf
