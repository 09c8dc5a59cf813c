// Solving a multi-agent instance on a planner grid: the options, the
// solution, and the solvers behind one call.
//   lacam  LaCAM* with PIBT for a first plan, then better plans until the
//          time limit: LaCAM*'s own search and large neighbourhood search
//          take turns. Complete: "unsolvable" when the search runs out.
//   pibt   PIBT alone, one time step after the other: one plan, no search;
//          for very many agents. Not complete.
//   ecbs   bounded-suboptimal conflict-based search: a plan whose sum of
//          costs is at most `suboptimality` x the optimum.
//   cbs    conflict-based search: the least sum of costs. For small instances.
#pragma once

#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "../planner.hpp"
#include "cbs.hpp"
#include "lacam.hpp"
#include "plan.hpp"
#include "refine.hpp"
#include "timed_options.hpp"

namespace gridsearch::mapf {

enum class Solver { lacam, pibt, ecbs, cbs };
enum class SolveStatus { solved, timeout, unsolvable };

inline const char* solver_name(Solver s) {
    switch (s) {
        case Solver::lacam: return "lacam";
        case Solver::pibt: return "pibt";
        case Solver::ecbs: return "ecbs";
        default: return "cbs";
    }
}
inline const char* solve_status_name(SolveStatus s) {
    return s == SolveStatus::solved ? "solved" : s == SolveStatus::timeout ? "timeout" : "unsolvable";
}

struct SolveOptions {
    Solver algorithm = Solver::lacam;
    double time_limit = 10.0;      // seconds
    uint64_t seed = 0;
    double suboptimality = 1.2;    // w of "ecbs" (>= 1)
    int64_t max_iterations = -1;   // improvement steps after the first plan (-1: until the time limit)
    // Threads that grow the agents' distances as far as their starts before
    // the search (1: all on demand, on the search's thread); the plans do
    // not depend on it.
    unsigned threads = 1;
};

struct Solution {
    // paths[a][t]: agent a's linear cell at t = 0..T, the same length for
    // every agent (arrived agents repeated at their goals); empty without a plan.
    std::vector<Path> paths;
    SolveStatus status = SolveStatus::timeout;
    int64_t sum_of_costs = -1, makespan = -1, lower_bound = -1;
    double time_to_first_solution = -1.0;  // seconds (-1: none)
    Solver algorithm = Solver::lacam;
    int64_t iterations = 0;  // improvement steps taken
};

namespace detail {

inline Solution finish(std::vector<Path> paths, const Instance& in, Solution s) {
    s.sum_of_costs = sum_of_costs(paths, in.goals);
    s.makespan = 0;
    for (std::size_t a = 0; a < paths.size(); ++a) s.makespan = std::max(s.makespan, path_cost(paths[a], in.goals[a]));
    for (Path& p : paths) p.resize(static_cast<std::size_t>(s.makespan) + 1, p.back());
    s.paths = std::move(paths);
    s.status = SolveStatus::solved;
    return s;
}

}  // namespace detail

inline Solution solve(const Grid<2>& grid, const std::vector<Cell>& starts, const std::vector<Cell>& goals,
                      const SolveOptions& o = {}, const StopCheck& interrupted = {}) {
    using clock = std::chrono::steady_clock;
    const auto began = clock::now();
    const auto elapsed = [&] { return std::chrono::duration<double>(clock::now() - began).count(); };
    check_timed_grid(grid.data());
    if (!(o.time_limit >= 0.0)) throw std::invalid_argument("time_limit must be >= 0");
    if (o.algorithm == Solver::ecbs && !(o.suboptimality >= 1.0 && o.suboptimality < INF))
        throw std::invalid_argument("suboptimality must be >= 1 and finite");
    if (o.max_iterations < -1) throw std::invalid_argument("max_iterations must be >= 0 or -1 (no limit)");
    const Graph g(grid.data());
    std::vector<int32_t> s, t;
    for (std::size_t a = 0; a < starts.size(); ++a) {
        grid.check_cell(starts[a], ("agent " + std::to_string(a) + "'s start").c_str());
        s.push_back(g.index(starts[a].x, starts[a].y));
    }
    for (std::size_t a = 0; a < goals.size(); ++a) {
        grid.check_cell(goals[a], ("agent " + std::to_string(a) + "'s goal").c_str());
        t.push_back(g.index(goals[a].x, goals[a].y));
    }
    const Instance in(g, s, t);
    DistanceTable dist(g, in.goals);
    Solution out;
    StopPoll poll(interrupted);
    const auto out_of_time = [&] {
        poll.at(0);  // Ctrl-C, asked at every call (the callers call it every few steps)
        return elapsed() >= o.time_limit;
    };
    if (o.threads > 1 && !dist.grow_all(in.starts, o.threads, out_of_time)) return out;
    out.algorithm = o.algorithm;
    out.lower_bound = 0;
    for (std::size_t a = 0; a < in.agents(); ++a) {
        const int32_t d = dist(a, in.starts[a]);
        if (d == NEVER) {
            out.status = SolveStatus::unsolvable;
            out.lower_bound = -1;
            return out;
        }
        out.lower_bound += d;
    }

    if (o.algorithm == Solver::pibt) {
        Pibt pibt(in, dist, o.seed);
        std::vector<Config> steps{in.starts};
        std::vector<float> priority(in.agents());
        std::vector<int32_t> order(in.agents());
        int64_t longest = 0;
        for (std::size_t a = 0; a < in.agents(); ++a) longest = std::max<int64_t>(longest, dist(a, in.starts[a]));
        for (std::size_t a = 0; a < in.agents(); ++a)
            priority[a] = float(double(dist(a, in.starts[a])) / double(longest + 1));
        Config next;
        while (steps.back() != in.goals) {
            if (out_of_time()) return out;
            const Config& now = steps.back();
            for (std::size_t a = 0; a < in.agents(); ++a) {
                order[a] = static_cast<int32_t>(a);
                priority[a] = now[a] != in.goals[a] ? priority[a] + 1.0f : priority[a] - std::floor(priority[a]);
            }
            std::stable_sort(order.begin(), order.end(), [&](int32_t a, int32_t b) { return priority[a] > priority[b]; });
            pibt(now, order, {}, next);
            steps.push_back(next);
        }
        out.time_to_first_solution = elapsed();
        return detail::finish(paths_of(steps, in.goals), in, out);
    }

    if (o.algorithm == Solver::ecbs || o.algorithm == Solver::cbs) {
        Cbs cbs(in, dist, o.algorithm == Solver::cbs ? 1.0 : o.suboptimality);
        const Cbs::Step end = cbs.run(out_of_time, interrupted);
        if (end == Cbs::Step::exhausted) out.status = SolveStatus::unsolvable;
        if (end != Cbs::Step::solved) return out;
        out.time_to_first_solution = elapsed();
        out.lower_bound = std::max(out.lower_bound, cbs.bound());
        return detail::finish(cbs.plan(), in, out);
    }

    Lacam lacam(in, dist, o.seed);
    Lacam::Step step = lacam.run(out_of_time);
    if (step == Lacam::Step::exhausted && !lacam.found()) {
        out.status = SolveStatus::unsolvable;
        return out;
    }
    if (step == Lacam::Step::stopped) return out;
    out.time_to_first_solution = elapsed();
    Refiner refiner(in, dist, o.seed);
    refiner.set(paths_of(lacam.plan(), in.goals));
    // Turns: LaCAM* for a few thousand configurations, then large
    // neighbourhood search on the best plan for as long, and again.
    bool searching = step != Lacam::Step::exhausted;
    // Until the time or the iterations are up, or the plan meets the lower bound.
    while (o.max_iterations < 0 || out.iterations < o.max_iterations) {
        if (refiner.cost() == out.lower_bound || out_of_time()) break;
        ++out.iterations;
        if (searching && (out.iterations & 31) == 0) {
            uint32_t budget = 0;
            const auto slice = [&] { return ++budget > 4 || out_of_time(); };
            step = lacam.run(slice);
            if (step == Lacam::Step::exhausted) searching = false;
            if (step == Lacam::Step::improved) {
                std::vector<Path> found = paths_of(lacam.plan(), in.goals);
                if (sum_of_costs(found, in.goals) < refiner.cost()) refiner.set(std::move(found));
            }
            continue;
        }
        refiner.attempt(interrupted);
    }
    return detail::finish(refiner.paths(), in, out);
}

}  // namespace gridsearch::mapf
