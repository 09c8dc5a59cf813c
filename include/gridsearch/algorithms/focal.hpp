// Focal search: OPEN ordered by f = g + h, FOCAL (the open entries within
// w * f_min) ordered by (key, f, g). The key is the caller's map value or h.
// Expansion, relaxation and the result are those of every search here; what
// is focal's own is the second list and its refresh from OPEN.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "../memory/cells.hpp"
#include "../memory/heap.hpp"
#include "../domain/moves.hpp"
#include "../base/result.hpp"
#include "../engine/nodes.hpp"
#include "../engine/search.hpp"
#include "../base/stop.hpp"
#include "../memory/workspace.hpp"

namespace gridsearch {

template <int Dim, bool Uniform, class Cells>
Result<Dim> focal_loop(const GridView<Dim>& grid, int32_t count, const double* map, const Cell& start,
                       const Cell& goal, double w, const StopCheck& stop, Workspace* ws) {

    const GoalDistance<Dim, Uniform> h{goal.x, goal.y, goal.z};
    if (w < 1.0) w = 1.0;
    // w * f, except that an infinite w bounds nothing, even where f is 0.
    const bool unbounded = w == INF;
    auto bound_for = [&](double f) { return unbounded ? INF : w * f; };
    auto key_of = [&](const At& c, double hv) { return map != nullptr ? map[c.i] : hv; };

    Search<Dim, Cells> search(grid, count, start, goal, Uniform, stop, ws != nullptr ? &ws->cells : nullptr);
    Cells& cells = search.cells();
    Workspace own;
    Workspace& lists = ws != nullptr ? *ws : own;
    FHeap<Node>& open = lists.open;
    Heap<FocalNode, SinksByKey>& focal = lists.focal;
    std::vector<std::pair<double, Node>>& carry = lists.carry;
    open.clear();
    focal.clear();
    bool found = false;

    open.push(h(start.x, start.y, start.z), search.start_entry());
    while (true) {
        while (!open.empty() && !search.live(search.at(open.top()), open.top())) open.pop();

        double f_min, bound;
        if (open.empty()) {
            if (focal.empty()) break;
            f_min = INF;
            bound = bound_for(f_min);
        } else {
            f_min = open.top_f();
            bound = bound_for(f_min);
            carry.clear();
            while (!open.empty() && open.top_f() <= bound) {
                const double f = open.top_f();
                const Node e = open.top();
                open.pop();
                search.poll().tick();
                const At c = search.at(e);
                const auto r = cells.ref(c);
                if (!search.live(r, e)) continue;
                if (!(cells.state(r) & IN_FOCAL)) {
                    focal.push({e.cell, e.stamp, f, search.g(r), key_of(c, h(c.x, c.y, c.z))});
                    cells.set_in_focal(c);
                }
                carry.emplace_back(f, e);
            }
            for (const auto& [f, e] : carry) open.push(f, e);
            if (focal.empty()) break;
        }

        const FocalNode top = focal.top();
        focal.pop();
        const At c = search.at(top);
        cells.clear_in_focal(c);
        if (!search.live(c, top)) continue;
        if (search.expand(c)) {
            found = true;
            break;
        }
        search.relax(c, top.g, [&](const Node& e, const At& a, double g) {
            const double hn = h(a.x, a.y, a.z);
            const double f = g + hn;
            open.push(f, e);
            const double top_f = open.top_f();
            const double b = f_min > top_f ? bound_for(top_f) : bound;
            if (f <= b) {
                focal.push({e.cell, e.stamp, f, g, key_of(a, hn)});
                cells.set_in_focal(a);
            }
        });
    }
    return search.finish(found, open, lists.visited);
}

// The per-cell storage by grid size: flat below TILED_FROM cells, tiled above.
// With a workspace, flat storage is the workspace's.
template <int Dim, bool Uniform>
Result<Dim> run_focal(const GridView<Dim>& grid, const double* map, const Cell& start, const Cell& goal, double w,
                      const StopCheck& stop, Workspace* ws) {
    const int32_t count = cell_count(grid);
    if (count >= TILED_FROM)
        return focal_loop<Dim, Uniform, TiledCells<Dim>>(grid, count, map, start, goal, w, stop, ws);
    if (ws != nullptr) return focal_loop<Dim, Uniform, FlatCells<Dim, true>>(grid, count, map, start, goal, w, stop, ws);
    return focal_loop<Dim, Uniform, FlatCells<Dim>>(grid, count, map, start, goal, w, stop, ws);
}

}  // namespace gridsearch
