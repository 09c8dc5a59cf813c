// Plans on a map file from C++: A* and focal search between two cells, and the
// planner on the same map with 4 neighbours and with corner-free diagonals.
//
//   route MAP START_X START_Y GOAL_X GOAL_Y [W]
//
// MAP is in the usual text format (a header, then "map" and one line per row;
// '.', 'G' and 'S' are free). Prints, for each search, its cost (17 digits),
// expansions, path length and the path itself as x,y pairs.
#include <gridsearch/gridsearch.hpp>
#include <gridsearch/planner.hpp>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

struct Map {
    int64_t rows = 0, cols = 0;
    std::vector<uint8_t> cells;  // row-major, 1 = walkable
};

Map read_map(const std::string& file) {
    std::ifstream in(file);
    if (!in) throw std::runtime_error("cannot open " + file);
    Map m;
    std::string word;
    while (in >> word && word != "map") {
        if (word == "height") in >> m.rows;
        if (word == "width") in >> m.cols;
    }
    std::string line;
    std::getline(in, line);
    for (int64_t x = 0; x < m.rows && std::getline(in, line); ++x)
        for (int64_t y = 0; y < m.cols; ++y) {
            const char c = y < static_cast<int64_t>(line.size()) ? line[y] : '@';
            m.cells.push_back(c == '.' || c == 'G' || c == 'S');
        }
    if (static_cast<int64_t>(m.cells.size()) != m.rows * m.cols) throw std::runtime_error("truncated map " + file);
    return m;
}

void print(const char* name, const gridsearch::Result<2>& r) {
    std::printf("%s cost=%.17g expansions=%d cells=%zu path=", name, r.cost, r.expansions, r.path.size());
    for (std::size_t i = 0; i < r.path.size(); ++i) std::printf("%s%d,%d", i ? ";" : "", r.path[i][0], r.path[i][1]);
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6 && argc != 7) {
        std::fprintf(stderr, "usage: %s MAP START_X START_Y GOAL_X GOAL_Y [W]\n", argv[0]);
        return 2;
    }
    try {
        const Map map = read_map(argv[1]);
        const int32_t sx = std::atoi(argv[2]), sy = std::atoi(argv[3]), gx = std::atoi(argv[4]),
                      gy = std::atoi(argv[5]);
        const double w = argc == 7 ? std::atof(argv[6]) : 1.5;
        const gridsearch::GridRef grid{map.cells.data(), {map.rows, map.cols}};
        print("astar2D", gridsearch::astar2D(grid, sx, sy, gx, gy));
        print("focal2D", gridsearch::focal2D(grid, sx, sy, gx, gy, w));
        gridsearch::GridOptions four;
        four.connectivity = 4;
        print("Grid4", gridsearch::Grid<2>(grid, four).astar({sx, sy, 0}, {gx, gy, 0}));
        gridsearch::GridOptions corners;
        corners.corner_cutting = false;
        print("Grid8nc", gridsearch::Grid<2>(grid, corners).astar({sx, sy, 0}, {gx, gy, 0}));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return 1;
    }
    return 0;
}
