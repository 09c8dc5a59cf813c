// The one A* driver: best-first by f = term + g over a Search of the
// skeleton, until the goal (or a cell another goal test accepts) is
// expanded, the open list runs dry, or a limit policy says stop. The six
// functions run it without a limit (NoLimit compiles to nothing); the
// planner with an expansion limit.
#pragma once

#include <cstdint>

#include "../base/plan_result.hpp"
#include "../engine/contracts.hpp"

namespace gridsearch {

// How a best-first run ended.
enum class RunEnd { found, exhausted, limit };

// Limits, as policies: reached(expansions) is asked before each pop.
struct NoLimit {
    static constexpr bool reached(int32_t) { return false; }
};
struct ExpansionLimit {
    int64_t most;  // -1: no limit
    bool reached(int32_t expansions) const { return most >= 0 && expansions >= most; }
};

// A planner search's status from how its run ended; `pruned`: a cost limit
// refused a move, so a run that found nothing was stopped by the limit.
inline Status status_of(RunEnd end, bool pruned) {
    if (end == RunEnd::found) return Status::found;
    if (end == RunEnd::limit) return Status::max_expansions;
    return pruned ? Status::max_cost : Status::no_path;
}

// No goal but the search's own.
struct NoMoreGoals {
    constexpr bool operator()(int32_t) const { return false; }
};

// `open`: the open list (cleared here); `also_goal(index)`: more goals (see
// Search::step). A limit counts only while a live entry is left: with none,
// the search has proved the goal out of reach, which is `exhausted`.
template <class Search, class Open, class Term, class AlsoGoal = NoMoreGoals, class Limit = NoLimit>
RunEnd best_first(Search& search, Open& open, const Term& term, const AlsoGoal& also_goal = {},
                  const Limit& limit = {}) {
    static_assert(contracts::open_list<Open>, "Open must meet the queue contract (engine/contracts.hpp)");
    static_assert(contracts::term<Term>, "Term must meet the estimate contract (engine/contracts.hpp)");
    static_assert(contracts::limit<Limit>, "Limit must meet the limit contract (engine/contracts.hpp)");
    open.clear();
    open.push(term(search.at_start()), search.start_entry());
    while (!open.empty()) {
        if (limit.reached(search.expansions())) {
            while (!open.empty() && !search.live(search.at(open.top()), open.top())) open.pop();
            return open.empty() ? RunEnd::exhausted : RunEnd::limit;
        }
        if (search.step(open, term, also_goal)) return RunEnd::found;
    }
    return RunEnd::exhausted;
}

}  // namespace gridsearch
