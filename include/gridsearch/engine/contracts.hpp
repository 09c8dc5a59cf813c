// The policies a search of the skeleton is made of, and what each must
// offer. Each contract is a compile-time test (a trait), so that a policy
// that does not meet it is refused by a static_assert naming the contract
// rather than by an error deep inside an instantiation. Today's slots:
//
//   Moves (successors)  operator()(grid, at, fn): calls fn(nx, ny, nz, n, step)
//                       for each move from `at`, in a fixed order; or, when
//                       the policy declares `with_parent = true`,
//                       operator()(grid, at, parent, fn), given the linear
//                       index `at` was reached from (-1 at the start);
//                       or, when it declares `with_cost = true`,
//                       operator()(grid, at, g, fn), given the cost `at`
//                       was reached with (an arrival time in space and time);
//                       admit(g): false for a tentative cost not to record.
//   Cells (state)       ref(at) -> Ref; state(Ref) -> uint8_t; g(Ref);
//                       reach(Ref, at, g, parent) -> stamp; close(Ref, at);
//                       parent(at); finish(open, visited) -> ZeroedBlock.
//   Open (queue)        push(f, Node); top() -> Node; pop(); empty(); clear();
//                       size(); at(k) (every entry, for finish).
//   Term (estimate)     operator()(at) -> double, the part of f added to g.
//   Limit               reached(expansions) -> bool, asked before each pop.
//   Relax               operator()(search, at, g, next, step) -> {g, parent}:
//                       the cost and parent a successor would take.
//   Space (states)      index(cell) -> int32; at(index) -> At; path(start,
//                       goal, parent_of) -> the path of a result.
//   Listener            expanded(at) as a cell is expanded; generated(at, g)
//                       as an entry is pushed for a cell reached with cost g.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "../base/grid.hpp"
#include "../memory/cells.hpp"
#include "../memory/zeroed.hpp"
#include "nodes.hpp"

namespace gridsearch::contracts {

namespace detail {

// A callable that takes a move's fields, for probing a Moves policy.
struct MoveSink {
    void operator()(int32_t, int32_t, int32_t, int32_t, double) const {}
};
// What a state space's path reads: the parent of a state.
struct ParentProbe {
    int32_t operator()(int32_t) const { return -1; }
};
// What Cells::finish reads of an open list: its entries.
struct OpenProbe {
    std::size_t size() const { return 0; }
    Node at(std::size_t) const { return {}; }
};

template <class, class = void>
struct is_open : std::false_type {};
template <class O>
struct is_open<O, std::void_t<decltype(std::declval<O&>().push(0.0, Node{})),
                              decltype(Node(std::declval<O&>().top())), decltype(std::declval<O&>().pop()),
                              decltype(bool(std::declval<const O&>().empty())), decltype(std::declval<O&>().clear()),
                              decltype(std::size_t(std::declval<const O&>().size())),
                              decltype(Node(std::declval<const O&>().at(std::size_t(0))))>> : std::true_type {};

template <class, class = void>
struct declares_parent : std::false_type {};
template <class M>
struct declares_parent<M, std::void_t<decltype(M::with_parent)>> : std::bool_constant<M::with_parent> {};

template <class, class = void>
struct declares_cost : std::false_type {};
template <class M>
struct declares_cost<M, std::void_t<decltype(M::with_cost)>> : std::bool_constant<M::with_cost> {};

// What a Moves policy's call takes besides the grid and the cell: 0 nothing,
// 1 the parent, 2 the cost.
template <class M>
inline constexpr int extra_argument = declares_parent<M>::value ? 1 : declares_cost<M>::value ? 2 : 0;

template <int Dim, class M, int Extra = extra_argument<M>, class = void>
struct is_moves : std::false_type {};
template <int Dim, class M>
struct is_moves<Dim, M, 0,
                std::void_t<decltype(std::declval<const M&>()(std::declval<const GridView<Dim>&>(), At{}, MoveSink{})),
                            decltype(bool(std::declval<M&>().admit(0.0)))>> : std::true_type {};
template <int Dim, class M>
struct is_moves<Dim, M, 2,
                std::void_t<decltype(std::declval<const M&>()(std::declval<const GridView<Dim>&>(), At{}, 0.0,
                                                              MoveSink{})),
                            decltype(bool(std::declval<M&>().admit(0.0)))>> : std::true_type {};
template <int Dim, class M>
struct is_moves<Dim, M, 1,
                std::void_t<decltype(std::declval<const M&>()(std::declval<const GridView<Dim>&>(), At{}, int32_t(0),
                                                              MoveSink{})),
                            decltype(bool(std::declval<M&>().admit(0.0)))>> : std::true_type {};

template <int Dim, class, class = void>
struct is_cells : std::false_type {};
template <int Dim, class C>
struct is_cells<
    Dim, C,
    std::void_t<typename C::Ref, decltype(std::declval<const C&>().ref(At{})),
                decltype(uint8_t(std::declval<const C&>().state(std::declval<typename C::Ref>()))),
                decltype(double(std::declval<const C&>().g(std::declval<typename C::Ref>()))),
                decltype(uint8_t(std::declval<C&>().reach(std::declval<typename C::Ref>(), At{}, 0.0, int32_t(0)))),
                decltype(std::declval<C&>().close(std::declval<typename C::Ref>(), At{})),
                decltype(int32_t(std::declval<const C&>().parent(At{}))),
                decltype(ZeroedBlock(std::declval<C&>().finish(std::declval<const OpenProbe&>(), true)))>>
    : std::true_type {};

template <class, class = void>
struct is_term : std::false_type {};
template <class T>
struct is_term<T, std::void_t<decltype(double(std::declval<const T&>()(At{})))>> : std::true_type {};

template <class, class = void>
struct is_limit : std::false_type {};
template <class L>
struct is_limit<L, std::void_t<decltype(bool(std::declval<const L&>().reached(int32_t(0))))>> : std::true_type {};

template <int Dim, class, class = void>
struct is_space : std::false_type {};
template <int Dim, class S>
struct is_space<Dim, S,
                std::void_t<decltype(int32_t(std::declval<const S&>().index(Cell{}))),
                            decltype(At(std::declval<const S&>().at(int32_t(0)))),
                            decltype(std::declval<const S&>().path(int32_t(0), int32_t(0), ParentProbe{}))>>
    : std::true_type {};

// A search as a relaxation sees it (it may read nothing of it).
struct SearchProbe {};

template <class, class = void>
struct is_relax : std::false_type {};
template <class R>
struct is_relax<R, std::void_t<decltype(double(std::declval<const R&>()(SearchProbe{}, At{}, 0.0, At{}, 0.0).g)),
                               decltype(int32_t(std::declval<const R&>()(SearchProbe{}, At{}, 0.0, At{}, 0.0).parent))>>
    : std::true_type {};

template <class, class = void>
struct is_listener : std::false_type {};
template <class L>
struct is_listener<L, std::void_t<decltype(std::declval<const L&>().expanded(At{})),
                                  decltype(std::declval<const L&>().generated(At{}, 0.0))>> : std::true_type {};

}  // namespace detail

template <class Open>
inline constexpr bool open_list = detail::is_open<Open>::value;
template <int Dim, class Moves>
inline constexpr bool moves = detail::is_moves<Dim, Moves>::value;
// Whether a Moves policy is given the parent of the cell it expands.
template <class Moves>
inline constexpr bool takes_parent = detail::declares_parent<Moves>::value;
// Whether a Moves policy is given the cost the cell it expands was reached with.
template <class Moves>
inline constexpr bool takes_cost = detail::extra_argument<Moves> == 2;
template <int Dim, class Cells>
inline constexpr bool cells = detail::is_cells<Dim, Cells>::value;
template <class Term>
inline constexpr bool term = detail::is_term<Term>::value;
template <class Limit>
inline constexpr bool limit = detail::is_limit<Limit>::value;
template <class Listener>
inline constexpr bool listener = detail::is_listener<Listener>::value;
template <int Dim, class Space>
inline constexpr bool state_space = detail::is_space<Dim, Space>::value;
template <class Relax>
inline constexpr bool relax = detail::is_relax<Relax>::value;

}  // namespace gridsearch::contracts
