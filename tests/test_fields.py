"""Distance fields on gridsearch.Grid: values checked against SciPy's Dijkstra
on the same graph (forward and reversed), following a field down, the forms
of origins, batches, errors, the interpreter lock and Ctrl-C."""

import itertools
import math
import os
import sys
import time

import numpy as np
import pytest

import gridsearch
from helpers import check_stop, loop_turns_during, planner_child, serpentine
from oracle import CONNECTIVITY, legal, move_graph, random_costs, step_cost


def expected_field(cost, origins, reverse, max_cost, **rules):
    """The field by SciPy's multi-source Dijkstra: from the origins over the
    move graph, or over its transpose for the costs toward them."""
    from scipy.sparse.csgraph import dijkstra

    free = [o for o in origins if math.isfinite(cost[o])]
    if not free:
        return np.full(cost.shape, np.inf)
    m = move_graph(cost, **rules)
    starts = [int(np.ravel_multi_index(o, cost.shape)) for o in free]
    dist = dijkstra(m.T if reverse else m, indices=starts, min_only=True).reshape(cost.shape)
    return np.where(dist <= max_cost, dist, np.inf)


def rule_sets(dim):
    for connectivity in CONNECTIVITY[dim]:
        for corner_cutting, model, uniform in itertools.product((True, False), ("enter", "mean"), (False, True)):
            yield dict(connectivity=connectivity, corner_cutting=corner_cutting, model=model, uniform=uniform)


def planner(cost, rules):
    return gridsearch.Grid(cost, connectivity=rules["connectivity"], corner_cutting=rules["corner_cutting"],
                           cost_model=rules["model"], use_uniform_step_cost=rules["uniform"])


def walk_cost(cost, path, rules):
    total = 0.0
    for a, b in zip(map(tuple, path[:-1]), map(tuple, path[1:])):
        assert legal(cost, a, b, rules["connectivity"], rules["corner_cutting"]), (a, b)
        total += step_cost(cost, a, b, tuple(np.subtract(b, a)), rules["model"], rules["uniform"])
    return total


@pytest.mark.parametrize("dim", [2, 3])
def test_fields_equal_dijkstra_both_ways_and_descend_at_their_cost(dim):
    rng = np.random.default_rng(10 + dim)
    for case in range(24 if dim == 2 else 10):
        shape = tuple(int(v) for v in rng.integers(2, 13 if dim == 2 else 6, dim))
        cost = random_costs(rng, shape, rng.uniform(0, 0.35))
        if case % 4 == 0:
            cost = np.where(np.isfinite(cost), 1.0, np.inf)
        if case % 5 == 1:
            cost[tuple(rng.integers(0, shape))] = 0.0  # a free cell
        origins = [tuple(int(v) for v in rng.integers(0, shape)) for _ in range(int(rng.integers(1, 4)))]
        max_cost = math.inf if case % 3 else float(rng.uniform(2, 12))
        for rules in rule_sets(dim):
            grid = planner(cost, rules)
            for reverse in (False, True):
                got = grid.distance_field(np.array(origins), reverse=reverse, max_cost=max_cost)
                want = expected_field(cost, origins, reverse, max_cost, **rules)
                assert got.dtype == np.float64 and got.shape == shape
                np.testing.assert_allclose(got, want, rtol=1e-12, atol=0, err_msg=str((case, rules, reverse)))
            # Every reachable cell leads down a reversed field at the field's cost.
            cells = np.argwhere(np.isfinite(got))
            steps = grid.next_steps(got, cells)
            for cell, step in zip(map(tuple, cells), steps):
                path = grid.descend(got, cell)
                assert path.dtype == np.int32 and tuple(path[0]) == cell and got[tuple(path[-1])] == 0
                assert walk_cost(cost, path, rules) == pytest.approx(got[cell], rel=1e-12, abs=1e-12)
                assert tuple(step) == tuple(path[1] if len(path) > 1 else path[0])


@pytest.mark.parametrize("dim", [2, 3])
def test_descents_cross_zero_cost_plateaus(dim):
    """Regions of zero-cost cells make many neighbours equal: descending and
    stepping still reach an origin at the field's cost, and agents stepping
    together never swap places back and forth."""
    rng = np.random.default_rng(40 + dim)
    for case in range(12 if dim == 2 else 6):
        shape = tuple(int(v) for v in rng.integers(4, 14 if dim == 2 else 7, dim))
        cost = np.where(rng.random(shape) < 0.6, 0.0, random_costs(rng, shape, 0.15))
        origins = [tuple(int(v) for v in rng.integers(0, shape)) for _ in range(int(rng.integers(1, 3)))]
        for rules in rule_sets(dim):
            grid = planner(cost, rules)
            field = grid.distance_field(np.array(origins), reverse=True)
            np.testing.assert_allclose(field, expected_field(cost, origins, True, math.inf, **rules), rtol=1e-12)
            cells = np.argwhere(np.isfinite(field))
            for cell in map(tuple, cells):
                path = grid.descend(field, cell)
                assert field[tuple(path[-1])] == 0
                assert walk_cost(cost, path, rules) == pytest.approx(field[cell], rel=1e-12, abs=1e-12)
                assert len({tuple(c) for c in path}) == len(path)  # no cell twice
            # Stepping every cell at once follows the same paths.
            at = cells.copy()
            for _ in range(field.size + 1):
                nxt = grid.next_steps(field, at)
                if np.array_equal(nxt, at):
                    break
                at = nxt
            assert (field[tuple(at.T)] == 0).all()
    g = gridsearch.Grid(np.array([[1.0, 0.0, 0.0, 1.0]]))
    f = g.distance_field((0, 3), reverse=True)
    assert g.next_steps(f, [(0, 1), (0, 2)]).tolist() == [[0, 2], [0, 3]]
    assert g.descend(f, (0, 0)).tolist() == [[0, 0], [0, 1], [0, 2], [0, 3]]


def test_a_level_way_is_searched_only_up_to_the_nearest_exit():
    # A zero-cost plain with a wall of cost 1 near one side: the way down from
    # a cell beside the wall is two moves, whatever the plain's size (a search
    # of the whole plain per step took seconds here; the latency is measured
    # in benchmarks/fields.py).
    cost = np.zeros((3000, 3000))
    cost[:, 1] = 1.0
    g = gridsearch.Grid(cost)
    field = g.distance_field((0, 0), reverse=True)
    start = time.perf_counter()
    path = g.descend(field, (5, 3))
    steps = g.next_steps(field, [[5, 3], [6, 3], [7, 3], [8, 3]])
    assert time.perf_counter() - start < 5.0  # a search of the whole plain per step: over 20 s
    assert field[tuple(path[-1])] == 0 and len(path) <= 8
    assert (np.abs(steps - [[5, 3], [6, 3], [7, 3], [8, 3]]).max(axis=1) == 1).all()


def test_a_field_that_does_not_lead_down_fails_at_once():
    g = gridsearch.Grid(np.ones((2000, 2000), bool))
    with pytest.raises(ValueError, match=r"the field does not lead down from \(1000, 1000\): every move reaches a "
                                         r"higher value"):
        g.descend(np.ones((2000, 2000)), (1000, 1000))
    level = gridsearch.Grid(np.zeros((50, 50)))
    with pytest.raises(ValueError, match="it stays level and never leads lower"):
        level.descend(np.ones((50, 50)), (10, 10))
    assert level.next_steps(np.ones((50, 50)), (10, 10)).tolist() == [10, 10]


def test_integer_costs_are_exact_and_the_nearest_origin_wins():
    cost = np.array([[1, 2, 3, 4, 5, 6, 7]], float)
    grid = gridsearch.Grid(cost, connectivity=4)
    # From the origins (0, 0) and (0, 6): entering costs the entered cell.
    assert grid.distance_field([[0, 0], [0, 6]]).tolist() == [[0, 2, 5, 9, 11, 6, 0]]
    # Toward them: leaving a cell for its neighbour costs the neighbour.
    assert grid.distance_field([[0, 0], [0, 6]], reverse=True).tolist() == [[0, 1, 3, 6, 10, 7, 0]]
    assert grid.distance_field((0, 0), reverse=True, max_cost=6).tolist() == [[0, 1, 3, 6] + [np.inf] * 3]
    mean = gridsearch.Grid(cost, connectivity=4, cost_model="mean")
    np.testing.assert_array_equal(mean.distance_field((0, 3)), mean.distance_field((0, 3), reverse=True))


def test_origins_as_a_cell_an_array_or_a_mask():
    listed = gridsearch.Grid(np.ones((2, 3)))
    mask = [[True, False, False], [False, False, True]]  # a bool mask as nested lists
    assert listed.distance_field(mask)[0, 0] == listed.distance_field(mask)[1, 2] == 0
    assert listed.distance_field_batch([mask])[0, 1, 2] == 0
    cost = np.ones((6, 7))
    cost[2, 1:6] = np.inf
    grid = gridsearch.Grid(cost)
    mask = np.zeros(cost.shape, bool)
    mask[0, 3] = mask[5, 0] = True
    both = grid.distance_field(mask)
    np.testing.assert_array_equal(both, grid.distance_field([(0, 3), (5, 0)]))
    np.testing.assert_array_equal(both, grid.distance_field(np.array([[5, 0], [0, 3]], np.uint8)))
    np.testing.assert_array_equal(grid.distance_field((0, 3)), grid.distance_field(np.array([[0, 3]])))
    np.testing.assert_array_equal(both, np.minimum(grid.distance_field((0, 3)), grid.distance_field((5, 0))))
    # A blocked origin counts for nothing; none left (or none given) leaves every value inf.
    np.testing.assert_array_equal(grid.distance_field([(0, 3), (2, 2)]), grid.distance_field((0, 3)))
    for nothing in ([], np.zeros(cost.shape, bool), (2, 2), np.empty((0, 2), np.int64)):
        assert np.isinf(grid.distance_field(nothing)).all()


def test_batch_equals_single_fields():
    rng = np.random.default_rng(5)
    cost = random_costs(rng, (40, 50), 0.2)
    grid = gridsearch.Grid(cost, cost_model="mean", corner_cutting=False)
    sets = [(3, 4), [(0, 0), (39, 49)], np.isfinite(cost) & (rng.random(cost.shape) < 0.01), []]
    for threads in (1, 2):
        fields = grid.distance_field_batch(sets, reverse=True, max_cost=80, threads=threads)
        assert fields.shape == (4, 40, 50)
        for k, origins in enumerate(sets):
            np.testing.assert_array_equal(fields[k], grid.distance_field(origins, reverse=True, max_cost=80))
    assert grid.distance_field_batch([]).shape == (0, 40, 50)
    cube = gridsearch.Grid(np.ones((5, 6, 7), bool), connectivity=6)
    assert cube.distance_field_batch([(0, 0, 0)], threads=2)[0, 4, 5, 6] == 15


def test_following_a_field():
    grid = gridsearch.Grid(np.array([[1, 1, 1], [1, np.inf, 1], [1, 1, 1]]))
    field = grid.distance_field((2, 2), reverse=True)
    path = grid.descend(field, (0, 0))
    assert path.tolist() in ([[0, 0], [0, 1], [1, 2], [2, 2]], [[0, 0], [1, 0], [2, 1], [2, 2]])
    assert grid.descend(field, (2, 2)).tolist() == [[2, 2]]
    # Many agents at once; one cell in, one cell out; origins and unreachable cells stay.
    np.testing.assert_array_equal(grid.next_steps(field, [(0, 0), (2, 2), (1, 1)]),
                                  [path[1], [2, 2], [1, 1]])
    assert grid.next_steps(field, (2, 1)).tolist() == [2, 2]
    # Ties go to the first move in move order (rows, then columns, ascending).
    open_room = gridsearch.Grid(np.ones((3, 3)), connectivity=4)
    assert open_room.next_steps(open_room.distance_field((2, 2), reverse=True), (1, 1)).tolist() == [1, 2]


def test_bad_arguments_are_named():
    grid = gridsearch.Grid(np.ones((4, 5)))
    field = grid.distance_field((0, 0), reverse=True)
    walled = gridsearch.Grid(np.array([[1, np.inf, 1]]))
    cases = [
        (lambda: grid.distance_field((4, 0)), ValueError, "origins row 0 (4, 0) lies outside the grid of shape (4, 5)"),
        (lambda: grid.distance_field([(0, 0), (1, -1)]), ValueError, "origins row 1 (1, -1) lies outside"),
        (lambda: grid.distance_field((0, 0, 0)), ValueError,
         "origins must be one cell of 2 integers or an (K, 2) array of cells, got shape (3,)"),
        (lambda: grid.distance_field([0.5, 1]), TypeError, "origins must hold integers, got dtype float64"),
        (lambda: grid.distance_field(np.ones((2, 2), bool)), ValueError,
         "origins: a bool mask must have the grid's shape (4, 5), got (2, 2)"),
        (lambda: grid.distance_field(np.ma.masked_array([[0, 0]])), ValueError, "origins must not be a masked"),
        (lambda: grid.distance_field((0, 0), max_cost=math.nan), ValueError, "max_cost must not be NaN"),
        (lambda: grid.distance_field_batch(3), TypeError, "origin_sets must be a sequence of origin sets, got int"),
        (lambda: grid.distance_field_batch([(0, 0), (9, 9)]), ValueError, "origin_sets[1] row 0 (9, 9) lies outside"),
        (lambda: grid.distance_field_batch([(0, 0)], threads=0), ValueError, "threads"),
        (lambda: grid.descend(field[:3], (0, 0)), ValueError, "field must have the grid's shape (4, 5), got (3, 5)"),
        (lambda: grid.descend(field.astype(str), (0, 0)), TypeError, "field must be a real-valued array"),
        (lambda: grid.descend(field, (0, 5)), ValueError, "start (0, 5) lies outside the grid of shape (4, 5)"),
        (lambda: walled.descend(walled.distance_field((0, 0), reverse=True), (0, 2)), ValueError,
         "start (0, 2) has field value inf; it must be finite and >= 0"),
        (lambda: grid.descend(np.full((4, 5), 3.0), (1, 1)), ValueError, "the field does not lead down from (1, 1)"),
        (lambda: walled.descend(np.array([[0.0, 1, 2]]), (0, 1)), ValueError, "start (0, 1) is a blocked cell"),
        (lambda: grid.distance_field([[2**70, 1]]), ValueError, "origins row 0 (1180591620717411303424, 1) lies "
                                                                "outside the grid of shape (4, 5)"),
        (lambda: grid.next_steps(field, [(0, 0), (4, 4)]), ValueError, "cells row 1 (4, 4) lies outside"),
        (lambda: grid.next_steps(field, np.ones((4, 5), bool)), TypeError, "cells must hold integers, got dtype bool"),
    ]
    for call, kind, message in cases:
        with pytest.raises(kind) as info:
            call()
        assert message in str(info.value), (message, str(info.value))


def test_fields_release_the_interpreter_lock():
    planner = gridsearch.Grid(serpentine(1500))
    assert loop_turns_during(lambda: planner.distance_field((0, 0))) > 10000


CHILD = planner_child("for _ in range(20): planner.distance_field_batch([(0, 0)] * 8, threads=2)",
                      "planner.distance_field((0, 0), max_cost=2)[0, :4].tolist()")


def test_ctrl_c_stops_fields():
    check_stop(CHILD, "next [0.0, 1.0, 2.0, inf]")


def test_a_field_as_the_heuristic_leads_straight_along_one_cheapest_path():
    root = os.path.join(os.path.dirname(__file__), "..")
    sys.path.insert(0, os.path.join(root, "examples"))
    from common import query_pairs, read_map

    free = read_map(os.path.join(root, "data", "maps", "brc202d.map"))
    for model in ("enter", "mean"):
        grid = gridsearch.Grid(np.where(free, 1.0 + (np.arange(free.size) % 3).reshape(free.shape), np.inf),
                               cost_model=model)
        for start, goal in query_pairs(free, 4, seed=2):
            field = grid.distance_field(goal, reverse=True)
            r = grid.astar(start, goal, heuristic=field)
            assert r.cost == pytest.approx(field[start], rel=1e-12) and r.expansions == len(r.path)
