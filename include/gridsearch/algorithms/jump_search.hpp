// The jump point search driver: the A* driver (best_first) over the skeleton
// with jumps for successors (domain/jump_moves.hpp), then the path between
// the jump points filled in and its cost summed move by move, as every
// search of the planner sums it (so that it equals the sum of its steps; it
// may differ in the last bits from A*'s, whose cheapest path may be another).
#pragma once

#include <cstdint>

#include "../base/grid.hpp"
#include "../base/plan_result.hpp"
#include "../base/stop.hpp"
#include "../domain/bit_rows.hpp"
#include "../domain/jump_moves.hpp"
#include "../engine/search.hpp"
#include "../memory/cells.hpp"
#include "../memory/workspace.hpp"
#include "best_first.hpp"
#include "estimates.hpp"
#include "options.hpp"

namespace gridsearch {

// One query on a grid whose walkable cells all cost `cost`; both ends are
// walkable. `uniform`: every move has length 1 (else diagonals sqrt 2).
// `table`: the grid's jump table (with Table), made for the same rule.
template <int Conn, bool Squeeze, bool Table, class Cells>
PlanResult<2> jump_search(const GridView<2>& view, int32_t count, const JumpGrid& jumps, const JumpTable* table,
                          bool uniform, double cost, const Cell& start, const Cell& goal, const AstarOptions& o,
                          const StopCheck& stop, Workspace& ws) {
    using Moves = JumpMoves<Conn, Squeeze, Table>;
    const double diagonal = uniform ? 1.0 : 1.4142135623730951;
    StopPoll poll(stop);
    const Moves moves(jumps, view.cols, goal, diagonal, cost, o.max_cost, &poll, table);
    Search<2, Saturating<Cells>, Moves> search(view, count, start, goal, moves, stop, &ws.cells);
    const planning::GoalTerm<2, Conn> term{Conn, uniform, goal, cost};
    const RunEnd end = best_first(search, ws.radix, term, NoMoreGoals{}, ExpansionLimit{o.max_expansions});
    const Status status = status_of(end, search.moves().pruned);
    PlanResult<2> r = planned(search.finish(status == Status::found, ws.radix, o.visited), status);
    if (status == Status::found) {
        r.path = fill_jumps(r.path, Conn);
        double g = 0.0;
        for (std::size_t k = 1; k < r.path.size(); ++k) {
            const bool straight = r.path[k][0] == r.path[k - 1][0] || r.path[k][1] == r.path[k - 1][1];
            g = g + (straight ? 1.0 : diagonal) * cost;
        }
        r.cost = g;
    }
    return r;
}

}  // namespace gridsearch
