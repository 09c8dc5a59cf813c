// A multi-agent instance: the graph, each agent's start and goal (linear
// cell indices), checked, with each agent's distances to its goal.
#pragma once

#include <array>
#include <cstdint>
#include <random>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include "../base/grid.hpp"
#include "distances.hpp"
#include "graph.hpp"

namespace gridsearch::mapf {

// Deterministic random numbers on every platform: the standard fixes
// mt19937's sequence, not the distributions' algorithms, so these are our own.
class Random {
public:
    explicit Random(uint64_t seed) : mt_(static_cast<uint32_t>(seed ^ (seed >> 32))) {}
    uint32_t next() { return static_cast<uint32_t>(mt_()); }
    // Uniform in [0, n), n >= 1.
    uint32_t below(uint32_t n) { return static_cast<uint32_t>((uint64_t(next()) * n) >> 32); }
    // Uniform in [0, 1).
    double unit() { return double(next()) / 4294967296.0; }
    template <class T>
    void shuffle(std::vector<T>& v) {
        for (std::size_t k = v.size(); k > 1; --k) std::swap(v[k - 1], v[below(static_cast<uint32_t>(k))]);
    }
    template <class T, std::size_t N>
    void shuffle(std::array<T, N>& v, int n) {
        for (int k = n; k > 1; --k) std::swap(v[static_cast<std::size_t>(k - 1)], v[below(static_cast<uint32_t>(k))]);
    }

private:
    std::mt19937 mt_;
};

struct Instance {
    Graph graph;
    std::vector<int32_t> starts, goals;

    Instance(const Graph& g, std::vector<int32_t> s, std::vector<int32_t> t)
        : graph(g), starts(std::move(s)), goals(std::move(t)) {
        check();
    }
    std::size_t agents() const { return starts.size(); }

private:
    std::string where(int32_t c) const {
        return "(" + std::to_string(graph.row(c)) + ", " + std::to_string(graph.col(c)) + ")";
    }
    void check() const {
        if (starts.size() != goals.size())
            throw std::invalid_argument("starts and goals must have the same number of agents, got " +
                                        std::to_string(starts.size()) + " and " + std::to_string(goals.size()));
        for (const auto* ends : {&starts, &goals}) {
            const char* name = ends == &starts ? "start" : "goal";
            std::unordered_map<int32_t, std::size_t> first;
            for (std::size_t a = 0; a < ends->size(); ++a) {
                const int32_t c = (*ends)[a];
                if (c < 0 || c >= graph.cells())
                    throw std::invalid_argument("agent " + std::to_string(a) + "'s " + name + " lies outside the grid");
                if (!graph.free(c))
                    throw std::invalid_argument("agent " + std::to_string(a) + "'s " + name + " " + where(c) +
                                                " is blocked");
                const auto [it, fresh] = first.emplace(c, a);
                if (!fresh)
                    throw std::invalid_argument("agents " + std::to_string(it->second) + " and " + std::to_string(a) +
                                                " share the " + name + " " + where(c));
            }
        }
    }
};

}  // namespace gridsearch::mapf
