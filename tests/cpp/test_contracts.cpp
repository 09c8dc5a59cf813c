// Compile-only checks: every policy the searches use meets its contract,
// and things that are not policies do not.
#include <gridsearch/gridsearch.hpp>
#include <gridsearch/planner.hpp>

namespace gs = gridsearch;
namespace c = gridsearch::contracts;

static_assert(c::open_list<gs::FHeap<gs::Node>> && c::open_list<gs::RadixHeap<gs::Node>>);
static_assert(!c::open_list<gs::Heap<gs::FocalNode, gs::SinksByKey>>);  // FOCAL is ordered by its entries
static_assert(c::moves<2, gs::FixedMoves<2>> && c::moves<3, gs::FixedMoves<3>>);
static_assert(c::moves<2, gs::CostMoves<2, gs::MeanSteps, 8>> && c::moves<3, gs::CostMoves<3, gs::EnterSteps, 0>>);
static_assert(!c::moves<2, gs::UnitSteps>);
static_assert(c::cells<2, gs::FlatCells<2>> && c::cells<2, gs::FlatCells<2, true>> && c::cells<3, gs::TiledCells<3>>);
static_assert(!c::cells<2, gs::FlatStore>);
static_assert(c::term<gs::MapTerm> && c::term<gs::planning::GoalTerm<2, 8>> && c::term<gs::planning::GoalSetTerm<3, 0>>);
static_assert(!c::term<gs::NoMoreGoals>);
static_assert(c::limit<gs::NoLimit> && c::limit<gs::ExpansionLimit> && !c::limit<gs::MapTerm>);

int main() { return 0; }
