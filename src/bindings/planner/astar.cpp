// A* on the native grid: one start and goal, several goals, batches.
#include "native_grid.hpp"

namespace gridsearch::binding {

using namespace pybind11::literals;

template <int Dim>
static void define(NativeClass<Dim>& c) {
    using G = NativeGrid<Dim>;
    c.def(
        "astar",
        [](G& self, const std::vector<int64_t>& start, const std::vector<int64_t>& goal, double w,
           const py::object& heuristic, double max_cost, int64_t max_expansions, bool visited, int algorithm) {
            const typename G::CopiedMap h(self, heuristic, "heuristic");
            const AstarOptions o = G::options(w, h, max_cost, max_expansions, visited, algorithm);
            const Cell s = G::cell(start), t = G::cell(goal);
            return self.one([&](Workspace& ws, const StopCheck& stop) { return self.grid().astar(s, t, o, stop, &ws); });
        },
        "start"_a, "goal"_a, "w"_a, "heuristic"_a, "max_cost"_a, "max_expansions"_a, "visited"_a, "algorithm"_a);
    c.def(
        "astar_goals",
        [](G& self, const std::vector<int64_t>& start, const IndexArray& goals, double w, const py::object& heuristic,
           double max_cost, int64_t max_expansions, bool visited, int algorithm) {
            const typename G::CopiedMap h(self, heuristic, "heuristic");
            const AstarOptions o = G::options(w, h, max_cost, max_expansions, visited, algorithm);
            const Cell s = G::cell(start);
            const std::vector<Cell> ts = G::cells_of(goals, "goals");
            return self.one(
                [&](Workspace& ws, const StopCheck& stop) { return self.grid().astar(s, ts, o, stop, &ws); });
        },
        "start"_a, "goals"_a, "w"_a, "heuristic"_a, "max_cost"_a, "max_expansions"_a, "visited"_a, "algorithm"_a);
    c.def(
        "astar_batch",
        [](G& self, const py::object& queries, double w, const py::object& heuristic, double max_cost,
           int64_t max_expansions, const py::object& threads, bool visited, int algorithm) {
            const typename G::CopiedMap h(self, heuristic, "heuristic");
            const AstarOptions o = G::options(w, h, max_cost, max_expansions, visited, algorithm);
            const auto qs = self.query_pairs(queries);
            const unsigned workers = thread_count(threads);
            return G::many(
                [&](const StopCheck& interrupted) { return self.grid().astar_batch(qs, o, workers, interrupted); });
        },
        "queries"_a, "w"_a, "heuristic"_a, "max_cost"_a, "max_expansions"_a, "threads"_a, "visited"_a, "algorithm"_a);
}

void define_astar(NativeClass<2>& c2, NativeClass<3>& c3) {
    define<2>(c2);
    define<3>(c3);
}

}  // namespace gridsearch::binding
