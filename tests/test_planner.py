"""The planner gridsearch.Grid: costs checked against SciPy's Dijkstra on the
same graph, paths checked move by move, limits, batches, errors."""

import itertools
import math
import pickle

import numpy as np
import pytest

import astar
import gridsearch
from helpers import check_stop, loop_turns_during, planner_child, serpentine
from oracle import CONNECTIVITY, check_path, free_cells, oracle, random_costs

@pytest.mark.parametrize("dim", [2, 3])
def test_costs_are_the_cheapest_for_every_move_set_rule_and_model(dim):
    rng = np.random.default_rng(dim)
    for case in range(40 if dim == 2 else 24):
        shape = tuple(int(v) for v in rng.integers(2, 14 if dim == 2 else 7, dim))
        cost = random_costs(rng, shape, rng.uniform(0, 0.35))
        if not np.isfinite(cost).any():
            continue
        if case % 4 == 0:
            cost = np.where(np.isfinite(cost), 1.0, np.inf)  # unit costs take their own path
        s, t = free_cells(rng, cost)
        for connectivity in CONNECTIVITY[dim]:
            for corner_cutting, model, uniform in itertools.product((True, False), ("enter", "mean"), (False, True)):
                grid = gridsearch.Grid(cost, connectivity=connectivity, corner_cutting=corner_cutting,
                                       cost_model=model, use_uniform_step_cost=uniform)
                want, _ = oracle(cost, s, t, connectivity, corner_cutting, model, uniform)
                r = grid.astar(s, t, visited=True)
                assert r.cost == pytest.approx(want, rel=1e-12, abs=0), (shape, s, t, connectivity, corner_cutting,
                                                                         model, uniform)
                assert r.status == ("found" if math.isfinite(want) else "no_path")
                assert int(r.visited.sum()) == r.expansions
                if r.found:
                    check_path(r, cost, s, t, connectivity, corner_cutting, model, uniform)


def test_zero_cost_cells_and_bool_grids():
    rng = np.random.default_rng(5)
    cost = rng.integers(0, 3, (20, 20)).astype(float)  # many cells cost 0
    cost[rng.random(cost.shape) < 0.2] = np.inf
    s, t = free_cells(rng, cost)
    for model in ("enter", "mean"):
        r = gridsearch.Grid(cost, cost_model=model).astar(s, t)
        assert r.cost == pytest.approx(oracle(cost, s, t, 8, True, model, False)[0], rel=1e-12)
    # A bool grid: both models give the fixed searches' step costs and optimum.
    walls = rng.random((40, 40)) > 0.3
    walls[0, 0] = walls[39, 39] = True
    for model in ("enter", "mean"):
        for uniform in (False, True):
            r = gridsearch.Grid(walls, cost_model=model, use_uniform_step_cost=uniform).astar((0, 0), (39, 39))
            assert r.cost == pytest.approx(astar.astar2D(walls, 0, 0, 39, 39, uniform)[1], rel=1e-12)


def test_weighted_search_and_heuristic_maps():
    rng = np.random.default_rng(11)
    cost = random_costs(rng, (60, 60), 0.25)
    cost[0, 0] = cost[59, 59] = 1.0
    grid = gridsearch.Grid(cost, cost_model="mean", corner_cutting=False)
    optimal = grid.astar((0, 0), (59, 59))
    for w in (1.5, 3.0):
        r = grid.astar((0, 0), (59, 59), w=w)
        assert optimal.cost <= r.cost <= w * optimal.cost * (1 + 1e-12)
        check_path(r, cost, (0, 0), (59, 59), 8, False, "mean", False)
    # The exact cost-to-goal field as the heuristic: only cells on cheapest paths are expanded.
    _, to_goal = oracle(cost, (59, 59), (0, 0), 8, False, "mean", False)  # mean costs are the same both ways
    exact = grid.astar((0, 0), (59, 59), heuristic=to_goal)
    assert exact.cost == pytest.approx(optimal.cost, rel=1e-12)
    assert exact.expansions < optimal.expansions / 4
    zero = grid.astar((0, 0), (59, 59), heuristic=np.zeros(cost.shape))
    assert zero.cost == pytest.approx(optimal.cost, rel=1e-12) and zero.expansions >= optimal.expansions


def test_limits_stop_the_search_and_say_so():
    grid = gridsearch.Grid(np.ones((50, 50), bool))
    full = grid.astar((0, 0), (49, 0), algorithm="astar")
    assert full.status == "found" and full.cost == 49.0
    r = grid.astar((0, 0), (49, 0), max_expansions=10, visited=True, algorithm="astar")
    assert (r.status, r.expansions, r.cost, len(r.path), int(r.visited.sum())) == ("max_expansions", 10, math.inf, 0, 10)
    assert grid.astar((0, 0), (49, 0), max_expansions=full.expansions, algorithm="astar").found
    assert grid.astar((0, 0), (49, 0), max_expansions=full.expansions - 1, algorithm="astar").status == "max_expansions"
    assert grid.astar((0, 0), (49, 0), max_cost=49.0).found
    stopped = grid.astar((0, 0), (49, 0), max_cost=48.5, visited=True)
    assert stopped.status == "max_cost" and stopped.cost == math.inf and len(stopped.path) == 0
    assert grid.astar((3, 3), (3, 3), max_cost=0.0).cost == 0.0
    assert grid.astar((3, 3), (3, 3), max_expansions=0).status == "max_expansions"
    # A goal that cannot be reached at all is "no_path", even with a limit that never fired.
    walled = np.ones((20, 20), bool)
    walled[10, :] = False
    assert gridsearch.Grid(walled).astar((0, 0), (19, 19), max_cost=1e9).status == "no_path"
    assert gridsearch.Grid(walled).astar((0, 0), (19, 19), max_cost=3, algorithm="astar").status == "max_cost"
    # Jump point search proves it out of reach without a move the limit refuses.
    assert gridsearch.Grid(walled).astar((0, 0), (19, 19), max_cost=3, algorithm="jps").status == "no_path"


def test_endpoints_and_results():
    cost = np.full((6, 7), 2.0)
    cost[2, 3] = np.inf
    grid = gridsearch.Grid(cost)
    blocked = grid.astar((2, 3), (0, 0), visited=True)
    assert (blocked.status, blocked.expansions, blocked.cost, blocked.path.shape) == ("no_path", 0, math.inf, (0, 2))
    assert not blocked.visited.any()
    same = grid.astar(np.array([4, 4]), [4, 4])
    assert same.path.tolist() == [[4, 4]] and same.cost == 0.0 and same.expansions == 1
    path, cost_, expansions, visited = grid.astar((0, 0), (5, 6))  # unpacks like the four-tuple
    assert visited is None and cost_ == pytest.approx(2 * (5 * math.sqrt(2) + 1))
    r = pickle.loads(pickle.dumps(grid.astar((0, 0), (5, 6))))
    assert r.status == "found" and r.cost == cost_
    assert "status='found'" in repr(r)


def test_the_grid_owns_its_cells():
    cells = np.ones((30, 30))
    grid = gridsearch.Grid(cells)
    before = grid.astar((0, 0), (29, 29))
    cells[:, 15] = np.inf
    cells.resize((2, 2), refcheck=False)
    after = grid.astar((0, 0), (29, 29))
    assert after.cost == before.cost and np.array_equal(after.path, before.path)


@pytest.mark.parametrize("dim", [2, 3])
def test_batch_rows_equal_single_calls(dim):
    rng = np.random.default_rng(20 + dim)
    cost = random_costs(rng, (40, 50) if dim == 2 else (12, 10, 9), 0.2)
    grid = gridsearch.Grid(cost, corner_cutting=False, cost_model="mean")
    rows = np.array([np.concatenate(free_cells(rng, cost)) for _ in range(30)])
    for kwargs in ({}, {"w": 2.0}, {"max_expansions": 50}, {"max_cost": 30.0}):
        want = [grid.astar(r[:dim], r[dim:], visited=True, **kwargs) for r in rows]
        for threads in (1, 2):
            got = grid.astar_batch(rows, threads=threads, visited=True, **kwargs)
            for a, b in zip(got, want):
                assert (a.status, a.cost, a.expansions) == (b.status, b.cost, b.expansions)
                assert np.array_equal(a.path, b.path) and np.array_equal(a.visited, b.visited)
    assert all(r.visited is None for r in grid.astar_batch(rows[:3]))
    assert grid.astar_batch(np.zeros((0, 2 * dim), int)) == []
    with pytest.raises(ValueError, match="queries row 0"):
        grid.astar_batch([[0] * dim + [99] * dim])


def test_bad_arguments_are_named():
    grid = gridsearch.Grid(np.ones((5, 6), bool))
    cases = [
        (lambda: gridsearch.Grid(np.ones(5)), ValueError, "cells must be a 2D or 3D array, got 1 dimension"),
        (lambda: gridsearch.Grid(np.ones((2, 2, 2, 2))), ValueError, "got 4 dimension"),
        (lambda: gridsearch.Grid(np.ones((0, 3))), ValueError, r"cells must not be empty, got shape \(0, 3\)"),
        (lambda: gridsearch.Grid(np.array([["a", "b"]])), TypeError, "bool or real-valued array, got dtype <U1"),
        (lambda: gridsearch.Grid(np.ones((2, 2), complex)), TypeError, "got dtype complex128"),
        (lambda: gridsearch.Grid(np.array([[1.0, np.nan], [1, 1]])), ValueError, r"cell \(0, 1\) costs nan"),
        (lambda: gridsearch.Grid(np.array([[1.0, 1], [-2, 1]])), ValueError, r"cell \(1, 0\) costs -2; a cost must be >= 0"),
        (lambda: gridsearch.Grid(np.array([[1.0, -np.inf]])), ValueError, r"cell \(0, 1\) costs -inf"),
        (lambda: gridsearch.Grid(np.ma.masked_array(np.ones((2, 2)))), ValueError, "must not be a masked array"),
        (lambda: gridsearch.Grid(np.ones((3, 3)), connectivity=6), ValueError, "connectivity must be 4 or 8 for a 2D grid, got 6"),
        (lambda: gridsearch.Grid(np.ones((3, 3, 3)), connectivity=8), ValueError, "must be 6 or 18 or 26 for a 3D grid"),
        (lambda: gridsearch.Grid(np.ones((3, 3)), connectivity=True), TypeError, "connectivity must be an integer"),
        (lambda: gridsearch.Grid(np.ones((3, 3)), cost_model="max"), ValueError, "cost_model must be one of 'enter', 'mean', got 'max'"),
        (lambda: grid.astar((0, 0, 0), (1, 1)), ValueError, "start must have 2 coordinates, got 3"),
        (lambda: grid.astar((0, 0), (5, 1)), ValueError, r"goal \(5, 1\) lies outside the grid of shape \(5, 6\)"),
        (lambda: grid.astar((-1, 0), (1, 1)), ValueError, r"start \(-1, 0\) lies outside"),
        (lambda: grid.astar((2**40, 0), (1, 1)), ValueError, "lies outside"),
        (lambda: grid.astar((0.5, 0), (1, 1)), TypeError, "start must hold integers, got float 0.5"),
        (lambda: grid.astar((True, 0), (1, 1)), TypeError, "start must hold integers, got True"),
        (lambda: grid.astar(3, (1, 1)), TypeError, "start must be a cell of 2 integers, got int 3"),
        (lambda: grid.astar("ab", (1, 1)), TypeError, "start must be a cell of 2 integers, got str"),
        (lambda: grid.astar((0, 0), (1, 1), w=0.5), ValueError, "w must be >= 1, got 0.5"),
        (lambda: grid.astar((0, 0), (1, 1), w=math.nan), ValueError, "w must be >= 1, got nan"),
        (lambda: grid.astar((0, 0), (1, 1), max_cost=math.nan), ValueError, "max_cost must not be NaN"),
        (lambda: grid.astar((0, 0), (1, 1), max_expansions=-1), ValueError, "max_expansions must be >= 0, got -1"),
        (lambda: grid.astar((0, 0), (1, 1), max_expansions=1.5), TypeError, None),
        (lambda: grid.astar((0, 0), (1, 1), heuristic=np.zeros((6, 5))), ValueError, r"heuristic must have the grid's shape \(5, 6\), got \(6, 5\)"),
        (lambda: grid.astar((0, 0), (1, 1), heuristic=np.full((5, 6), np.nan)), ValueError, r"heuristic holds NaN at \(0, 0\)"),
        (lambda: grid.astar_batch([[0, 0, 1, 1]], threads=0), ValueError, "threads must be at least 1"),
        (lambda: grid.astar_batch([[0, 0, 1, 1]], w=0), ValueError, "w must be >= 1"),
    ]
    for call, kind, message in cases:
        with pytest.raises(kind, match=message):
            call()


def test_searches_release_the_interpreter_lock():
    # While one thread runs a long search, another keeps running Python code.
    planner = gridsearch.Grid(serpentine(1500))
    assert loop_turns_during(lambda: planner.astar((0, 0), (1498, 0), algorithm="astar")) > 10000


CHILD = planner_child("planner.astar((0, 0), (5998, 0), algorithm=\"astar\")", "planner.astar((0, 0), (0, 2)).cost")


def test_ctrl_c_stops_a_long_search():
    check_stop(CHILD, "next 2.0")


MANY = planner_child("planner.astar_batch(np.array([[0, 0, 1000, 0]] * 1024), threads=1024)",
                     "planner.astar_batch([[0, 0, 0, 2]], threads=1024)[0].cost")


def test_ctrl_c_stops_a_batch_asked_for_many_threads():
    # More threads than CPUs only take turns: each would need its turn to see the stop.
    check_stop(MANY, "next 2.0")


@pytest.mark.parametrize("dim", [2, 3])
def test_several_goals_give_the_cheapest_of_them(dim):
    rng = np.random.default_rng(30 + dim)
    for case in range(30 if dim == 2 else 12):
        shape = tuple(int(v) for v in rng.integers(3, 16 if dim == 2 else 7, dim))
        cost = random_costs(rng, shape, rng.uniform(0, 0.3))
        if not np.isfinite(cost).any():
            continue
        start, _ = free_cells(rng, cost)
        k = (2, 3, 12)[case % 3]  # 12: the estimate of the box around the goals
        goals = rng.integers(0, shape, (k, dim))
        connectivity = CONNECTIVITY[dim][case % len(CONNECTIVITY[dim])]
        model = ("enter", "mean")[case % 2]
        grid = gridsearch.Grid(cost, connectivity=connectivity, cost_model=model, corner_cutting=case % 4 != 1)
        _, dist = oracle(cost, start, start, connectivity, case % 4 != 1, model, False)
        want = min(dist[tuple(t)] if np.isfinite(cost[tuple(t)]) else np.inf for t in goals)
        r = grid.astar(start, goals)
        assert r.cost == pytest.approx(want, rel=1e-12, abs=0), (case, start, goals.tolist())
        if math.isfinite(want):
            end = tuple(int(v) for v in r.path[-1])
            assert end in {tuple(int(v) for v in t) for t in goals} and r.cost == pytest.approx(dist[end], rel=1e-12)
            check_path(r, cost, start, end, connectivity, case % 4 != 1, model, False)
            assert grid.astar(start, goals, w=2).cost <= 2 * want * (1 + 1e-12)
        else:
            assert r.status == "no_path"


def test_several_goals_edge_cases():
    cost = np.ones((5, 9))
    cost[:, 4] = np.inf
    cost[2, 4] = 1.0
    grid = gridsearch.Grid(cost)
    # Blocked goals count for nothing; the start may be one of the goals.
    assert grid.astar((2, 0), [(0, 4), (2, 8)]).path[-1].tolist() == [2, 8]
    assert grid.astar((2, 0), [(2, 8), (2, 0)]).cost == 0
    assert grid.astar((2, 0), [(0, 4), (4, 4)]).status == "no_path"
    # The field toward the goals as the heuristic.
    goals = np.array([(0, 8), (4, 8)])
    field = grid.distance_field(goals, reverse=True)
    assert grid.astar((2, 0), goals, heuristic=field).cost == grid.astar((2, 0), goals).cost == field[2, 0]
    with pytest.raises(ValueError, match="goal must hold at least one cell"):
        grid.astar((0, 0), np.empty((0, 2), int))
    with pytest.raises(ValueError, match=r"goal row 1 \(5, 0\) lies outside the grid of shape \(5, 9\)"):
        grid.astar((0, 0), [(0, 1), (5, 0)])
    with pytest.raises(ValueError, match=r"goal must be one cell of 2 integers or an \(K, 2\) array"):
        grid.astar((0, 0), [(0, 1, 2)])
