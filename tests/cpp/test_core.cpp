// The C++ API on its own, without Python: results, errors, stopping.
#include <gridsearch/engine/batch.hpp>
#include <gridsearch/gridsearch.hpp>
#include <gridsearch/planner.hpp>

#include "check.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

namespace gs = gridsearch;

using Path2 = std::vector<std::array<int32_t, 2>>;

static void unit_steps_tie_order() {
    std::vector<uint8_t> cells(25, 1);
    const gs::GridRef grid{cells.data(), {5, 5}};
    const auto r = gs::astar2D(grid, 0, 0, 0, 4, true);
    CHECK((r.path == Path2{{0, 0}, {1, 1}, {2, 2}, {1, 3}, {0, 4}}));
    CHECK(r.cost == 4.0 && r.expansions == 9);
    const Path2 expanded{{0, 0}, {1, 1}, {0, 1}, {2, 2}, {0, 2}, {1, 2}, {1, 3}, {0, 3}, {0, 4}};
    int count = 0;
    for (int x = 0; x < 5; ++x)
        for (int y = 0; y < 5; ++y) count += r.expanded(x, y);
    CHECK(count == 9);
    for (const auto& c : expanded) CHECK(r.expanded(c[0], c[1]));
}

static void weights_and_maps() {
    // A wall in column 3 from row 1 to row 5, from (3, 0) to (3, 6).
    std::vector<uint8_t> cells(49, 1);
    for (int x = 1; x <= 5; ++x) cells[x * 7 + 3] = 0;
    const gs::GridRef grid{cells.data(), {7, 7}};
    CHECK(gs::astar2D_heuristic_grid(grid, std::nullopt, 3, 0, 3, 6, 1.0).expansions == 20);
    CHECK(gs::astar2D_heuristic_grid(grid, std::nullopt, 3, 0, 3, 6, 2.0).expansions == 13);
    CHECK(gs::astar2D_heuristic_grid(grid, std::nullopt, 3, 0, 3, 6, 5.0).expansions == 10);
    const std::vector<double> zeros(49, 0.0);
    const auto flat = gs::astar2D_heuristic_grid(grid, gs::MapRef{zeros.data(), {7, 7}}, 3, 0, 3, 6);
    CHECK(flat.expansions == 44 && flat.cost == gs::astar2D(grid, 3, 0, 3, 6).cost);

    // Focal search drawn to row 2, then back to the straight path along row 0.
    std::vector<uint8_t> open(25, 1);
    std::vector<double> rows(25);
    for (int i = 0; i < 25; ++i) rows[i] = std::abs(i / 5 - 2);
    const auto f = gs::focal2D(gs::GridRef{open.data(), {5, 5}}, 0, 0, 0, 4, 2.0, gs::MapRef{rows.data(), {5, 5}});
    CHECK(f.expansions == 18 && f.cost == 4.0);
    CHECK((f.path == Path2{{0, 0}, {0, 1}, {0, 2}, {0, 3}, {0, 4}}));
}

static void three_dimensions() {
    std::vector<uint8_t> cells(36, 1);
    for (int y = 1; y <= 4; ++y) cells[(2 * 6 + y) * 1] = 0;
    const gs::GridRef grid{cells.data(), {6, 6, 1}};
    const auto r = gs::astar3D_heuristic_grid(grid, std::nullopt, 0, 2, 0, 5, 2, 0, 1.5);
    using Path3 = std::vector<std::array<int32_t, 3>>;
    CHECK((r.path == Path3{{0, 2, 0}, {1, 1, 0}, {2, 0, 0}, {3, 1, 0}, {4, 2, 0}, {5, 2, 0}}));
    CHECK(r.expansions == 8);
    CHECK(gs::focal3D(grid, 0, 2, 0, 5, 2, 0, 1.0).cost == gs::astar3D(grid, 0, 2, 0, 5, 2, 0).cost);
}

static void errors_and_blocked_endpoints() {
    std::vector<uint8_t> cells(27, 1);
    const gs::GridRef cube{cells.data(), {3, 3, 3}};
    const gs::GridRef square{cells.data(), {3, 3}};
    const std::vector<double> values(27, 0.0);
    CHECK(error_of([&] { gs::astar2D(cube, 0, 0, 1, 1); }) == "Grid must be 2D!");
    CHECK(error_of([&] { gs::focal3D(square, 0, 0, 0, 1, 1, 1, 1.0); }) == "Grid must be 3D!");
    CHECK(error_of([&] { gs::astar2D(square, 0, 0, 3, 0); }) == "Start/goal outside grid bounds!");
    CHECK(error_of([&] { gs::astar2D(square, -1, 0, 1, 1); }) == "Start/goal outside grid bounds!");
    // A map error is reported before a coordinate error.
    CHECK(error_of([&] { gs::focal2D(square, 0, 0, 9, 9, 1.0, gs::MapRef{values.data(), {3, 4}}); }) ==
          "Path proximity map must match grid shape!");
    CHECK(error_of([&] { gs::astar2D_heuristic_grid(square, gs::MapRef{values.data(), {27}}, 0, 0, 1, 1); }) ==
          "Heuristic grid must be 2D!");

    cells[4] = 0;
    const auto r = gs::focal2D(square, 0, 0, 1, 1, 1.5);
    CHECK(r.path.empty() && r.cost == gs::INF && r.expansions == 0 && r.cell_count() == 9);
    for (int i = 0; i < 9; ++i) CHECK(!r.visited_data()[i]);
}

// Refs a C++ caller can get wrong are refused before anything is read.
static void malformed_refs() {
    std::vector<uint8_t> cells(30, 1);
    const std::vector<double> values(30, 0.0);
    const auto kind = [](auto&& f) -> std::string {
        try {
            f();
        } catch (const std::invalid_argument& e) {
            return std::string("invalid_argument: ") + e.what();
        } catch (const std::length_error& e) {
            return std::string("length_error: ") + e.what();
        } catch (const std::exception& e) {
            return std::string("other: ") + e.what();
        }
        return "";
    };
    CHECK(kind([&] { gs::astar2D(gs::GridRef{cells.data(), {-2, 3}}, 1000, 0, 0, 0); }) ==
          "invalid_argument: Grid axis 0 has negative extent -2!");
    CHECK(kind([&] { gs::astar2D(gs::GridRef{cells.data(), {-1, 10}}, INT32_MAX, 0, 0, 0); }) ==
          "invalid_argument: Grid axis 0 has negative extent -1!");
    cells[0] = 0;
    CHECK(kind([&] { gs::focal2D(gs::GridRef{cells.data(), {-1, -1}}, 0, 0, 0, 0, 1.0); }) ==
          "invalid_argument: Grid axis 0 has negative extent -1!");
    CHECK(kind([&] { gs::astar3D(gs::GridRef{cells.data(), {2, -3, 5}}, 0, 0, 0, 1, 1, 1); }) ==
          "invalid_argument: Grid axis 1 has negative extent -3!");
    CHECK(kind([&] { gs::astar2D(gs::GridRef{static_cast<const uint8_t*>(nullptr), {5, 6}}, 0, 0, 1, 1); }) ==
          "invalid_argument: Grid data is null but the grid has cells!");
    CHECK(kind([&] {
              gs::astar2D_heuristic_grid(gs::GridRef{cells.data(), {5, 6}},
                                         gs::MapRef{static_cast<const double*>(nullptr), {5, 6}}, 0, 0, 1, 1);
          }) == "invalid_argument: Heuristic grid data is null!");
    CHECK(kind([&] {
              gs::focal3D(gs::GridRef{cells.data(), {5, 6, 1}}, 0, 0, 0, 1, 1, 0, 1.0,
                          gs::MapRef{static_cast<const double*>(nullptr), {5, 6, 1}});
          }) == "invalid_argument: Path proximity map data is null!");
    // Over the size limit with a blocked start: refused, nothing allocated or read.
    CHECK(kind([&] { gs::astar2D(gs::GridRef{cells.data(), {100000, 100000}}, 0, 0, 1, 1); }) ==
          "length_error: Grid has 10000000000 cells; at most 2147483647 are supported!");
    // An empty grid needs no data; every coordinate lies outside it.
    CHECK(kind([&] { gs::astar2D(gs::GridRef{static_cast<const uint8_t*>(nullptr), {0, 4}}, 0, 0, 0, 0); }) ==
          "other: Start/goal outside grid bounds!");
    // Extents of type size_t, as containers report them.
    cells[0] = 1;
    const std::size_t rows = 5, cols = 6;
    const gs::GridRef sized{cells.data(), {rows, cols}};
    CHECK(gs::astar2D(sized, 0, 0, 4, 5).cost == gs::astar2D(gs::GridRef{cells.data(), {5, 6}}, 0, 0, 4, 5).cost);
    const gs::GridRef huge{cells.data(), {std::size_t(1) << 63, std::size_t(1)}};
    CHECK(kind([&] { gs::astar2D(huge, 0, 0, 0, 0); }).rfind("invalid_argument: Grid axis 0 has negative", 0) == 0);
}

// The planner: move sets, corner rule, cost models, limits and its errors.
static void planner() {
    // A 3 x 3 room with a wall at (1, 1): the corner rule forbids the diagonal past it.
    std::vector<uint8_t> cells(9, 1);
    cells[4] = 0;
    const gs::GridRef room{cells.data(), {3, 3}};
    gs::GridOptions o;
    CHECK(gs::Grid<2>(room, o).astar({0, 1, 0}, {1, 2, 0}).cost == 1.4142135623730951);
    o.corner_cutting = false;
    CHECK(gs::Grid<2>(room, o).astar({0, 1, 0}, {1, 2, 0}).cost == 2.0);
    o = {};
    o.connectivity = 4;
    const auto four = gs::Grid<2>(room, o).astar({0, 0, 0}, {2, 2, 0});
    CHECK(four.cost == 4.0 && four.path.size() == 5 && four.status == gs::Status::found);

    // Costs: enter and mean models on a 1 x 3 strip costing 1, 3, 5.
    const std::vector<double> strip{1.0, 3.0, 5.0};
    o = {};
    CHECK(gs::Grid<2>(gs::MapRef{strip.data(), {1, 3}}, o).astar({0, 0, 0}, {0, 2, 0}).cost == 8.0);
    CHECK(gs::Grid<2>(gs::MapRef{strip.data(), {1, 3}}, o).astar({0, 2, 0}, {0, 0, 0}).cost == 4.0);
    o.cost_model = gs::CostModel::mean;
    CHECK(gs::Grid<2>(gs::MapRef{strip.data(), {1, 3}}, o).astar({0, 0, 0}, {0, 2, 0}).cost == 6.0);
    CHECK(gs::Grid<2>(gs::MapRef{strip.data(), {1, 3}}, o).astar({0, 2, 0}, {0, 0, 0}).cost == 6.0);

    // 3D, 6 neighbours, and the limits.
    std::vector<uint8_t> cube(27, 1);
    o = {};
    o.connectivity = 6;
    const gs::Grid<3> g3(gs::GridRef{cube.data(), {3, 3, 3}}, o);
    CHECK(g3.astar({0, 0, 0}, {2, 2, 2}).cost == 6.0);
    gs::AstarOptions limits;
    limits.max_expansions = 2;
    CHECK(g3.astar({0, 0, 0}, {2, 2, 2}, limits).status == gs::Status::max_expansions);
    limits = {};
    limits.max_cost = 5.5;
    const auto capped = g3.astar({0, 0, 0}, {2, 2, 2}, limits);
    CHECK(capped.status == gs::Status::max_cost && capped.path.empty() && capped.cost == gs::INF);

    // A batch gives every pair the single call's result, on any number of threads.
    const std::vector<std::pair<gs::Cell, gs::Cell>> pairs{
        {{0, 0, 0}, {2, 2, 2}}, {{2, 2, 2}, {0, 1, 0}}, {{1, 1, 1}, {1, 1, 1}}};
    for (unsigned threads : {1u, 2u}) {
        const auto rows = g3.astar_batch(pairs, {}, threads);
        CHECK(rows.size() == 3);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const auto one = g3.astar(pairs[i].first, pairs[i].second);
            CHECK(rows[i].cost == one.cost && rows[i].expansions == one.expansions && rows[i].path == one.path);
        }
    }
    CHECK(error_of([&] { g3.astar_batch({{{0, 0, 0}, {0, 0, 3}}}); }) ==
          "goal (0, 0, 3) lies outside the grid of shape (3, 3, 3)");

    // The planner owns its cells: changing the caller's array changes nothing.
    cells[4] = 1;
    const gs::Grid<2> owned(room);
    cells.assign(9, 0);
    CHECK(owned.astar({0, 0, 0}, {2, 2, 0}).cost == 2.8284271247461903);

    const std::vector<double> bad{1.0, -1.0};
    CHECK(error_of([&] { gs::Grid<2>(gs::MapRef{bad.data(), {1, 2}}); }) ==
          "cell (0, 1) costs -1; a cost must be >= 0 (walkable) or +inf (blocked)");
    o = {};
    o.connectivity = 6;
    CHECK(error_of([&] { gs::Grid<2>(room, o); }) == "connectivity must be 4 or 8 for a 2D grid, got 6");
    CHECK(error_of([&] { gs::Grid<2>(gs::GridRef{cells.data(), {3, 0}}); }) ==
          "cells must not be empty, got an axis of length 0");
    CHECK(error_of([&] { gs::Grid<2>(room).astar({3, 0, 0}, {0, 0, 0}); }) ==
          "start (3, 0) lies outside the grid of shape (3, 3)");
    gs::AstarOptions w;
    w.w = 0.5;
    CHECK(error_of([&] { gs::Grid<2>(room).astar({0, 0, 0}, {1, 1, 0}, w); }) == "w must be >= 1, got 0.5");
    CHECK(error_of([] { gs::cost_model_named("max"); }) == "cost_model must be 'enter' or 'mean', got 'max'");
}

// Distance fields: both directions of the enter model, limits, descending, batches.
static void fields() {
    // A 1 x 4 strip costing 1, 3, 5, 7, origin at the left end.
    const std::vector<double> strip{1.0, 3.0, 5.0, 7.0};
    const gs::Grid<2> g(gs::MapRef{strip.data(), {1, 4}});
    CHECK((g.distance_field({{0, 0, 0}}) == std::vector<double>{0.0, 3.0, 8.0, 15.0}));
    gs::FieldOptions back;
    back.reverse = true;
    const std::vector<double> to = g.distance_field({{0, 0, 0}}, back);
    CHECK((to == std::vector<double>{0.0, 1.0, 4.0, 9.0}));
    const auto path = g.descend(to.data(), {0, 3, 0});
    CHECK(path.size() == 4 && path[3].y == 0);
    CHECK(g.next_step(to.data(), {0, 2, 0}).y == 1 && g.next_step(to.data(), {0, 0, 0}).y == 0);
    back.max_cost = 4.0;
    CHECK((g.distance_field({{0, 0, 0}}, back) == std::vector<double>{0.0, 1.0, 4.0, gs::INF}));
    // Several origins: the nearest wins; a blocked origin counts for nothing.
    const std::vector<double> walls{1.0, gs::INF, 1.0, 1.0};
    const gs::Grid<2> w(gs::MapRef{walls.data(), {1, 4}});
    CHECK((w.distance_field({{0, 3, 0}, {0, 1, 0}}) == std::vector<double>{gs::INF, gs::INF, 1.0, 0.0}));
    CHECK(error_of([&] { w.descend(w.distance_field({{0, 3, 0}}).data(), {0, 0, 0}); }) ==
          "start (0, 0) has field value inf; it must be finite and >= 0");
    CHECK(error_of([&] { w.distance_field({{0, 4, 0}}); }) == "origin (0, 4) lies outside the grid of shape (1, 4)");
    // A batch equals the single fields, on any number of threads.
    std::vector<uint8_t> cube(27, 1);
    cube[13] = 0;
    const gs::Grid<3> g3(gs::GridRef{cube.data(), {3, 3, 3}});
    const std::vector<std::vector<gs::Cell>> sets{{{0, 0, 0}}, {{2, 2, 2}, {0, 2, 0}}, {}};
    for (unsigned threads : {1u, 2u}) {
        std::vector<double> out(3 * 27);
        g3.distance_field_batch(sets, out.data(), {}, threads);
        for (std::size_t k = 0; k < sets.size(); ++k)
            CHECK(std::equal(out.begin() + 27 * k, out.begin() + 27 * (k + 1), g3.distance_field(sets[k]).begin()));
    }
    // Around the blocked centre: a space diagonal, a plane diagonal and a straight step.
    CHECK(g3.distance_field(sets[0])[26] == 1.0 + 1.4142135623730951 + 1.7320508075688772);
}

// The planner's focal search: the bound, the key, the expansion order, batches.
static void planner_focal() {
    std::vector<uint8_t> open(20 * 20, 1);
    for (int x = 2; x < 18; ++x) open[x * 20 + 10] = 0;
    const gs::Grid<2> g(gs::GridRef{open.data(), {20, 20}});
    const double best = g.astar({0, 0, 0}, {19, 19, 0}).cost;
    gs::FocalOptions o;
    CHECK(g.focal({0, 0, 0}, {19, 19, 0}, o).cost == best);  // w = 1: optimal
    o.w = 2.0;
    std::vector<int32_t> order;
    o.order = &order;
    const auto r = g.focal({0, 0, 0}, {19, 19, 0}, o);
    CHECK(r.status == gs::Status::found && r.cost <= 2.0 * best && order.size() == std::size_t(r.expansions));
    CHECK(order.front() == 0 && order.back() == 19 * 20 + 19);
    o.order = nullptr;
    for (unsigned threads : {1u, 2u}) {
        const auto rows = g.focal_batch({{{0, 0, 0}, {19, 19, 0}}, {{19, 0, 0}, {0, 19, 0}}}, o, threads);
        CHECK(rows.size() == 2 && rows[0].cost == r.cost && rows[0].expansions == r.expansions);
    }
    o.w = 0.5;
    CHECK(error_of([&] { g.focal({0, 0, 0}, {1, 1, 0}, o); }) == "w must be >= 1 and finite, got 0.5");
}

static void stop_check() {
    // A walled-in goal: everything reachable is expanded before the search gives up.
    const int n = 600;
    std::vector<uint8_t> cells(n * n, 1);
    cells[(n - 2) * n + n - 1] = cells[(n - 1) * n + n - 2] = cells[(n - 2) * n + n - 2] = 0;
    const gs::GridRef grid{cells.data(), {n, n}};
    int asked = 0;
    const gs::StopCheck stop = [&] { return ++asked == 3; };
    bool stopped = false;
    try {
        gs::astar2D(grid, 0, 0, n - 1, n - 1, false, stop);
    } catch (const gs::Interrupted&) {
        stopped = true;
    }
    CHECK(stopped && asked == 3);
    asked = 0;
    stopped = false;
    try {
        gs::focal2D(grid, 0, 0, n - 1, n - 1, 1.5, std::nullopt, false, stop);
    } catch (const gs::Interrupted&) {
        stopped = true;
    }
    CHECK(stopped && asked == 3);
    // A check that never stops changes nothing.
    const auto a = gs::astar2D(grid, 0, 0, n - 1, n - 1, false, [] { return false; });
    const auto b = gs::astar2D(grid, 0, 0, n - 1, n - 1);
    CHECK(a.expansions == b.expansions && a.expansions == n * n - 4 && a.path.empty());
}

// One workspace over many searches gives what fresh storage gives, also after
// a search that was stopped halfway.
static void workspace_reuse() {
    const int n = 40;
    std::vector<uint8_t> cells(n * n);
    uint32_t seed = 12345;
    for (auto& c : cells) {
        seed = seed * 1103515245u + 12345u;
        c = (seed >> 16) % 100 >= 25;
    }
    const gs::GridRef grid{cells.data(), {n, n}};
    std::vector<double> key(n * n);
    for (int i = 0; i < n * n; ++i) key[i] = (i * 7919) % 13;
    const gs::MapRef map{key.data(), {n, n}};
    gs::Workspace ws;
    for (int q = 0; q < 60; ++q) {
        const int sx = (q * 7) % n, sy = (q * 11) % n, gx = (q * 13 + 5) % n, gy = (q * 17 + 3) % n;
        if (q == 30) {
            bool stopped = false;
            try {
                gs::focal2D(grid, 0, 0, n - 1, n - 1, 1.0, map, false, [] { return true; }, &ws);
            } catch (const gs::Interrupted&) {
                stopped = true;
            }
            (void)stopped;
        }
        const bool uniform = q % 2 == 1;
        const auto a = gs::astar2D(grid, sx, sy, gx, gy, uniform);
        const auto b = gs::astar2D(grid, sx, sy, gx, gy, uniform, {}, &ws);
        const auto c = gs::focal2D(grid, sx, sy, gx, gy, 1.5, map, uniform);
        const auto d = gs::focal2D(grid, sx, sy, gx, gy, 1.5, map, uniform, {}, &ws);
        CHECK(a.path == b.path && a.expansions == b.expansions && a.cost == b.cost);
        CHECK(c.path == d.path && c.expansions == d.expansions && c.cost == d.cost);
        CHECK(std::equal(a.visited_data(), a.visited_data() + a.cell_count(), b.visited_data()));
        CHECK(std::equal(c.visited_data(), c.visited_data() + c.cell_count(), d.visited_data()));
    }
    ws.visited = false;
    const auto e = gs::astar2D(grid, 0, 0, n - 1, n - 1, false, {}, &ws);
    CHECK(e.visited_data() == nullptr && e.cost == gs::astar2D(grid, 0, 0, n - 1, n - 1).cost);
}

// Queries on threads give the sequential results; a caller's stop ends them all.
static void batch_runner() {
    const int n = 64;
    std::vector<uint8_t> cells(n * n, 1);
    for (int x = 8; x < n - 8; ++x) cells[x * n + n / 2] = 0;
    const gs::GridRef grid{cells.data(), {n, n}};
    std::vector<gs::Result<2>> got(50);
    gs::run_batch(
        got.size(), 3, true,
        [&](std::size_t i, gs::Workspace& ws, const gs::StopCheck& stop) {
            got[i] = gs::astar2D(grid, static_cast<int32_t>(i), 0, n - 1 - static_cast<int32_t>(i), n - 1, i % 2,
                                 stop, &ws);
        },
        [] { return false; });
    for (std::size_t i = 0; i < got.size(); ++i) {
        const auto want = gs::astar2D(grid, static_cast<int32_t>(i), 0, n - 1 - static_cast<int32_t>(i), n - 1, i % 2);
        CHECK(got[i].path == want.path && got[i].expansions == want.expansions && got[i].cost == want.cost);
        CHECK(std::equal(want.visited_data(), want.visited_data() + want.cell_count(), got[i].visited_data()));
    }
    // A walled-in goal keeps every search busy until the caller stops them.
    std::vector<uint8_t> big(1500 * 1500, 1);
    big[1 * 1500 + 0] = big[1 * 1500 + 1] = big[0 * 1500 + 1] = 0;
    const gs::GridRef walled{big.data(), {1500, 1500}};
    int asked = 0;
    bool stopped = false;
    try {
        gs::run_batch(
            8, 2, false,
            [&](std::size_t, gs::Workspace& ws, const gs::StopCheck& stop) {
                gs::focal2D(walled, 1499, 1499, 0, 0, 1.5, std::nullopt, false, stop, &ws);
            },
            [&] { return ++asked == 2; }, std::chrono::milliseconds(1));
    } catch (const gs::Interrupted&) {
        stopped = true;
    }
    CHECK(stopped && asked == 2);
}

int main() {
    unit_steps_tie_order();
    weights_and_maps();
    three_dimensions();
    errors_and_blocked_endpoints();
    malformed_refs();
    planner();
    fields();
    planner_focal();
    stop_check();
    workspace_reuse();
    batch_runner();
    return report("C++");
}
