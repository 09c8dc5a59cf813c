// Priority inheritance with backtracking (PIBT; Okumura et al., AIJ 2022) as
// a configuration generator: from the agents' cells at one time step, their
// cells at the next, every agent in priority order taking its best free
// neighbour (or staying) and pushing an agent in its way to move first; an
// agent that cannot move is backtracked and its pusher tries its next cell.
// Some agents may be fixed in advance (the constraints of LaCAM's low
// level). A step never puts two agents in one cell nor swaps two.
#pragma once

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "instance.hpp"

namespace gridsearch::mapf {

using Config = std::vector<int32_t>;  // each agent's cell

class Pibt {
public:
    Pibt(const Instance& instance, DistanceTable& dist, uint64_t seed)
        : in_(instance), dist_(dist), random_(seed), now_(static_cast<std::size_t>(instance.graph.cells()), -1),
          next_(static_cast<std::size_t>(instance.graph.cells()), -1) {}

    // to: the next configuration after `from`, agents taking turns by
    // `order`, the agents `fixed` (agent, cell) placed first. False when no
    // such configuration was found (to is then unspecified).
    bool operator()(const Config& from, const std::vector<int32_t>& order,
                    const std::vector<std::pair<int32_t, int32_t>>& fixed, Config& to) {
        const std::size_t n = from.size();
        to.assign(n, -1);
        from_ = &from;
        to_ = &to;
        for (std::size_t a = 0; a < n; ++a) now_[static_cast<std::size_t>(from[a])] = static_cast<int32_t>(a);
        bool ok = true;
        for (const auto& [a, v] : fixed) {
            const int32_t j = now_[static_cast<std::size_t>(v)];
            if (next_[static_cast<std::size_t>(v)] != -1 || (j != -1 && j != a && to[j] == from[a])) {
                ok = false;
                break;
            }
            to[a] = v;
            next_[static_cast<std::size_t>(v)] = a;
        }
        if (ok)
            for (int32_t a : order)
                if (to[a] == -1 && !push(a)) {
                    ok = false;
                    break;
                }
        for (std::size_t a = 0; a < n; ++a) {
            now_[static_cast<std::size_t>(from[a])] = -1;
            if (to[a] != -1) next_[static_cast<std::size_t>(to[a])] = -1;
        }
        return ok;
    }

private:
    bool push(int32_t i) {
        const Config& from = *from_;
        Config& to = *to_;
        const int32_t here = from[i];
        std::array<int32_t, 5> c;
        int k = in_.graph.neighbors(here, c.data());
        c[static_cast<std::size_t>(k++)] = here;
        random_.shuffle(c, k);
        // Nearest to the goal first; among equals, a cell nobody stands on.
        std::array<int64_t, 5> key;
        Distances& d = dist_.of(static_cast<std::size_t>(i));
        for (int m = 0; m < k; ++m)
            key[m] = int64_t(d(c[m])) * 2 + (now_[static_cast<std::size_t>(c[m])] != -1 && c[m] != here);
        for (int m = 1; m < k; ++m)
            for (int p = m; p > 0 && key[p] < key[p - 1]; --p) {
                std::swap(key[p], key[p - 1]);
                std::swap(c[p], c[p - 1]);
            }
        for (int m = 0; m < k; ++m) {
            const int32_t u = c[static_cast<std::size_t>(m)];
            if (next_[static_cast<std::size_t>(u)] != -1) continue;
            const int32_t j = now_[static_cast<std::size_t>(u)];
            if (j != -1 && j != i && to[j] == here) continue;  // a swap
            to[i] = u;
            next_[static_cast<std::size_t>(u)] = i;
            if (j != -1 && j != i && to[j] == -1 && !push(j)) continue;
            return true;
        }
        to[i] = here;
        next_[static_cast<std::size_t>(here)] = i;
        return false;
    }

    const Instance& in_;
    DistanceTable& dist_;
    Random random_;
    std::vector<int32_t> now_, next_;  // agent on each cell now / next (-1: none)
    const Config* from_ = nullptr;
    Config* to_ = nullptr;
};

}  // namespace gridsearch::mapf
