#include "astar.hpp"

#include <cmath>

#include "../core/value_map.hpp"
#include "astar_search.hpp"

namespace gridsearch {
namespace {

inline double finite_or_inf(double h) { return std::isfinite(h) ? h : INF; }

// f = h + g with the built-in estimate.
template <int Dim, bool Uniform>
struct DistanceTerm {
    GoalDistance<Dim, Uniform> d;
    double operator()(int32_t x, int32_t y, int32_t z, int32_t) const { return d(x, y, z); }
};

// f = w * h + g with the built-in estimate.
template <int Dim, bool Uniform>
struct WeightedDistanceTerm {
    GoalDistance<Dim, Uniform> d;
    double w;
    double operator()(int32_t x, int32_t y, int32_t z, int32_t) const { return w * finite_or_inf(d(x, y, z)); }
};

// f = w * h + g with h read from the caller's map; non-finite values count as +inf.
struct MapTerm {
    const double* values;
    double w;
    double operator()(int32_t, int32_t, int32_t, int32_t i) const { return w * finite_or_inf(values[i]); }
};

template <int Dim>
py::tuple plain(const GridView<Dim>& g, const Cell& s, const Cell& t, bool uniform) {
    if (uniform) return run_astar<Dim>(g, s, t, true, DistanceTerm<Dim, true>{{t.x, t.y, t.z}});
    return run_astar<Dim>(g, s, t, false, DistanceTerm<Dim, false>{{t.x, t.y, t.z}});
}

template <int Dim>
py::tuple weighted(const GridView<Dim>& g, const ValueMap& map, const Cell& s, const Cell& t,
                   double w, bool uniform) {
    const double wp = w < 1.0 ? 1.0 : w;
    if (map.present) return run_astar<Dim>(g, s, t, uniform, MapTerm{map.values, wp});
    if (uniform) return run_astar<Dim>(g, s, t, true, WeightedDistanceTerm<Dim, true>{{t.x, t.y, t.z}, wp});
    return run_astar<Dim>(g, s, t, false, WeightedDistanceTerm<Dim, false>{{t.x, t.y, t.z}, wp});
}

}  // namespace

py::tuple astar2D(const BoolGrid& grid, int32_t start_x, int32_t start_y, int32_t goal_x, int32_t goal_y,
                  bool use_uniform_step_cost) {
    const GridView<2> g = open_grid<2>(grid);
    const Cell s{start_x, start_y, 0}, t{goal_x, goal_y, 0};
    check_bounds(g, s, t);
    if (!endpoints_free(g, s, t)) return blocked_result(g);
    return plain<2>(g, s, t, use_uniform_step_cost);
}

py::tuple astar3D(const BoolGrid& grid, int32_t start_x, int32_t start_y, int32_t start_z, int32_t goal_x,
                  int32_t goal_y, int32_t goal_z, bool use_uniform_step_cost) {
    const GridView<3> g = open_grid<3>(grid);
    const Cell s{start_x, start_y, start_z}, t{goal_x, goal_y, goal_z};
    check_bounds(g, s, t);
    if (!endpoints_free(g, s, t)) return blocked_result(g);
    return plain<3>(g, s, t, use_uniform_step_cost);
}

py::tuple astar2DHeuristicGrid(const BoolGrid& grid, const py::object& heuristic_grid, int32_t start_x,
                               int32_t start_y, int32_t goal_x, int32_t goal_y, double w,
                               bool use_uniform_step_cost) {
    const GridView<2> g = open_grid<2>(grid);
    const ValueMap map =
        load_value_map(heuristic_grid, g, "Heuristic grid must be 2D!", "Heuristic grid must match grid shape!");
    const Cell s{start_x, start_y, 0}, t{goal_x, goal_y, 0};
    check_bounds(g, s, t);
    if (!endpoints_free(g, s, t)) return blocked_result(g);
    return weighted<2>(g, map, s, t, w, use_uniform_step_cost);
}

py::tuple astar3DHeuristicGrid(const BoolGrid& grid, const py::object& heuristic_grid, int32_t start_x,
                               int32_t start_y, int32_t start_z, int32_t goal_x, int32_t goal_y, int32_t goal_z,
                               double w, bool use_uniform_step_cost) {
    const GridView<3> g = open_grid<3>(grid);
    const ValueMap map =
        load_value_map(heuristic_grid, g, "Heuristic grid must be 3D!", "Heuristic grid must match grid shape!");
    const Cell s{start_x, start_y, start_z}, t{goal_x, goal_y, goal_z};
    check_bounds(g, s, t);
    if (!endpoints_free(g, s, t)) return blocked_result(g);
    return weighted<3>(g, map, s, t, w, use_uniform_step_cost);
}

}  // namespace gridsearch
