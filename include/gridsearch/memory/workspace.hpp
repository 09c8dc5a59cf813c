// Working storage kept from search to search: the per-cell arrays (grids
// below TILED_FROM cells) and the lists. A search given a workspace leaves it
// ready for the next one and allocates nothing once the sizes are reached.
// One workspace serves one search at a time.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "cells.hpp"
#include "heap.hpp"
#include "../engine/nodes.hpp"

namespace gridsearch {

struct Workspace {
    // Whether results carry the visited map (one byte per cell, allocated per
    // result); without it a result's visited block is empty.
    bool visited = true;

    FlatStore cells;
    FHeap<Node> open;
    RadixHeap<Node> radix;  // the planner's open list for monotone keys
    FHeap<Node> wait;  // the planner's focal search: entries outside the bound
    RadixHeap<int32_t> field;  // the open list of distance fields
    std::vector<uint64_t> settled;  // a field's bits of settled (or blocked) cells
    Heap<FocalNode, SinksByKey> focal;  // FOCAL of both focal searches
    std::vector<std::pair<double, Node>> carry;
};

}  // namespace gridsearch
