// The options of the planner's queries: A*, focal search, distance fields.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "../base/result.hpp"
#include "../domain/cell_map.hpp"

namespace gridsearch {

// How astar searches: jump point search wherever it finds the same optimum
// (automatic), always A*, or jump point search (refused where it does not apply).
enum class Algorithm { automatic, astar, jps };

struct AstarOptions {
    double w = 1.0;                      // f = g + w h, w >= 1
    std::optional<MapArg> heuristic;     // per-cell h instead of the built-in estimate
    double max_cost = INF;               // cells costing more to reach are not searched
    int64_t max_expansions = -1;         // stop after this many expansions (-1: no limit)
    bool visited = false;                // return the map of expanded cells
    Algorithm algorithm = Algorithm::automatic;
};

struct FocalOptions {
    double w = 1.0;                     // the bound: f <= w x f_min, w >= 1
    std::optional<MapArg> key;          // per-cell focal key (else h)
    int64_t max_expansions = -1;        // stop after this many expansions (-1: no limit)
    bool visited = false;               // return the map of expanded cells
    std::vector<int32_t>* order = nullptr;  // when set, receives the expanded cells in order
};

struct FieldOptions {
    bool reverse = false;  // costs from every cell to the origins (else from the origins)
    double max_cost = INF;  // cells costing more are left at +inf
};

}  // namespace gridsearch
