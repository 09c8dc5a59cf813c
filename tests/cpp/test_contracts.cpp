// Compile-only checks: every policy the searches use meets its contract,
// and things that are not policies do not.
#include <gridsearch/gridsearch.hpp>
#include <gridsearch/mapf.hpp>
#include <gridsearch/planner.hpp>

namespace gs = gridsearch;
namespace c = gridsearch::contracts;

static_assert(c::open_list<gs::FHeap<gs::Node>> && c::open_list<gs::RadixHeap<gs::Node>>);
static_assert(!c::open_list<gs::Heap<gs::FocalNode, gs::SinksByKey>>);  // FOCAL is ordered by its entries
static_assert(c::moves<2, gs::FixedMoves<2>> && c::moves<3, gs::FixedMoves<3>>);
static_assert(c::moves<2, gs::CostMoves<2, gs::MeanSteps, 8>> && c::moves<3, gs::CostMoves<3, gs::EnterSteps, 0>>);
static_assert(!c::moves<2, gs::UnitSteps>);
// Jumps are successors given the parent; without the parent they are not moves.
static_assert(c::moves<2, gs::JumpMoves<8, false>> && c::moves<2, gs::JumpMoves<4, false, true>>);
static_assert(c::takes_parent<gs::JumpMoves<8, true>> && !c::takes_parent<gs::FixedMoves<2>>);
struct ParentlessJumps {
    static constexpr bool with_parent = true;
    template <class Fn>
    void operator()(const gs::GridView<2>&, const gs::At&, Fn&&) const {}
    bool admit(double) { return true; }
};
static_assert(!c::moves<2, ParentlessJumps>);
static_assert(c::cells<2, gs::FlatCells<2>> && c::cells<2, gs::FlatCells<2, true>> && c::cells<3, gs::TiledCells<3>>);
static_assert(!c::cells<2, gs::FlatStore>);
static_assert(c::cells<2, gs::Saturating<gs::FlatCells<2, true>>> && c::cells<2, gs::Saturating<gs::TiledCells<2>>>);
static_assert(c::term<gs::MapTerm> && c::term<gs::planning::GoalTerm<2, 8>> && c::term<gs::planning::GoalSetTerm<3, 0>>);
static_assert(!c::term<gs::NoMoreGoals>);
static_assert(c::limit<gs::NoLimit> && c::limit<gs::ExpansionLimit> && !c::limit<gs::MapTerm>);
static_assert(c::listener<gs::NoListener> && c::listener<gs::ExpansionOrder> && !c::listener<gs::NoLimit>);
static_assert(c::state_space<2, gs::CellSpace<2>> && c::state_space<3, gs::CellSpace<3>>);
static_assert(!c::state_space<2, gs::Coordinates<2>>);  // numbers to cells, but not back
static_assert(c::relax<gs::StepRelax> && !c::relax<gs::NoListener>);
// Space and time: (time, cell) moves on the stacked grid; safe intervals are
// a state space of their own, whose successors are given the arrival time.
static_assert(c::moves<3, gs::mapf::TimedMoves> && !c::takes_cost<gs::mapf::TimedMoves>);
static_assert(c::moves<2, gs::mapf::IntervalMoves> && c::takes_cost<gs::mapf::IntervalMoves>);
static_assert(!c::takes_parent<gs::mapf::IntervalMoves> && !c::takes_cost<gs::JumpMoves<8, true>>);
static_assert(c::state_space<2, gs::mapf::IntervalSpace>);
struct TimelessIntervals {
    static constexpr bool with_cost = true;
    template <class Fn>
    void operator()(const gs::GridView<2>&, const gs::At&, Fn&&) const {}
    bool admit(double) { return true; }
};
static_assert(!c::moves<2, TimelessIntervals>);

int main() { return 0; }
