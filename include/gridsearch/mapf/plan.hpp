// A multi-agent plan as each agent's cells over time, and its costs: an
// agent's cost is the time step from which it stays at its goal; the sum of
// costs and the makespan (the largest) follow.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "pibt.hpp"

namespace gridsearch::mapf {

using Path = std::vector<int32_t>;  // cells at t = 0, 1, ...

// The time from which `path` stays at `goal` (the path ends there).
inline int64_t path_cost(const Path& path, int32_t goal) {
    std::size_t k = path.size();
    while (k > 1 && path[k - 2] == goal) --k;
    return static_cast<int64_t>(k) - 1;
}

// The path cut after the arrival from which it stays.
inline Path trimmed(Path path, int32_t goal) {
    path.resize(static_cast<std::size_t>(path_cost(path, goal)) + 1);
    return path;
}

// Configurations (one per time step) as one path per agent.
inline std::vector<Path> paths_of(const std::vector<Config>& steps, const std::vector<int32_t>& goals) {
    std::vector<Path> out(goals.size());
    for (std::size_t a = 0; a < goals.size(); ++a) {
        out[a].reserve(steps.size());
        for (const Config& q : steps) out[a].push_back(q[a]);
        out[a] = trimmed(std::move(out[a]), goals[a]);
    }
    return out;
}

inline int64_t sum_of_costs(const std::vector<Path>& paths, const std::vector<int32_t>& goals) {
    int64_t s = 0;
    for (std::size_t a = 0; a < paths.size(); ++a) s += path_cost(paths[a], goals[a]);
    return s;
}

}  // namespace gridsearch::mapf
