// Jump point search's parts against cell-by-cell models: the bit-row jumps
// and the jump table on random grids of every shape and rule, stamps that
// saturate, the stop check inside long jumps, and the C++ API's algorithm
// option.
#include <gridsearch/planner.hpp>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "check.hpp"

namespace gs = gridsearch;

struct Model {
    int32_t rows, cols;
    std::vector<uint8_t> cells;
    bool free(int32_t x, int32_t y) const {
        return x >= 0 && y >= 0 && x < rows && y < cols && cells[static_cast<std::size_t>(x) * cols + y] != 0;
    }
    // A straight jump cell by cell: the distance to the first cell with a
    // forced neighbour (or the target column), 0 at a blocked cell first.
    int32_t jump(int32_t x, int32_t y, int d, bool squeeze, int32_t target) const {
        for (int32_t k = 1;; ++k) {
            const int32_t c = y + d * k;
            if (!free(x, c)) return 0;
            if (c == target) return k;
            for (int s = -1; s <= 1; s += 2) {
                if (squeeze ? (!free(x + s, c) && free(x + s, c + d)) : (free(x + s, c) && !free(x + s, c - d)))
                    return k;
            }
        }
    }
};

static Model random_model(std::mt19937& rng) {
    const int32_t shapes[][2] = {{1, 1}, {1, 200}, {200, 1}, {3, 64}, {5, 127}, {17, 129}, {64, 3}};
    Model m;
    if (rng() % 3 == 0) {
        const auto& s = shapes[rng() % 7];
        m.rows = s[0];
        m.cols = s[1];
    } else {
        m.rows = 1 + static_cast<int32_t>(rng() % 40);
        m.cols = 1 + static_cast<int32_t>(rng() % 300);
    }
    const unsigned density = rng() % 60;
    m.cells.resize(static_cast<std::size_t>(m.rows) * m.cols);
    for (auto& c : m.cells) c = rng() % 100 >= density;
    return m;
}

// BitRows::jump equals the cell-by-cell jump on every cell, both ways, both
// rules, with and without a target, across word and row boundaries.
static void bit_row_jumps() {
    std::mt19937 rng(1);
    for (int trial = 0; trial < 300; ++trial) {
        const Model m = random_model(rng);
        const gs::BitRows rows(m.rows, m.cols, [&](int32_t x, int32_t y) { return m.free(x, y); });
        for (int32_t x = 0; x < m.rows; ++x)
            for (int32_t y = 0; y < m.cols; ++y) {
                int32_t target = rng() % 4 == 0 ? static_cast<int32_t>(rng() % m.cols) : -1;
                if (target >= 0 && !m.free(x, target)) target = -1;  // a goal is walkable
                CHECK((rows.jump<1, true>(x, y, target) == m.jump(x, y, 1, true, target)));
                CHECK((rows.jump<-1, true>(x, y, target) == m.jump(x, y, -1, true, target)));
                CHECK((rows.jump<1, false>(x, y, target) == m.jump(x, y, 1, false, target)));
                CHECK((rows.jump<-1, false>(x, y, target) == m.jump(x, y, -1, false, target)));
                CHECK(rows.free(x, y) == m.free(x, y));
            }
        for (int32_t x = -1; x <= m.rows; ++x) CHECK(!rows.free(x, -1) && !rows.free(x, m.cols));
    }
}

// The jump table's straight entries equal the scanned jumps, as a distance
// to the stop or minus the walkable run.
static void jump_table() {
    std::mt19937 rng(2);
    for (int trial = 0; trial < 200; ++trial) {
        const Model m = random_model(rng);
        const gs::JumpGrid jg(m.rows, m.cols, [&](int32_t x, int32_t y) { return m.free(x, y); });
        const bool squeeze = rng() % 2 == 0;
        const gs::JumpTable t = squeeze ? gs::JumpTable::build<8, true>(jg, m.rows, m.cols)
                                        : gs::JumpTable::build<8, false>(jg, m.rows, m.cols);
        CHECK(t.bytes() == static_cast<std::size_t>(m.rows) * m.cols * 8 * sizeof(int32_t));
        for (int32_t x = 0; x < m.rows; ++x)
            for (int32_t y = 0; y < m.cols; ++y) {
                if (!m.free(x, y)) continue;
                for (int d = -1; d <= 1; d += 2) {
                    int32_t run = 0;
                    while (m.free(x, y + d * (run + 1))) ++run;
                    const int32_t k = m.jump(x, y, d, squeeze, -1);
                    CHECK(t.at(x * m.cols + y, gs::JumpTable::straight(1, d)) == (k != 0 ? k : -run));
                }
            }
    }
}

// A cell reached more often than the count bits hold keeps a stamp that its
// latest entry carries and the closed state never equals.
static void saturating_stamps() {
    const gs::GridView<2> view{};
    gs::FlatStore store;
    gs::Saturating<gs::FlatCells<2, true>> cells(view, 4, &store);
    const gs::At a{2, 0, 2, 0};
    uint8_t last = 0;
    for (int k = 0; k < 200; ++k) {
        last = cells.reach(cells.ref(a), a, 100.0 - k, k);
        CHECK(gs::stamp_of(cells.state(cells.ref(a))) == last && last != gs::CLOSED && last >= gs::PUSHED);
    }
    CHECK(last == gs::LAST_STAMP && cells.g(a) == 100.0 - 199 && cells.parent(a) == 199);
    cells.close(a);
    CHECK(cells.state(cells.ref(a)) == gs::CLOSED);
    struct Open {
        std::size_t size() const { return 0; }
        gs::Node at(std::size_t) const { return {}; }
    };
    cells.finish(Open{}, false);
}

// On an open grid a query walled off from the start expands few cells but
// jumps across the grid: the stop check is asked inside the jumps.
static void stops_inside_jumps() {
    for (int conn : {8, 4}) {
        const int32_t rows = conn == 8 ? 3000 : 6000, cols = conn == 8 ? 3000 : 200;
        std::vector<uint8_t> cells(static_cast<std::size_t>(rows) * cols, 1);
        for (int32_t i = rows - 3; i < rows; ++i)
            for (int32_t j = cols - 3; j < cols; ++j) cells[static_cast<std::size_t>(i) * cols + j] = 0;
        cells.back() = 1;
        const gs::Grid<2> g(gs::GridRef(cells.data(), {rows, cols}), {conn, false});
        gs::AstarOptions o;
        o.algorithm = gs::Algorithm::jps;
        const gs::Cell middle{rows / 2, cols / 2, 0}, corner{rows - 1, cols - 1, 0};
        const auto r = g.astar(middle, corner, o);
        CHECK(r.status == gs::Status::no_path && r.expansions < int32_t(gs::StopPoll::INTERVAL));
        const gs::StopCheck stop = [] { return true; };
        CHECK(error_of([&] { g.astar(middle, corner, o, stop); }) == "Search interrupted!");
    }
}

// The algorithm option: automatic takes jumps where they apply, jps is
// refused elsewhere with the reason, and a jump table is only built where
// it applies.
static void algorithm_option() {
    std::vector<uint8_t> walk(20 * 30, 1);
    for (int32_t i = 2; i < 18; ++i) walk[static_cast<std::size_t>(i) * 30 + 15] = 0;
    std::vector<double> costs(walk.size(), 2.0);
    costs[7] = 3.0;
    const gs::Grid<2> g(gs::GridRef(walk.data(), {20, 30}));
    const gs::Grid<2> tabled(gs::GridRef(walk.data(), {20, 30}), {8, true, gs::CostModel::enter, false, true});
    gs::AstarOptions a, j, p;
    a.algorithm = gs::Algorithm::astar;
    j.algorithm = gs::Algorithm::jps;
    const auto ra = g.astar({0, 0, 0}, {19, 29, 0}, a), rj = g.astar({0, 0, 0}, {19, 29, 0}, j);
    const auto rp = g.astar({0, 0, 0}, {19, 29, 0}, p), rt = tabled.astar({0, 0, 0}, {19, 29, 0}, j);
    CHECK(rj.expansions < ra.expansions && rp.expansions == rj.expansions && rp.path == rj.path);
    CHECK(rj.cost == ra.cost && rt.cost == ra.cost && rt.path.size() == rj.path.size());
    const gs::Grid<2> varied(gs::MapRef(costs.data(), {20, 30}));
    CHECK(varied.astar({0, 0, 0}, {19, 29, 0}, p).expansions == varied.astar({0, 0, 0}, {19, 29, 0}, a).expansions);
    CHECK(error_of([&] { varied.astar({0, 0, 0}, {19, 29, 0}, j); }) ==
          "algorithm \"jps\" does not apply: jump point search needs every walkable cell to cost the same");
    j.w = 2.0;
    CHECK(error_of([&] { g.astar({0, 0, 0}, {19, 29, 0}, j); }) ==
          "algorithm \"jps\" does not apply: jump point search finds the optimum; it takes w = 1");
    j.w = 1.0;
    CHECK(error_of([&] { g.astar({0, 0, 0}, std::vector<gs::Cell>{{19, 29, 0}, {5, 5, 0}}, j); }) ==
          "algorithm \"jps\" does not apply: jump point search takes one goal");
    std::vector<uint8_t> box(27, 1);
    const gs::Grid<3> cube(gs::GridRef(box.data(), {3, 3, 3}));
    CHECK(error_of([&] { cube.astar({0, 0, 0}, {2, 2, 2}, j); }) ==
          "algorithm \"jps\" does not apply: jump point search runs on 2D grids");
    CHECK(error_of([&] { gs::Grid<2>(gs::MapRef(costs.data(), {20, 30}), {8, true, gs::CostModel::enter, false, true}); })
              .find("precompute_jumps applies to 2D grids") == 0);
}

int main() {
    bit_row_jumps();
    jump_table();
    saturating_stamps();
    stops_inside_jumps();
    algorithm_option();
    return report("jump");
}
