// Per-cell working state of one search: a state byte, best cost, parent.
//
// State byte: bit 0 = closed, bit 1 = in FOCAL, bits 2-7 = how often the cell
// was reached (its cost improved and an open-list entry was pushed; at most
// once per neighbour, so at most 26 times). An open cell's cost only ever
// decreases, so an entry is live exactly when it is the cell's latest push:
// entries carry the count at their push (their stamp) instead of their cost,
// and the live test is one comparison with the state byte. A closed cell's
// state is CLOSED alone, which no stamp equals. Costs and parents are read
// only for reached cells, so neither layout fills anything per call: a call
// pays only for the cells its search touches.
//
// FlatCells (grids below TILED_FROM cells): one flag byte per cell in a zeroed
// block that becomes the visited map, and uninitialised cost and parent arrays
// indexed by the linear cell index. Closing a cell leaves "closed" as its only
// flag; every other reached cell still has an entry in the open list, so
// finish(open) clears their flags through it, which leaves exactly the visited
// map.
//
// TiledCells (larger grids): there, a compact region's cells lie on many rows
// far apart in memory, and every fresh page a search touches in a grid-sized
// array costs a page fault (two for a flag byte, read before it is written).
// So the grid is cut into tiles (32 x 32 in 2D, 8^3 in 3D, narrower along
// a short axis: see TileShape); a tile's flags,
// costs and parents are stored together, only for tiles holding a reached
// cell, in one growing heap block that the allocator recycles from call to
// call. A directory maps each tile of the grid to its storage (0 = none yet).
// finish() writes the closed cells into a fresh zeroed visited map, which is
// then only written, never read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "../base/grid.hpp"
#include "zeroed.hpp"

namespace gridsearch {

inline constexpr uint8_t CLOSED = 1;
inline constexpr uint8_t IN_FOCAL = 2;
inline constexpr uint8_t PUSHED = 4;  // one push in the count bits
inline constexpr uint8_t LAST_STAMP = 252;  // the count bits full

// The state without the FOCAL flag: an entry's stamp while it is live.
inline uint8_t stamp_of(uint8_t state) { return static_cast<uint8_t>(state & ~IN_FOCAL); }
// Reached and not closed; reached at all once closed bits are ruled out.
inline bool reached(uint8_t state) { return state >= PUSHED; }

// Grids from this many cells on use TiledCells.
inline constexpr int32_t TILED_FROM = int32_t(1) << 20;

// A cell by linear index and coordinates (z = 0 in 2D).
struct At {
    int32_t i, x, y, z;
};

// The coordinates of a linear cell index, by multiplication.
template <int Dim>
class Coordinates {
public:
    explicit Coordinates(const GridView<Dim>& g)
        : cols_(static_cast<uint32_t>(g.cols)),
          depth_(static_cast<uint32_t>(g.depth)),
          by_plane_(cols_ * depth_),
          by_depth_(depth_) {}

    At operator()(int32_t i) const {
        const uint32_t u = static_cast<uint32_t>(i);
        const uint32_t x = by_plane_(u);
        if constexpr (Dim == 2) {
            return {i, static_cast<int32_t>(x), static_cast<int32_t>(u - x * cols_), 0};
        } else {
            const uint32_t rest = u - x * cols_ * depth_;
            const uint32_t y = by_depth_(rest);
            return {i, static_cast<int32_t>(x), static_cast<int32_t>(y), static_cast<int32_t>(rest - y * depth_)};
        }
    }

private:
    uint32_t cols_, depth_;
    Divider by_plane_;  // x = i / (cols * depth)
    Divider by_depth_;  // y = (i mod (cols * depth)) / depth
};

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

template <class T>
std::unique_ptr<T[], FreeDeleter> uninitialised(std::size_t n) {
    void* p = std::malloc(sizeof(T) * (n == 0 ? 1 : n));
    if (p == nullptr) throw std::bad_alloc();
    return std::unique_ptr<T[], FreeDeleter>(static_cast<T*>(p));
}

// The arrays of a FlatCells: fresh for one call, or kept by a Workspace from
// query to query (then the state byte of every cell is 0 between queries).
struct FlatStore {
    ZeroedBlock state;
    std::unique_ptr<double[], FreeDeleter> cost;
    std::unique_ptr<int32_t[], FreeDeleter> parent;
    std::vector<int32_t> closed;  // cells closed by the current query, when kept
    int32_t cells = -1;

    void size_for(int32_t n) {
        if (cells == n) return;
        cells = -1;
        state = ZeroedBlock(static_cast<std::size_t>(n));
        cost = uninitialised<double>(static_cast<std::size_t>(n));
        parent = uninitialised<int32_t>(static_cast<std::size_t>(n));
        cells = n;
    }
};

// Kept = true: the arrays belong to a workspace and are left zeroed for the
// next query; closed cells are listed so that they can be cleared.
template <int Dim, bool Kept = false>
class FlatCells {
public:
    FlatCells(const GridView<Dim>&, int32_t cells, FlatStore* kept = nullptr) : store_(Kept ? *kept : own_) {
        store_.size_for(cells);
        state_ = store_.state.template as<uint8_t>();
        cost_ = store_.cost.get();
        parent_ = store_.parent.get();
        if (Kept) store_.closed.clear();
    }
    FlatCells(const FlatCells&) = delete;
    FlatCells& operator=(const FlatCells&) = delete;
    // A kept store left behind by an exception is not zeroed: reallocate it next time.
    ~FlatCells() {
        if (Kept && !finished_) store_.cells = -1;
    }

    // A neighbour's slot, looked up once for the state/cost/reach sequence.
    using Ref = int32_t;
    Ref ref(const At& a) const { return a.i; }
    uint8_t state(Ref r) const { return state_[r]; }
    double g(Ref r) const { return cost_[r]; }
    // Records an improved cost (clearing the FOCAL flag); returns the new stamp.
    uint8_t reach(Ref r, const At&, double g, int32_t parent) {
        const uint8_t st = static_cast<uint8_t>(stamp_of(state_[r]) + PUSHED);
        state_[r] = st;
        cost_[r] = g;
        parent_[r] = parent;
        return st;
    }
    // As reach, but a cell reached more often than the count holds keeps
    // its last stamp (see Saturating).
    uint8_t reach_saturating(Ref r, const At& a, double g, int32_t parent) {
        if (stamp_of(state_[r]) != LAST_STAMP) return reach(r, a, g, parent);
        state_[r] = LAST_STAMP;
        cost_[r] = g;
        parent_[r] = parent;
        return LAST_STAMP;
    }

    void close(Ref r, const At&) {
        state_[r] = CLOSED;
        if (Kept) store_.closed.push_back(r);
    }
    void close(const At& a) { close(a.i, a); }

    // Best known cost; valid only for reached cells (every cell with a heap entry).
    double g(const At& a) const { return cost_[a.i]; }
    int32_t parent(const At& a) const { return parent_[a.i]; }

    uint8_t reach(const At& a, double g, int32_t parent) { return reach(a.i, a, g, parent); }

    void set_in_focal(const At& a) { state_[a.i] |= IN_FOCAL; }
    void clear_in_focal(const At& a) { state_[a.i] &= static_cast<uint8_t>(~IN_FOCAL); }

    // The visited map (empty unless `visited`, which a fresh store always is).
    // `open` holds an entry for every reached cell that is not closed, so
    // clearing its cells leaves only the closed flags: a fresh store's state
    // block then is the visited map; a kept one is cleared for the next query.
    template <class Open>
    ZeroedBlock finish(const Open& open, bool visited = true) {
        for (std::size_t k = 0; k < open.size(); ++k) state_[open.at(k).cell] &= CLOSED;
        ZeroedBlock out;
        if (Kept) {
            if (visited) {
                out = ZeroedBlock(store_.state.size());
                bool* v = out.as<bool>();
                for (int32_t i : store_.closed) v[i] = true;
            }
            for (int32_t i : store_.closed) state_[i] = 0;
            store_.closed.clear();
        }
#ifdef GRIDSEARCH_CHECKED
        // Every reached cell that is not closed must have had an open-list entry.
        const std::size_t n = store_.state.size();
        for (std::size_t i = 0; i < n; ++i)
            if (state_[i] & (Kept ? 0xFF : ~CLOSED)) {
                std::fprintf(stderr, "gridsearch: cell %zu reached but neither closed nor in the open list\n", i);
                std::abort();
            }
#endif
        if (!Kept) out = std::move(store_.state);
        finished_ = true;
        return out;
    }

private:
    FlatStore own_;
    FlatStore& store_;
    uint8_t* state_;
    double* cost_;
    int32_t* parent_;
    bool finished_ = false;
};

// The tile shape of a grid: log2 of the tile's extent along each axis.
// Tiles hold at most 2^10 cells in 2D (32 x 32) and 2^9 in 3D (8^3); on a
// thin grid the bits of an axis too short for its share go to the others,
// so that a tile never extends far past the grid and its cells are touched
// together (a (1, n) grid has 1 x 1024 tiles, not 32 x 32 ones of which one
// row is used).
template <int Dim>
struct TileShape {
    static constexpr int BITS = Dim == 2 ? 10 : 9;
    int shift[3] = {0, 0, 0};

    explicit TileShape(const int32_t* extent) {
        int need[3] = {0, 0, 0};  // bits that cover each axis
        for (int d = 0; d < Dim; ++d)
            while (need[d] < 31 && (int64_t(1) << need[d]) < extent[d]) ++need[d];
        // One bit at a time to the axes in turn, skipping those already covered.
        for (int left = BITS, d = 0, idle = 0; left > 0 && idle < Dim; d = (d + 1) % Dim) {
            if (shift[d] < need[d]) {
                ++shift[d];
                --left;
                idle = 0;
            } else {
                ++idle;
            }
        }
    }
};

template <int Dim>
class TiledCells {
    static constexpr int32_t PER_TILE = int32_t(1) << TileShape<Dim>::BITS;

    struct Tile {
        double g[PER_TILE];
        int32_t parent[PER_TILE];
        uint8_t state[PER_TILE];
    };

public:
    TiledCells(const GridView<Dim>& grid, int32_t cells, FlatStore* = nullptr) : cells_(cells) {
        const int32_t e[3] = {grid.rows, grid.cols, grid.depth};
        const TileShape<Dim> tiles(e);
        for (int d = 0; d < 3; ++d) {
            shift_[d] = d < Dim ? tiles.shift[d] : 0;
            mask_[d] = (int32_t(1) << shift_[d]) - 1;
            along_[d] = d < Dim ? tiles_along(e[d], d) : 1;
        }
        directory_ = ZeroedBlock(static_cast<std::size_t>(along_[0]) * static_cast<std::size_t>(along_[1]) *
                                 static_cast<std::size_t>(along_[2]) * sizeof(uint32_t));
        slots_ = directory_.as<uint32_t>();
    }
    TiledCells(const TiledCells&) = delete;
    TiledCells& operator=(const TiledCells&) = delete;
    ~TiledCells() { std::free(tiles_); }

    // A neighbour's tile number (0 if none yet) and place in it, looked up once
    // for the state/cost/reach sequence. A number, not a pointer, so that a
    // Ref stays valid when a new tile moves the storage.
    struct Ref {
        uint32_t tile;
        int32_t o;
    };
    Ref ref(const At& a) const { return {slots_[slot(a)], offset(a)}; }
    uint8_t state(Ref r) const { return r.tile == 0 ? 0 : tiles_[r.tile - 1].state[r.o]; }
    double g(Ref r) const { return tiles_[r.tile - 1].g[r.o]; }
    uint8_t reach(Ref r, const At& a, double g, int32_t parent) {
        if (r.tile == 0) {
            r.tile = new_tile();
            slots_[slot(a)] = r.tile;
        }
        Tile& t = tiles_[r.tile - 1];
        const uint8_t st = static_cast<uint8_t>(stamp_of(t.state[r.o]) + PUSHED);
        t.state[r.o] = st;
        t.g[r.o] = g;
        t.parent[r.o] = parent;
        return st;
    }
    uint8_t reach_saturating(Ref r, const At& a, double g, int32_t parent) {
        if (state(r) == 0 || stamp_of(state(r)) != LAST_STAMP) return reach(r, a, g, parent);
        Tile& t = tiles_[r.tile - 1];
        t.state[r.o] = LAST_STAMP;
        t.g[r.o] = g;
        t.parent[r.o] = parent;
        return LAST_STAMP;
    }

    void close(Ref r, const At& a) {
        tiles_[r.tile - 1].state[r.o] = CLOSED;
        closed_.push_back(a.i);
    }
    void close(const At& a) { close(ref(a), a); }

    double g(const At& a) const { return tile(a).g[offset(a)]; }
    int32_t parent(const At& a) const { return tile(a).parent[offset(a)]; }

    uint8_t reach(const At& a, double g, int32_t parent) { return reach(ref(a), a, g, parent); }

    void set_in_focal(const At& a) { tile(a).state[offset(a)] |= IN_FOCAL; }
    void clear_in_focal(const At& a) { tile(a).state[offset(a)] &= static_cast<uint8_t>(~IN_FOCAL); }

    template <class Open>
    ZeroedBlock finish(const Open&, bool want = true) {
        if (!want) return ZeroedBlock();
        ZeroedBlock visited(static_cast<std::size_t>(cells_));
        bool* out = visited.as<bool>();
        for (int32_t i : closed_) out[i] = true;
        return visited;
    }

    // Tiles holding a reached cell (each of sizeof(Tile) bytes).
    std::size_t tiles_used() const { return used_; }
    static constexpr std::size_t tile_bytes() { return sizeof(Tile); }

private:
    int32_t tiles_along(int32_t extent, int d) const {
        return (extent >> shift_[d]) + ((extent & mask_[d]) != 0);
    }

    std::size_t slot(const At& a) const {
        std::size_t s = static_cast<std::size_t>(a.x >> shift_[0]) * static_cast<std::size_t>(along_[1]) +
                        static_cast<std::size_t>(a.y >> shift_[1]);
        if (Dim == 3) s = s * static_cast<std::size_t>(along_[2]) + static_cast<std::size_t>(a.z >> shift_[2]);
        return s;
    }

    int32_t offset(const At& a) const {
        if (Dim == 2) return ((a.x & mask_[0]) << shift_[1]) | (a.y & mask_[1]);
        return ((a.x & mask_[0]) << (shift_[1] + shift_[2])) | ((a.y & mask_[1]) << shift_[2]) | (a.z & mask_[2]);
    }

    // The tile of a reached cell.
    Tile& tile(const At& a) const { return tiles_[slots_[slot(a)] - 1]; }

    uint32_t new_tile() {
        if (used_ == capacity_) {
            const std::size_t grown = capacity_ == 0 ? 4 : 2 * capacity_;
            void* p = std::realloc(tiles_, grown * sizeof(Tile));
            if (p == nullptr) throw std::bad_alloc();
            tiles_ = static_cast<Tile*>(p);
            capacity_ = grown;
        }
        std::memset(tiles_[used_].state, 0, sizeof(Tile::state));
        return static_cast<uint32_t>(++used_);
    }

    int32_t cells_;
    int shift_[3];
    int32_t mask_[3];
    int32_t along_[3];  // tiles along each axis
    ZeroedBlock directory_;
    uint32_t* slots_ = nullptr;
    Tile* tiles_ = nullptr;
    std::size_t used_ = 0;
    std::size_t capacity_ = 0;
    std::vector<int32_t> closed_;
};

// Per-cell state for searches that may improve a cell's cost more often
// than the count bits hold (the count is bounded by a cell's neighbours only
// when successors are neighbours; a jump point is reached from afar). At the
// last count the stamp stays: the cell's older entries then pass for live as
// well, which best-first search tolerates, since they carry higher keys than
// the latest one, which comes first and closes the cell with its best cost.
template <class Base>
class Saturating : public Base {
public:
    using Base::Base;
    using Ref = typename Base::Ref;
    uint8_t reach(Ref r, const At& a, double g, int32_t parent) { return Base::reach_saturating(r, a, g, parent); }
    uint8_t reach(const At& a, double g, int32_t parent) { return reach(Base::ref(a), a, g, parent); }
};

}  // namespace gridsearch
