// Focal search in space and time, the low level of conflict-based search
// with a bound: among the states within w x f_min it expands the one whose
// path so far has the fewest conflicts with the other agents' paths (a
// conflict table), so the path it returns costs at most w x the optimum and
// avoids the others where it can. The planner's incremental focal driver
// over the stacked grid of space_time.hpp; the key of a state is read
// through its parent, set before the state is filed, so it follows the path.
#pragma once

#include <algorithm>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "../algorithms/incremental_focal.hpp"
#include "../memory/workspace.hpp"
#include "conflicts.hpp"
#include "space_time.hpp"

namespace gridsearch::mapf {

struct FocalPlan {
    Path path;           // empty: none
    int64_t cost = -1;   // len(path) - 1
    int64_t bound = -1;  // a lower bound on the least cost under the same constraints
    Status status = Status::no_path;
};

inline FocalPlan space_time_focal(const Graph& g, int32_t s, int32_t goal, const ReservationTable& table,
                                  const ConflictTable& others, double w, Distances& to_goal, Workspace& ws,
                                  const StopCheck& stop = {}) {
    FocalPlan out;
    const int32_t cells = g.cells();
    const Stacked k = stacked(g, s, goal, table, 0, -1, to_goal);
    if (k.refusal != Status::found) {
        out.status = k.refusal;
        return out;
    }
    const TimedMoves moves{&g, &table, &to_goal, 0, k.horizon};
    const auto term = [&](const At& a) { return double(to_goal(a.i - a.x * cells)); };
    const auto staying = [&](int32_t i) { return i / cells >= k.stay && i % cells == goal; };
    const auto run = [&](auto* tag) {
        using Cells = std::remove_pointer_t<decltype(tag)>;
        Search<3, Cells, TimedMoves> search(k.view, k.count, {0, g.row(s), g.col(s)},
                                            {k.stay, g.row(goal), g.col(goal)}, moves, stop);
        std::unordered_map<int32_t, int32_t> conflicts{{search.at_start().i, 0}};
        const auto key = [&](const At& a, const auto&) {
            const auto known = conflicts.find(a.i);
            if (known != conflicts.end()) return double(known->second);
            const int32_t p = search.cells().parent(a);
            const int32_t u = p - (p / cells) * cells, v = a.i - a.x * cells;
            const int32_t k = conflicts.at(p) + others.step(u, v, a.x - 1);
            conflicts.emplace(a.i, k);
            return double(k);
        };
        const FocalEnd end = incremental_focal(search, term, key, w, -1, ws.radix, ws.wait, ws.focal, staying);
        if (end == FocalEnd::found) {
            // The least f still open (read before finish() clears the
            // states), or the path's own cost.
            int64_t low = -1;
            while (!ws.radix.empty()) {
                const Node e = ws.radix.top();
                if (search.live(search.at(e), e)) {
                    low = static_cast<int64_t>(ws.radix.top_key());
                    break;
                }
                ws.radix.pop();
            }
            Result<3> r = search.finish(true, ws.radix, false);
            for (const auto& c : r.path) out.path.push_back(g.index(c[1], c[2]));
            out.cost = static_cast<int64_t>(out.path.size()) - 1;
            out.bound = low < 0 ? out.cost : std::min(low, out.cost);
            out.status = Status::found;
        } else {
            out.status = k.limited && search.moves().pruned ? Status::max_cost : Status::no_path;
            search.finish(false, ws.radix, false);
        }
    };
    stacked_storage(k.count, run);
    return out;
}

}  // namespace gridsearch::mapf
