"""Jump point search (Grid.astar with algorithm="jps", and "auto" where it
applies): costs against SciPy's Dijkstra on the explicit move graph, every
path legal move by move, the same optimum as A*, batches, limits, refusals
and stops."""

import itertools
import math
import sys
from pathlib import Path

import numpy as np
import pytest

import gridsearch
from helpers import check_stop, loop_turns_during, planner_child
from oracle import check_path, move_graph, oracle

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "examples"))
from common import read_map  # noqa: E402

RULES = [(4, True), (8, True), (8, False)]  # (connectivity, corner_cutting); 4 ignores the corner rule
MODES = list(itertools.product(RULES, ("enter", "mean"), (False, True)))


def uniform_grid(rng, shape, blocked, cost):
    grid = np.full(shape, float(cost))
    grid[rng.random(shape) < blocked] = np.inf
    return grid


TABLE = pytest.mark.parametrize("table", [False, True], ids=["scanned", "precomputed"])


@TABLE
def test_costs_match_dijkstra_on_random_grids_of_every_rule_and_step_mode(table):
    rng = np.random.default_rng(26)
    from scipy.sparse.csgraph import dijkstra

    for case in range(60):
        shape = (int(rng.integers(1, 24)), int(rng.integers(1, 40)))
        cost = uniform_grid(rng, shape, rng.uniform(0, 0.45), (1.0, 2.5, 0.0)[case % 3])
        free = np.argwhere(np.isfinite(cost))
        if len(free) == 0:
            continue
        starts = free[rng.integers(len(free), size=3)]
        for ((conn, corners), model, uniform) in MODES:
            grid = gridsearch.Grid(cost, connectivity=conn, corner_cutting=corners, cost_model=model,
                                   use_uniform_step_cost=uniform, precompute_jumps=table)
            dist = dijkstra(move_graph(cost, conn, corners, model, uniform),
                            indices=[int(np.ravel_multi_index(s, shape)) for s in starts])
            for k, s in enumerate(starts):
                for t in free[rng.integers(len(free), size=6)]:
                    s_, t_ = tuple(map(int, s)), tuple(map(int, t))
                    want = dist[k, np.ravel_multi_index(t_, shape)]
                    r = grid.astar(s_, t_, algorithm="jps", visited=True)
                    where = (shape, s_, t_, conn, corners, model, uniform)
                    if math.isinf(want):
                        assert r.status == "no_path" and len(r.path) == 0, where
                        continue
                    assert r.found and r.cost == pytest.approx(want, rel=1e-12, abs=1e-12), where
                    check_path(r, cost, s_, t_, conn, corners, model, uniform)
                    # expansions counts the jump points expanded, and visited marks them
                    assert int(r.visited.sum()) == r.expansions


@TABLE
def test_costs_match_dijkstra_on_every_map(table):
    from scipy.sparse.csgraph import dijkstra

    rng = np.random.default_rng(7)
    maps = sorted((ROOT / "data" / "maps").glob("*.map"))
    assert len(maps) >= 5
    for path in maps:
        walk = read_map(path)
        cost = np.where(walk, 1.0, np.inf)
        free = np.argwhere(walk)
        starts = free[rng.integers(len(free), size=3)]
        for (conn, corners) in RULES:
            graph = move_graph(cost, conn, corners, "enter", False)
            dist = dijkstra(graph, indices=[int(np.ravel_multi_index(s, walk.shape)) for s in starts])
            grid = gridsearch.Grid(walk, connectivity=conn, corner_cutting=corners, precompute_jumps=table)
            for k, s in enumerate(starts):
                goals = free[rng.integers(len(free), size=15)]
                rows = np.hstack([np.repeat(s[None], len(goals), 0), goals])
                for t, r in zip(goals, grid.astar_batch(rows, algorithm="jps")):
                    want = dist[k, np.ravel_multi_index(tuple(t), walk.shape)]
                    if math.isinf(want):
                        assert r.status == "no_path"
                    else:
                        assert r.cost == pytest.approx(want, rel=1e-12), (path.name, s, t, conn, corners)
                        check_path(r, cost, tuple(s), tuple(t), conn, corners, "enter", False)


@TABLE
def test_the_same_optimum_as_astar_on_ten_thousand_queries(table):
    rng = np.random.default_rng(10_000)
    done = 0
    for case in itertools.count():
        if done >= 10_000:
            break
        (conn, corners), model, uniform = MODES[case % len(MODES)]
        shape = (int(rng.integers(2, 70)), int(rng.integers(2, 70)))
        walk = rng.random(shape) >= rng.uniform(0, 0.4)
        if case % 5 == 0:  # rooms and corridors: long walls with gaps
            walk[:: int(rng.integers(3, 8))] = False
            walk[rng.random(shape) < 0.1] = True
        free = np.argwhere(walk)
        if len(free) == 0:
            continue
        queries = np.hstack([free[rng.integers(len(free), size=400)], free[rng.integers(len(free), size=400)]])
        grid = gridsearch.Grid(walk, connectivity=conn, corner_cutting=corners, cost_model=model,
                               use_uniform_step_cost=uniform, precompute_jumps=table)
        jps = grid.astar_batch(queries, algorithm="jps")
        plain = grid.astar_batch(queries, algorithm="astar")
        for q, a, b in zip(queries, jps, plain):
            assert a.status == b.status and a.cost == pytest.approx(b.cost, rel=1e-12), (shape, q, conn, corners)
        done += len(queries)


@TABLE
def test_edges_of_the_grid_and_of_the_query(table):
    for ((conn, corners), model, uniform) in MODES:
        opts = dict(connectivity=conn, corner_cutting=corners, cost_model=model, use_uniform_step_cost=uniform,
                    precompute_jumps=table)
        for shape in ((1, 1), (1, 37), (37, 1), (1, 200), (200, 1), (2, 130)):
            walk = np.ones(shape, bool)
            grid = gridsearch.Grid(walk, **opts)
            far = (shape[0] - 1, shape[1] - 1)
            for s, t in (((0, 0), far), (far, (0, 0)), ((0, 0), (0, 0)), (far, far)):
                r = grid.astar(s, t, algorithm="jps")
                want = oracle(walk.astype(float), s, t, conn, corners, model, uniform)[0]
                assert r.cost == pytest.approx(want, rel=1e-12), (shape, s, t, opts)
                check_path(r, walk.astype(float), s, t, conn, corners, model, uniform)
        # A goal on the border behind a wall, blocked ends, and start == goal
        walk = np.ones((9, 70), bool)
        walk[:, 66] = False
        walk[4, 66] = True
        grid = gridsearch.Grid(walk, **opts)
        for s, t in (((0, 0), (8, 69)), ((8, 69), (0, 69)), ((4, 0), (0, 69))):
            want = oracle(np.where(walk, 1.0, np.inf), s, t, conn, corners, model, uniform)[0]
            assert grid.astar(s, t, algorithm="jps").cost == pytest.approx(want, rel=1e-12)
        assert grid.astar((0, 66), (0, 0), algorithm="jps").status == "no_path"
        assert grid.astar((0, 0), (0, 66), algorithm="jps").status == "no_path"
        same = grid.astar((3, 3), (3, 3), algorithm="jps", visited=True)
        assert same.cost == 0.0 and same.path.tolist() == [[3, 3]] and same.expansions == 1


def test_auto_takes_jumps_exactly_where_they_give_the_optimum():
    rng = np.random.default_rng(3)
    walk = rng.random((60, 60)) > 0.25
    walk[0, 0] = walk[59, 59] = True
    s, t = (0, 0), (59, 59)
    for cells in (walk, np.where(walk, 3.0, np.inf)):
        grid = gridsearch.Grid(cells)
        jps, plain, auto = (grid.astar(s, t, algorithm=a) for a in ("jps", "astar", "auto"))
        assert (auto.expansions, auto.path.tolist()) == (jps.expansions, jps.path.tolist())
        assert jps.expansions < plain.expansions and jps.cost == pytest.approx(plain.cost, rel=1e-12)
    # Where they would not: costs that differ, w, a heuristic map, several goals, 3D
    varied = np.where(walk, rng.integers(1, 4, walk.shape), np.inf)
    grid = gridsearch.Grid(walk)
    refusals = [
        (lambda a: gridsearch.Grid(varied).astar(s, t, algorithm=a), "every walkable cell to cost the same"),
        (lambda a: grid.astar(s, t, w=1.5, algorithm=a), "takes w = 1"),
        (lambda a: grid.astar(s, t, heuristic=np.zeros(walk.shape), algorithm=a), "not a heuristic map"),
        (lambda a: grid.astar(s, [t, (5, 5)], algorithm=a), "takes one goal"),
        (lambda a: grid.astar_batch([[0, 0, 59, 59]], w=2.0, algorithm=a)[0], "takes w = 1"),
        (lambda a: gridsearch.Grid(np.ones((4, 4, 4), bool)).astar((0, 0, 0), (3, 3, 3), algorithm=a), "2D grids"),
    ]
    for call, why in refusals:
        assert call("auto").expansions == call("astar").expansions
        with pytest.raises(ValueError, match=f'algorithm "jps" does not apply: .*{why}'):
            call("jps")
    for cells in (varied, np.ones((4, 4, 4), bool)):
        with pytest.raises(ValueError, match="precompute_jumps applies to 2D grids whose walkable cells all cost"):
            gridsearch.Grid(cells, precompute_jumps=True)
    # With a table, "auto" looks the jumps up: the same optimum, found the same way as "jps"
    tabled = gridsearch.Grid(walk, precompute_jumps=True)
    auto, jps = tabled.astar(s, t), tabled.astar(s, t, algorithm="jps")
    assert (auto.expansions, auto.cost) == (jps.expansions, jps.cost)
    assert auto.cost == pytest.approx(grid.astar(s, t, algorithm="astar").cost, rel=1e-12)


@TABLE
def test_limits_and_batches(table):
    rng = np.random.default_rng(4)
    walk = rng.random((80, 90)) > 0.3
    free = np.argwhere(walk)
    queries = np.hstack([free[rng.integers(len(free), size=60)], free[rng.integers(len(free), size=60)]])
    grid = gridsearch.Grid(walk, corner_cutting=False, precompute_jumps=table)
    one = [grid.astar(q[:2], q[2:], algorithm="jps", visited=True) for q in queries]
    for threads in (1, 2):
        for a, b in zip(one, grid.astar_batch(queries, algorithm="jps", visited=True, threads=threads)):
            assert (a.status, a.cost, a.expansions, a.path.tolist()) == (b.status, b.cost, b.expansions,
                                                                          b.path.tolist())
            assert np.array_equal(a.visited, b.visited)
    far = max((r for r in one if r.found), key=lambda r: r.expansions)
    s, t = tuple(far.path[0]), tuple(far.path[-1])
    stopped = grid.astar(s, t, algorithm="jps", max_expansions=far.expansions - 1)
    assert stopped.status == "max_expansions" and len(stopped.path) == 0
    assert grid.astar(s, t, algorithm="jps", max_expansions=far.expansions).found
    # (jump costs are sums of runs, which may differ from the step sum in the last bits)
    assert grid.astar(s, t, algorithm="jps", max_cost=far.cost * (1 + 1e-9)).found
    assert grid.astar(s, t, algorithm="jps", max_cost=far.cost * (1 - 1e-9)).status == "max_cost"


def pillars(n):
    """A blocked cell every third row and column, the far corner walled in:
    millions of jump points, all expanded before the goal is found out of reach."""
    walk = np.ones((n, n), bool)
    walk[::3, ::3] = False
    walk[n - 3:, n - 3:] = False
    walk[n - 1, n - 1] = True
    return walk


def test_the_lock_is_released_during_a_search():
    grid = gridsearch.Grid(pillars(1500))
    assert loop_turns_during(lambda: grid.astar((1, 1), (1499, 1499), algorithm="jps")) > 10000


@pytest.mark.parametrize("call", ['planner.astar((1, 1), (n - 1, n - 1), algorithm="jps")',
                                  'planner.astar_batch([[1, 1, n - 1, n - 1]] * 8, algorithm="jps", threads=2)'])
def test_ctrl_c_stops_jump_point_search(call):
    code = planner_child(call, 'planner.astar((1, 1), (1, 5), algorithm="jps").cost',
                         "n = 4500; planner = gridsearch.Grid(pillars(n))")
    check_stop(code, "next 4.0")
