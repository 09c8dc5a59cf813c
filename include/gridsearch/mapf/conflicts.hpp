// Conflicts between agents' paths: where two agents meet in a cell at one
// time step (a vertex conflict, also when one has parked at its goal), or
// swap cells between two steps (an edge conflict); and a table of the other
// agents' paths that counts the conflicts a new path would have, the focal
// key of conflict-based search's low level.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "plan.hpp"

namespace gridsearch::mapf {

// A path's cell at time t (its last cell from its end on).
inline int32_t at_time(const Path& p, int64_t t) {
    return p[static_cast<std::size_t>(std::min<int64_t>(t, static_cast<int64_t>(p.size()) - 1))];
}

struct Conflict {
    int32_t a = -1, b = -1;  // a < b; -1: none
    int32_t t = 0;           // vertex: the time; edge: the departure
    bool edge = false;
    int32_t cell = -1, other = -1;  // vertex: the cell; edge: a's move cell -> other
};

// Every pair of agents' conflicts: the number of conflicting pairs and the
// earliest conflict (ties: the lowest agents).
class ConflictFinder {
public:
    explicit ConflictFinder(int32_t cells) : cells_(cells) {}

    template <class PathOf>
    Conflict find(std::size_t n, PathOf&& path_of, int64_t* pairs) {
        occupied_.clear();
        int64_t horizon = 0;
        for (std::size_t a = 0; a < n; ++a) horizon = std::max<int64_t>(horizon, path_of(a).size());
        Conflict first;
        int64_t count = 0;
        const auto earlier = [&](const Conflict& c) {
            if (first.a < 0) return true;
            if (c.t != first.t) return c.t < first.t;
            return c.a != first.a ? c.a < first.a : c.b < first.b;
        };
        std::vector<std::pair<int32_t, int32_t>> seen;  // (a, b) pairs counted
        for (int64_t t = 0; t < horizon; ++t) {
            occupied_.clear();
            for (std::size_t a = 0; a < n; ++a) {
                const int32_t c = at_time(path_of(a), t);
                const auto [it, fresh] = occupied_.emplace(c, static_cast<int32_t>(a));
                if (!fresh) {
                    const Conflict k{it->second, static_cast<int32_t>(a), static_cast<int32_t>(t), false, c, -1};
                    note(k, seen, count);
                    if (earlier(k)) first = k;
                }
            }
            if (t == 0) continue;
            for (std::size_t a = 0; a < n; ++a) {
                const Path& p = path_of(a);
                const int32_t u = at_time(p, t - 1), v = at_time(p, t);
                if (u == v) continue;
                const auto it = occupied_.find(u);
                if (it == occupied_.end() || it->second == static_cast<int32_t>(a)) continue;
                const int32_t b = it->second;
                if (b < static_cast<int32_t>(a) && at_time(path_of(static_cast<std::size_t>(b)), t - 1) == v) {
                    const Conflict k{b, static_cast<int32_t>(a), static_cast<int32_t>(t - 1), true, v, u};
                    note(k, seen, count);
                    if (earlier(k)) first = k;
                }
            }
        }
        if (pairs != nullptr) *pairs = count;
        return first;
    }

private:
    static void note(const Conflict& k, std::vector<std::pair<int32_t, int32_t>>& seen, int64_t& count) {
        const std::pair<int32_t, int32_t> ab{k.a, k.b};
        if (std::find(seen.begin(), seen.end(), ab) == seen.end()) {
            seen.push_back(ab);
            ++count;
        }
    }

    int32_t cells_;
    std::unordered_map<int32_t, int32_t> occupied_;  // cell -> an agent there at the time looked at
};

// The other agents' paths as counts per (cell, time), for the conflicts a
// step would have: agents in the arrival cell at the arrival (parked ones
// included), and agents making the opposite move.
class ConflictTable {
public:
    explicit ConflictTable(int32_t cells) : cells_(cells) {}

    void add(const Path& p, int32_t agent) {
        for (std::size_t k = 0; k < p.size(); ++k) at_[key(p[k], static_cast<int64_t>(k))].push_back(agent);
        parked_[p.back()].push_back({static_cast<int32_t>(p.size()) - 1, agent});
        paths_.emplace(agent, &p);
    }

    // Conflicts of the step u at time t -> v at t + 1.
    int32_t step(int32_t u, int32_t v, int64_t t) const {
        int32_t n = 0;
        const auto it = at_.find(key(v, t + 1));
        if (it != at_.end()) n += static_cast<int32_t>(it->second.size());
        const auto park = parked_.find(v);
        if (park != parked_.end())
            for (const auto& [since, agent] : park->second) n += t + 1 > since;
        if (u != v) {
            const auto there = at_.find(key(v, t));
            if (there != at_.end())
                for (int32_t agent : there->second) {
                    const Path& p = *paths_.at(agent);
                    n += at_time(p, t + 1) == u;
                }
        }
        return n;
    }

private:
    int64_t key(int32_t cell, int64_t t) const { return t * cells_ + cell; }

    int32_t cells_;
    std::unordered_map<int64_t, std::vector<int32_t>> at_;
    std::unordered_map<int32_t, std::vector<std::pair<int32_t, int32_t>>> parked_;  // cell -> (since, agent)
    std::unordered_map<int32_t, const Path*> paths_;
};

}  // namespace gridsearch::mapf
