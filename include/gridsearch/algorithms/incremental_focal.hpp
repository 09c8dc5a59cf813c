// Focal search with FOCAL kept up to date incrementally, for the planner.
//
// Among the open entries with f <= w x f_min it expands the one with the
// least (key, f, g), as the focal search of the six functions does, but
// without draining OPEN each iteration: every live entry is in OPEN (ordered
// by f, for f_min) and in exactly one of FOCAL (f within the bound, ordered
// by (key, f, g)) and WAIT (f above the bound, ordered by f). f only grows
// along a path (the estimate is consistent), so f_min and with it the bound
// never fall; when the bound rises, the entries of WAIT that it now covers
// move to FOCAL. Every operation is a heap push or pop: O(log n) per entry.
// Stale entries (their cell was reached again more cheaply, or closed) are
// dropped when they reach a heap's top. Closed cells are never reopened.
#pragma once

#include <cstdint>
#include <vector>

#include "../memory/heap.hpp"
#include "../engine/nodes.hpp"
#include "best_first.hpp"

namespace gridsearch {

// How a bounded search ended.
enum class FocalEnd { found, exhausted, limit };

// Runs the search `search` (a Search of the skeleton, its start reached)
// with `term` the estimate h and key(at, term) the focal key of a cell. OPEN
// is a radix heap (its keys never fall below its least); WAIT a binary heap:
// its least key is read while it stays above the bound, and a radix heap
// would raise later, smaller keys to it. FOCAL is a binary heap.
// `limit`: expansions allowed (-1: no limit). The search's listener hears
// of each expansion. also_goal(index): more goals (see Search::step).
template <class Search, class Term, class Key, class Open, class Wait, class Focal, class AlsoGoal = NoMoreGoals>
FocalEnd incremental_focal(Search& search, const Term& term, const Key& key, double w, int64_t limit,
                           Open& open, Wait& wait, Focal& focal, const AlsoGoal& also_goal = {}) {
    open.clear();
    wait.clear();
    focal.clear();
    const At s = search.at_start();
    const double h0 = term(s);
    open.push(h0, search.start_entry());
    focal.push(FocalNode{s.i, search.start_entry().stamp, h0, 0.0, key(s, term)});
    double bound = w * h0;
    while (true) {
        while (!open.empty() && !search.live(search.at(open.top()), open.top())) open.pop();
        if (open.empty()) return FocalEnd::exhausted;
        const double raised = w * open.top_key();
        if (raised > bound) {
            bound = raised;
            while (!wait.empty() && wait.top_key() <= bound) {
                const Node e = wait.top();
                const double f = wait.top_key();
                wait.pop();
                const At a = search.at(e);
                const auto r = search.cells().ref(a);
                if (!search.live(r, e)) continue;
                focal.push(FocalNode{e.cell, e.stamp, f, search.g(r), key(a, term)});
            }
        }
        // Every live entry within the bound is in FOCAL, OPEN's top among
        // them, so a live entry comes up before FOCAL runs dry.
        FocalNode t;
        At c;
        do {
            if (focal.empty()) return FocalEnd::exhausted;
            t = focal.top();
            focal.pop();
            c = search.at(t.cell);
        } while (!search.live(c, t));
        if (limit >= 0 && search.expansions() >= limit) return FocalEnd::limit;
        if (search.expand(c)) return FocalEnd::found;
        if (also_goal(c.i)) {
            search.adopt_goal(c);
            return FocalEnd::found;
        }
        search.relax(c, t.g, [&](const Node& n, const At& a, double g) {
            const double f = g + term(a);
            open.push(f, n);
            if (f <= bound)
                focal.push(FocalNode{n.cell, n.stamp, f, g, key(a, term)});
            else
                wait.push(f, n);
        });
    }
}

}  // namespace gridsearch
