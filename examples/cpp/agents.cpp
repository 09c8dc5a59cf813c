// A multi-agent instance from C++: a map file, the first N agents of a
// scenario file, solved by LaCAM* with a fixed number of improvement steps
// (so the result is the same on every run), then the plan checked.
//
//   agents MAP SCEN N [ITERATIONS]
//
// Prints the status, sum of costs, lower bound, makespan and every agent's
// path as row,col pairs, one agent per line.
#include <gridsearch/mapf.hpp>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> read_map(const std::string& file, int64_t& rows, int64_t& cols) {
    std::ifstream in(file);
    if (!in) throw std::runtime_error("cannot open " + file);
    std::string word;
    while (in >> word && word != "map") {
        if (word == "height") in >> rows;
        if (word == "width") in >> cols;
    }
    std::string line;
    std::getline(in, line);
    std::vector<uint8_t> cells;
    for (int64_t r = 0; r < rows && std::getline(in, line); ++r)
        for (int64_t c = 0; c < cols; ++c) {
            const char ch = c < static_cast<int64_t>(line.size()) ? line[c] : '@';
            cells.push_back(ch == '.' || ch == 'G' || ch == 'S');
        }
    if (static_cast<int64_t>(cells.size()) != rows * cols) throw std::runtime_error("truncated map " + file);
    return cells;
}

// Scenario rows: bucket, map, width, height, start x, start y, goal x, goal y,
// optimal length; x is the column.
void read_agents(const std::string& file, int n, std::vector<gridsearch::Cell>& starts,
                 std::vector<gridsearch::Cell>& goals) {
    std::ifstream in(file);
    if (!in) throw std::runtime_error("cannot open " + file);
    std::string line;
    std::getline(in, line);  // version
    while (static_cast<int>(starts.size()) < n && std::getline(in, line)) {
        std::istringstream row(line);
        std::string bucket, map;
        int width, height, sx, sy, gx, gy;
        if (!(row >> bucket >> map >> width >> height >> sx >> sy >> gx >> gy))
            throw std::runtime_error("malformed scenario line: " + line);
        starts.push_back({sy, sx, 0});
        goals.push_back({gy, gx, 0});
    }
    if (static_cast<int>(starts.size()) < n) throw std::runtime_error("the scenario has fewer agents");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: %s MAP SCEN N [ITERATIONS]\n", argv[0]);
        return 2;
    }
    try {
        int64_t rows = 0, cols = 0;
        const std::vector<uint8_t> cells = read_map(argv[1], rows, cols);
        std::vector<gridsearch::Cell> starts, goals;
        read_agents(argv[2], std::atoi(argv[3]), starts, goals);
        gridsearch::GridOptions grid_options;
        grid_options.connectivity = 4;
        const gridsearch::Grid<2> grid(gridsearch::GridRef(cells.data(), {rows, cols}), grid_options);
        gridsearch::mapf::SolveOptions o;  // LaCAM*, seed 0
        o.time_limit = 600;
        o.max_iterations = argc == 5 ? std::atoll(argv[4]) : 100;
        const gridsearch::mapf::Solution s = gridsearch::mapf::solve(grid, starts, goals, o);
        std::printf("status=%s sum_of_costs=%lld lower_bound=%lld makespan=%lld\n",
                    gridsearch::mapf::solve_status_name(s.status), static_cast<long long>(s.sum_of_costs),
                    static_cast<long long>(s.lower_bound), static_cast<long long>(s.makespan));
        for (const auto& path : s.paths) {
            for (std::size_t t = 0; t < path.size(); ++t)
                std::printf("%s%d,%d", t ? ";" : "", static_cast<int>(path[t] / cols), static_cast<int>(path[t] % cols));
            std::printf("\n");
        }
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return 1;
    }
}
