// Per-cell working state of one search.
//
// One state byte per cell lives in a zeroed block that becomes the visited map:
// bit 0 = closed, bit 1 = reached (cost and parent are valid), bit 2 = in
// FOCAL. The cost and parent arrays are left uninitialised and read only for
// reached cells, so a call pays only for the cells its search touches: no
// per-call fill of the whole grid, and untouched pages of a large grid are never
// mapped in. finish() clears every bit but "closed" on the reached cells, which
// leaves exactly the visited map.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include "zeroed.hpp"

namespace gridsearch {

inline constexpr uint8_t CLOSED = 1;
inline constexpr uint8_t REACHED = 2;
inline constexpr uint8_t IN_FOCAL = 4;

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

template <class T>
std::unique_ptr<T[], FreeDeleter> uninitialised(std::size_t n) {
    void* p = std::malloc(sizeof(T) * (n == 0 ? 1 : n));
    if (p == nullptr) throw std::bad_alloc();
    return std::unique_ptr<T[], FreeDeleter>(static_cast<T*>(p));
}

class CellState {
public:
    explicit CellState(int32_t cells)
        : state_block_(static_cast<std::size_t>(cells)),
          state_(state_block_.as<uint8_t>()),
          cost_(uninitialised<double>(static_cast<std::size_t>(cells))),
          parent_(uninitialised<int32_t>(static_cast<std::size_t>(cells))) {}

    uint8_t state(int32_t i) const { return state_[i]; }
    bool closed(int32_t i) const { return (state_[i] & CLOSED) != 0; }
    void close(int32_t i) { state_[i] |= CLOSED; }

    // Best known cost; valid only for reached cells (every cell with a heap entry).
    double g(int32_t i) const { return cost_[i]; }
    int32_t parent(int32_t i) const { return parent_[i]; }

    void reach(int32_t i, double g, int32_t parent) {
        if (!(state_[i] & REACHED)) {
            state_[i] |= REACHED;
            reached_.push_back(i);
        }
        cost_[i] = g;
        parent_[i] = parent;
    }

    bool in_focal(int32_t i) const { return (state_[i] & IN_FOCAL) != 0; }
    void set_in_focal(int32_t i) { state_[i] |= IN_FOCAL; }
    void clear_in_focal(int32_t i) { state_[i] &= static_cast<uint8_t>(~IN_FOCAL); }

    // Leaves only the closed flags and hands them over as the visited map.
    ZeroedBlock& finish() {
        for (int32_t i : reached_) state_[i] &= CLOSED;
        return state_block_;
    }

private:
    ZeroedBlock state_block_;
    uint8_t* state_;
    std::unique_ptr<double[], FreeDeleter> cost_;
    std::unique_ptr<int32_t[], FreeDeleter> parent_;
    std::vector<int32_t> reached_;
};

}  // namespace gridsearch
