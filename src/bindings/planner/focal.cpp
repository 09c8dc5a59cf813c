// Focal search on the native grid: one query (with the expansion order, for
// inspection) and batches.
#include "native_grid.hpp"

namespace gridsearch::binding {

using namespace pybind11::literals;

template <int Dim>
static void define(NativeClass<Dim>& c) {
    using G = NativeGrid<Dim>;
    c.def(
        "focal",
        [](G& self, const std::vector<int64_t>& start, const std::vector<int64_t>& goal, double w,
           const py::object& key, int64_t max_expansions, bool visited, bool with_order) -> py::object {
            const typename G::CopiedMap k(self, key, "key");
            FocalOptions o = G::focal_options(w, k, max_expansions, visited);
            std::vector<int32_t> order;
            if (with_order) o.order = &order;
            const Cell s = G::cell(start), t = G::cell(goal);
            py::tuple out =
                self.one([&](Workspace& ws, const StopCheck& stop) { return self.grid().focal(s, t, o, stop, &ws); });
            if (!with_order) return std::move(out);
            return py::make_tuple(out, py::array_t<int32_t>(static_cast<py::ssize_t>(order.size()), order.data()));
        },
        "start"_a, "goal"_a, "w"_a, "key"_a, "max_expansions"_a, "visited"_a, "with_order"_a);
    c.def(
        "focal_batch",
        [](G& self, const py::object& queries, double w, const py::object& key, int64_t max_expansions,
           const py::object& threads, bool visited) {
            const typename G::CopiedMap k(self, key, "key");
            const FocalOptions o = G::focal_options(w, k, max_expansions, visited);
            const auto qs = self.query_pairs(queries);
            const unsigned workers = thread_count(threads);
            return G::many(
                [&](const StopCheck& interrupted) { return self.grid().focal_batch(qs, o, workers, interrupted); });
        },
        "queries"_a, "w"_a, "key"_a, "max_expansions"_a, "threads"_a, "visited"_a);
}

void define_focal(NativeClass<2>& c2, NativeClass<3>& c3) {
    define<2>(c2);
    define<3>(c3);
}

}  // namespace gridsearch::binding
