// The planner's C++ API against hostile input: signed zeros, level regions,
// huge costs, limits, index arithmetic near the cell limit, thin grids, null
// and out-of-range arguments.
#include <gridsearch/planner.hpp>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "check.hpp"

namespace gs = gridsearch;

static bool same(const gs::PlanResult<2>& a, const gs::PlanResult<2>& b) {
    return a.path == b.path && a.cost == b.cost && a.expansions == b.expansions && a.status == b.status;
}

// A cost of -0.0 is the cost 0: every search gives the +0.0 grid's result.
static void signed_zero_costs() {
    uint64_t state = 12345;
    const auto next = [&] {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(state >> 11) / 9007199254740992.0;
    };
    const double levels[4] = {-0.0, 0.105, 0.693, 1.609};  // -log(1.0) is -0.0
    std::vector<double> neg(30 * 30), pos(30 * 30);
    for (std::size_t i = 0; i < neg.size(); ++i) {
        neg[i] = levels[static_cast<int>(next() * 4)];
        pos[i] = neg[i] + 0.0;
    }
    const gs::Grid<2> a(gs::MapRef{neg.data(), {30, 30}}), b(gs::MapRef{pos.data(), {30, 30}});
    CHECK(!std::signbit(a.min_cost()));
    const gs::Cell s{0, 0, 0}, t{29, 29, 0};
    CHECK(same(a.astar(s, t), b.astar(s, t)));
    CHECK(a.astar(s, t).expansions > 100);  // the search is not cut short
    gs::FocalOptions f;
    f.w = 1.5;
    CHECK(same(a.focal(s, t, f), b.focal(s, t, f)) && a.focal(s, t, f).status == gs::Status::found);
    const std::vector<gs::Cell> goals{{29, 0, 0}, {0, 29, 0}, {29, 29, 0}};
    CHECK(same(a.astar(s, goals), b.astar(s, goals)));
    CHECK(a.distance_field({s}) == b.distance_field({s}));
    // The radix heap on its own: a key of -0.0 ranks as 0.
    gs::RadixHeap<int> heap;
    heap.push(-0.0, 1);
    heap.push(0.5, 2);
    heap.push(0.25, 3);
    CHECK(heap.top() == 1);
    heap.pop();
    CHECK(heap.top() == 3);
    heap.pop();
    CHECK(heap.top() == 2 && heap.top_key() == 0.5);
}

// Descending a correct field always arrives, across zero-cost plateaus too.
static void level_regions() {
    const std::vector<double> strip{1.0, 0.0, 0.0, 1.0};
    const gs::Grid<2> g(gs::MapRef{strip.data(), {1, 4}});
    gs::FieldOptions back;
    back.reverse = true;
    const auto field = g.distance_field({{0, 3, 0}}, back);
    CHECK((field == std::vector<double>{1.0, 1.0, 1.0, 0.0}));
    CHECK(g.next_step(field, {0, 1, 0}).y == 2 && g.next_step(field, {0, 2, 0}).y == 3);
    const auto path = g.descend(field, {0, 0, 0});
    CHECK(path.size() == 4 && path.back().y == 3);
    // A zero-cost room entered from one side: every agent reaches the exit.
    std::vector<double> room(9 * 9, 0.0);
    for (int y = 0; y < 9; ++y) room[y] = 1.0;
    const gs::Grid<2> r(gs::MapRef{room.data(), {9, 9}});
    const auto rf = r.distance_field({{0, 4, 0}}, back);
    for (int x = 0; x < 9; ++x)
        for (int y = 0; y < 9; ++y) {
            const auto p = r.descend(rf, {x, y, 0});
            CHECK(p.back().x == 0 && p.back().y == 4 && p.size() <= 10);
            gs::Cell c{x, y, 0};
            int steps = 0;
            while (rf[static_cast<std::size_t>(c.x * 9 + c.y)] != 0.0 && steps < 100) {
                c = r.next_step(rf, c);
                ++steps;
            }
            CHECK(steps == static_cast<int>(p.size()) - 1);
        }
    // A field that never decreases fails at once; a level one without a way down too.
    const std::vector<double> ones(16, 1.0);
    const gs::Grid<2> open(gs::MapRef{ones.data(), {4, 4}});
    CHECK(error_of([&] { open.descend(ones, {1, 1, 0}); }).find("the field does not lead down from (1, 1): every") ==
          0);
    const std::vector<double> zeros(16, 0.0);
    const gs::Grid<2> flat(gs::MapRef{zeros.data(), {4, 4}});
    CHECK(error_of([&] { flat.descend(ones, {1, 1, 0}); }) ==
          "the field does not lead down from (1, 1): it stays level and never leads lower");
    CHECK(flat.next_step(ones, {1, 1, 0}).x == 1 && flat.next_step(ones, {1, 1, 0}).y == 1);
}

// Costs so large that a path's sum would overflow are refused; limits agree.
static void huge_costs_and_limits() {
    const std::vector<double> huge(3, 1e308);
    gs::GridOptions mean;
    mean.cost_model = gs::CostModel::mean;
    CHECK(error_of([&] { gs::Grid<2>(gs::MapRef{huge.data(), {1, 3}}, mean); }) ==
          "cell (0, 0) costs 1e+308; on a grid of 3 cells a finite cost must be at most "
          "2.9961552247705263e+307, so that no path's cost overflows");
    const std::vector<double> fine(3, gs::Grid<2>::max_finite_cost(3));
    for (auto model : {gs::CostModel::enter, gs::CostModel::mean}) {
        gs::GridOptions o;
        o.cost_model = model;
        const gs::Grid<2> g(gs::MapRef{fine.data(), {1, 3}}, o);
        const auto r = g.astar({0, 0, 0}, {0, 2, 0});
        CHECK(r.status == gs::Status::found && r.cost < gs::INF);
        CHECK(g.distance_field({{0, 0, 0}})[2] < gs::INF);
    }
    // 18 reachable cells and a limit of exactly 18: the goal is proved out of reach.
    std::vector<double> walled(36, 1.0);
    for (int y = 0; y < 6; ++y) walled[3 * 6 + y] = gs::INF;
    const gs::Grid<2> g(gs::MapRef{walled.data(), {6, 6}});
    gs::AstarOptions a;
    a.algorithm = gs::Algorithm::astar;  // counts A*'s expansions
    gs::FocalOptions f;
    for (int64_t limit : {18, 17}) {
        a.max_expansions = f.max_expansions = limit;
        const auto want = limit == 18 ? gs::Status::no_path : gs::Status::max_expansions;
        CHECK(g.astar({0, 0, 0}, {5, 5, 0}, a).status == want);
        CHECK(g.focal({0, 0, 0}, {5, 5, 0}, f).status == want);
        CHECK(g.astar({0, 0, 0}, std::vector<gs::Cell>{{5, 5, 0}, {4, 0, 0}}, a).status == want);
    }
}

// Index arithmetic near the cell limit, checked without allocating such a grid.
static void near_the_cell_limit() {
    const int64_t count = std::numeric_limits<int32_t>::max();
    int64_t covered = 0, last = -1, blocks = 0;
    bool in_order = true;
    gs::planning::in_blocks(count, int64_t(1) << 20, [&](int64_t begin, int64_t end) {
        in_order = in_order && begin == covered && end > begin && end <= count;
        covered = end;
        last = end;
        ++blocks;
    });
    CHECK(in_order && covered == count && last == count && blocks == 2048);
    // Tiles fit the grid's shape: at most 2^10 (2D) or 2^9 (3D) cells, none
    // extending past a short axis.
    const int32_t thin[3] = {1, 1 << 24, 1};
    const gs::TileShape<2> t2(thin);
    CHECK(t2.shift[0] == 0 && t2.shift[1] == 10);
    const int32_t square[3] = {4096, 4096, 1};
    const gs::TileShape<2> sq(square);
    CHECK(sq.shift[0] == 5 && sq.shift[1] == 5);
    const int32_t rows3[3] = {3, 1000000, 1};
    const gs::TileShape<2> r3(rows3);
    CHECK(r3.shift[0] == 2 && r3.shift[1] == 8);
    const int32_t line[3] = {1, 1, 1 << 22};
    const gs::TileShape<3> l3(line);
    CHECK(l3.shift[0] == 0 && l3.shift[1] == 0 && l3.shift[2] == 9);
    const int32_t cube[3] = {1024, 1024, 1024};
    const gs::TileShape<3> c3(cube);
    CHECK(c3.shift[0] == 3 && c3.shift[1] == 3 && c3.shift[2] == 3);
    // Reaching every cell of a thin grid takes one tile per 1024 cells.
    gs::GridView<2> view;
    view.rows = 1;
    view.cols = 1 << 21;
    view.shape[0] = 1;
    view.shape[1] = view.cols;
    gs::TiledCells<2> cells(view, view.cols);
    for (int32_t y = 0; y < view.cols; ++y) cells.reach(gs::At{y, 0, y, 0}, 1.0, y - 1);
    CHECK(cells.tiles_used() == (std::size_t(1) << 11));
    CHECK(cells.g(gs::At{view.cols - 1, 0, view.cols - 1, 0}) == 1.0);
    CHECK(cells.parent(gs::At{12345, 0, 12345, 0}) == 12344);
}

// Null and out-of-range arguments of the C++ API.
static void bad_arguments() {
    std::vector<uint8_t> cells(16, 1);
    const gs::Grid<2> g(gs::GridRef{cells.data(), {4, 4}});
    CHECK(error_of([&] { g.distance_field({{0, 0, 0}}, nullptr); }) == "out is null");
    CHECK(error_of([&] { g.distance_field_batch({{{0, 0, 0}}}, nullptr); }) == "out is null");
    CHECK(error_of([&] { g.descend(static_cast<const double*>(nullptr), {0, 0, 0}); }) == "field is null");
    CHECK(error_of([&] { g.next_step(static_cast<const double*>(nullptr), {0, 0, 0}); }) == "field is null");
    CHECK(error_of([&] { g.descend(std::vector<double>(15, 0.0), {0, 0, 0}); }) ==
          "field must hold one value per cell (16), got 15");
    gs::AstarOptions a;
    a.max_expansions = -2;
    CHECK(error_of([&] { g.astar({0, 0, 0}, {3, 3, 0}, a); }) ==
          "max_expansions must be >= 0, or -1 for no limit, got -2");
    gs::FocalOptions f;
    f.max_expansions = std::numeric_limits<int64_t>::min();
    CHECK(error_of([&] { g.focal({0, 0, 0}, {3, 3, 0}, f); }).find("max_expansions must be >= 0") == 0);
    CHECK(error_of([&] { g.astar_batch({{{0, 0, 0}, {3, 3, 0}}}, a); }).find("max_expansions") == 0);
    const std::size_t huge = SIZE_MAX;
    CHECK(error_of([&] { gs::Grid<2>(gs::GridRef{cells.data(), {std::size_t(4), huge}}); }) ==
          "cells: axis 1 has a negative length (-1), or an unsigned one beyond the 64-bit signed range");
    std::vector<double> h(16, 0.0);
    h[5] = -gs::INF;
    a = {};
    a.heuristic = gs::MapRef{h.data(), {4, 4}};
    CHECK(error_of([&] { g.astar({0, 0, 0}, {3, 3, 0}, a); }) ==
          "heuristic holds -inf at (1, 1); its values must be numbers or +inf");
}

int main() {
    signed_zero_costs();
    level_regions();
    huge_costs_and_limits();
    near_the_cell_limit();
    bad_arguments();
    return report("hardening");
}
