// Multi-agent planning in C++: SIPP and A* over (time, cell) agree under
// random reservation tables, a table's paths can be taken back, and every
// solver's plan passes a checker written here from the rules.
#include <gridsearch/mapf.hpp>

#include <random>
#include <set>

#include "check.hpp"

namespace gs = gridsearch;
namespace mapf = gridsearch::mapf;

namespace {

// No two agents in one cell at one time, no swap, moves to 4-neighbours or
// waits on walkable cells, from the starts to the goals.
bool valid(const mapf::Graph& g, const std::vector<int32_t>& s, const std::vector<int32_t>& t,
           const std::vector<mapf::Path>& paths) {
    const std::size_t n = s.size();
    if (paths.size() != n) return false;
    const std::size_t steps = n ? paths[0].size() : 0;
    for (std::size_t a = 0; a < n; ++a) {
        if (paths[a].size() != steps || paths[a].front() != s[a] || paths[a].back() != t[a]) return false;
        for (std::size_t k = 0; k < steps; ++k) {
            if (!g.free(paths[a][k])) return false;
            if (k && paths[a][k] != paths[a][k - 1] && !g.adjacent(paths[a][k], paths[a][k - 1])) return false;
        }
    }
    for (std::size_t k = 0; k < steps; ++k) {
        std::set<int32_t> seen;
        for (std::size_t a = 0; a < n; ++a)
            if (!seen.insert(paths[a][k]).second) return false;
        if (k)
            for (std::size_t a = 0; a < n; ++a)
                for (std::size_t b = a + 1; b < n; ++b)
                    if (paths[a][k] == paths[b][k - 1] && paths[b][k] == paths[a][k - 1] &&
                        paths[a][k] != paths[a][k - 1])
                        return false;
    }
    return true;
}

}  // namespace

int main() {
    std::mt19937 rng(5);
    // SIPP and A* over (time, cell): the same earliest arrival.
    for (int trial = 0; trial < 1500; ++trial) {
        const int rows = 3 + int(rng() % 6), cols = 3 + int(rng() % 6);
        std::vector<uint8_t> cells(static_cast<std::size_t>(rows * cols));
        for (auto& c : cells) c = (rng() % 100) < 80;
        gs::GridOptions o4;
        o4.connectivity = 4;
        const gs::Grid<2> grid(gs::GridRef(cells.data(), {rows, cols}), o4);
        mapf::ReservationTable table(rows * cols);
        for (int k = 0, n = int(rng() % 30); k < n; ++k) {
            const int c = int(rng() % unsigned(rows * cols)), t = int(rng() % 12), kind = int(rng() % 4);
            if (kind < 2) table.forbid_cell(c, t);
            if (kind == 2 && c + 1 < rows * cols) table.forbid_move(c, c + 1, t);
            if (kind == 3) table.reserve_from(c, t + 6);
        }
        const gs::Cell s{int(rng() % unsigned(rows)), int(rng() % unsigned(cols)), 0};
        const gs::Cell t{int(rng() % unsigned(rows)), int(rng() % unsigned(cols)), 0};
        mapf::TimedOptions o;
        o.start_time = int(rng() % 3);
        o.algorithm = mapf::TimedAlgorithm::astar;
        const auto a = mapf::plan_in_time(grid, s, t, table, o);
        o.algorithm = mapf::TimedAlgorithm::sipp;
        const auto b = mapf::plan_in_time(grid, s, t, table, o);
        CHECK(a.status == b.status && a.cost == b.cost);
    }
    // A path reserved and released leaves the table as it was.
    {
        mapf::ReservationTable table(20);
        table.forbid_cell(5, 4);
        const int64_t before = table.size();
        const mapf::Path p{0, 1, 2, 3, 3, 8};
        table.reserve_path(p, 0);
        CHECK(!table.cell_free(2, 2) && !table.move_free(2, 1, 1) && table.reserved_from(8) == 5);
        table.release_path(p, 0);
        CHECK(table.size() == before && table.cell_free(2, 2) && table.move_free(2, 1, 1) &&
              table.reserved_from(8) == mapf::NEVER && !table.cell_free(5, 4));
    }
    // Every solver's plan is valid; cbs is never costlier than the others.
    for (int trial = 0; trial < 40; ++trial) {
        const int rows = 4 + int(rng() % 5), cols = 4 + int(rng() % 5);
        std::vector<uint8_t> cells(static_cast<std::size_t>(rows * cols), 1);
        for (auto& c : cells) c = (rng() % 100) < 85;
        const mapf::Graph g(cells.data(), rows, cols);
        std::vector<int32_t> free;
        for (int i = 0; i < rows * cols; ++i)
            if (cells[static_cast<std::size_t>(i)]) free.push_back(i);
        std::shuffle(free.begin(), free.end(), rng);
        const std::size_t n = std::min<std::size_t>(free.size() / 2, 2 + rng() % 4);
        std::vector<gs::Cell> s, t;
        std::vector<int32_t> si, ti;
        for (std::size_t a = 0; a < n; ++a) {
            si.push_back(free[a]);
            ti.push_back(free[n + a]);
            s.push_back({g.row(free[a]), g.col(free[a]), 0});
            t.push_back({g.row(free[n + a]), g.col(free[n + a]), 0});
        }
        gs::GridOptions o4;
        o4.connectivity = 4;
        const gs::Grid<2> grid(gs::GridRef(cells.data(), {rows, cols}), o4);
        int64_t best = -1;
        for (auto solver : {mapf::Solver::cbs, mapf::Solver::ecbs, mapf::Solver::lacam, mapf::Solver::pibt}) {
            mapf::SolveOptions o;
            o.algorithm = solver;
            o.time_limit = 2.0;
            o.max_iterations = 30;
            const mapf::Solution r = mapf::solve(grid, s, t, o);
            if (r.status != mapf::SolveStatus::solved) continue;
            CHECK(valid(g, si, ti, r.paths));
            CHECK(r.sum_of_costs >= r.lower_bound);
            if (solver == mapf::Solver::cbs) best = r.sum_of_costs;
            if (best >= 0) CHECK(r.sum_of_costs >= best);
        }
    }
    // Bad input names the agent.
    {
        std::vector<uint8_t> cells{1, 1, 0, 1};
        gs::GridOptions o4;
        o4.connectivity = 4;
        const gs::Grid<2> grid(gs::GridRef(cells.data(), {2, 2}), o4);
        CHECK(error_of([&] { mapf::solve(grid, {{0, 0, 0}, {1, 0, 0}}, {{0, 1, 0}, {1, 1, 0}}); }) ==
              "agent 1's start (1, 0) is blocked");
        CHECK(error_of([&] { mapf::solve(grid, {{0, 0, 0}, {0, 0, 0}}, {{0, 1, 0}, {1, 1, 0}}); }) ==
              "agents 0 and 1 share the start (0, 0)");
    }
    return report("test_mapf");
}
