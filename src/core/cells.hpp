// Per-cell working state of one search: best cost, parent and closed flag.
//
// All three live in zeroed blocks, so only the cells a search touches cost
// anything. The encodings make all-zero bytes mean "cost +inf" and "no parent";
// the closed flags are one byte per cell and become the visited map as they are.
#pragma once

#include <cstdint>
#include <cstring>

#include "zeroed.hpp"

namespace gridsearch {

inline constexpr uint64_t INF_BITS = 0x7FF0000000000000ull;

inline uint64_t double_bits(double v) {
    uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

inline double bits_double(uint64_t b) {
    double v;
    std::memcpy(&v, &b, sizeof v);
    return v;
}

class CellState {
public:
    explicit CellState(int32_t cells)
        : cost_block_(sizeof(uint64_t) * static_cast<std::size_t>(cells)),
          parent_block_(sizeof(int32_t) * static_cast<std::size_t>(cells)),
          closed_block_(static_cast<std::size_t>(cells)),
          cost_(cost_block_.as<uint64_t>()),
          parent_(parent_block_.as<int32_t>()),
          closed_(closed_block_.as<uint8_t>()) {}

    double g(int32_t i) const { return bits_double(cost_[i] ^ INF_BITS); }
    void set_g(int32_t i, double v) { cost_[i] = double_bits(v) ^ INF_BITS; }
    int32_t parent(int32_t i) const { return parent_[i] - 1; }
    void set_parent(int32_t i, int32_t p) { parent_[i] = p + 1; }
    bool closed(int32_t i) const { return closed_[i] != 0; }
    void close(int32_t i) { closed_[i] = 1; }

    // The closed flags, handed over as the visited map.
    ZeroedBlock& closed_block() { return closed_block_; }

private:
    ZeroedBlock cost_block_;
    ZeroedBlock parent_block_;
    ZeroedBlock closed_block_;
    uint64_t* cost_;
    int32_t* parent_;
    uint8_t* closed_;
};

}  // namespace gridsearch
