// Work over a grid-sized array in blocks (a stop check between them, say),
// with 64-bit indices: a count near the cell limit plus a block would
// overflow 32 bits.
#pragma once

#include <algorithm>
#include <cstdint>

namespace gridsearch::planning {

// Calls fn(begin, end) for consecutive ranges of at most `block` of the
// indices [0, count), in order (64-bit: count may be near the cell limit).
template <class Fn>
void in_blocks(int64_t count, int64_t block, Fn&& fn) {
    for (int64_t i = 0; i < count; i += block) fn(i, std::min(count, i + block));
}

}  // namespace gridsearch::planning
