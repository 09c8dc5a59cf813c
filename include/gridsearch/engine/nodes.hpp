// The records the open lists hold.
#pragma once

#include <cstdint>

namespace gridsearch {

// An open-list entry besides its priority f: the cell's linear index and its
// stamp, the cell's reach count at the push (see cells.hpp). 8 bytes in 2D
// and 3D alike.
struct Node {
    int32_t cell;
    uint32_t stamp;
};

// A FOCAL entry: the open entry's cell and stamp, with everything its order reads.
struct FocalNode {
    int32_t cell;
    uint32_t stamp;
    double f;
    double g;
    double key;
};

// FOCAL's order: lexicographic (key, f, g). A NaN key compares unequal and
// not greater, so neither entry sinks below the other.
struct SinksByKey {
    bool operator()(const FocalNode& a, const FocalNode& b) const {
        if (a.key != b.key) return a.key > b.key;
        if (a.f != b.f) return a.f > b.f;
        return a.g > b.g;
    }
};

}  // namespace gridsearch
