"""Focal search on gridsearch.Grid: the bound rule checked expansion by
expansion against a brute-force model, costs against SciPy's optimum, keys,
batches, errors and Ctrl-C."""

import itertools
import math

import numpy as np
import pytest

import focal
import gridsearch
from helpers import check_stop, planner_child
from oracle import CONNECTIVITY, check_path, free_cells, legal, moves, oracle, random_costs, step_cost

TOL = 1e-9


def estimate(a, goal, connectivity, uniform, scale):
    """The least total move length from a to goal, times the smallest cell cost."""
    d = sorted(abs(int(p) - int(q)) for p, q in zip(a, goal))
    if connectivity in (4, 6):
        length = float(sum(d))
    elif uniform and connectivity in (8, 26):
        length = float(d[-1])
    elif connectivity == 8:
        length = (math.sqrt(2) - 1) * d[0] + d[1]
    elif connectivity == 26:
        length = (math.sqrt(3) - math.sqrt(2)) * d[0] + (math.sqrt(2) - 1) * d[1] + d[2]
    else:  # 18: moves change at most two axes
        lo, mid, hi = d
        if uniform:
            length = max(float(hi), (lo + mid + hi) / 2)
        elif hi >= lo + mid:
            length = (lo + mid) * math.sqrt(2) + (hi - lo - mid)
        else:
            length = (lo + mid + hi) * math.sqrt(2) / 2
    return scale * length


def check_bound_rule(cost, start, goal, w, key, order, rules):
    """Replays the expansions in `order`; before each, the expanded cell must be
    the open cell with the least (key, f, g) among those with f <= w x f_min."""
    connectivity, corner_cutting, model, uniform = rules
    scale = float(cost[np.isfinite(cost)].min())
    h = {}

    def f_of(cell):
        if cell not in h:
            h[cell] = estimate(cell, goal, connectivity, uniform, scale)
        return g[cell] + h[cell]

    g = {start: 0.0}
    closed = set()
    for index in order:
        c = tuple(int(v) for v in np.unravel_index(index, cost.shape))
        open_cells = [n for n in g if n not in closed]
        f_min = min(f_of(n) for n in open_cells)
        eligible = [n for n in open_cells if f_of(n) <= w * f_min + TOL]
        assert c in eligible, (c, f_of(c), w * f_min)
        least_key = min(key[n] for n in eligible)
        assert key[c] == least_key
        ties = [n for n in eligible if key[n] == least_key]
        least_f = min(f_of(n) for n in ties)
        assert f_of(c) <= least_f + TOL
        assert g[c] <= min(g[n] for n in ties if f_of(n) <= least_f + TOL) + TOL
        closed.add(c)
        if c == goal:
            return g[c]
        for d in moves(cost.ndim, connectivity):
            n = tuple(p + q for p, q in zip(c, d))
            if not all(0 <= v < s for v, s in zip(n, cost.shape)) or n in closed:
                continue
            if not legal(cost, c, n, connectivity, corner_cutting):
                continue
            t = g[c] + step_cost(cost, c, n, d, model, uniform)
            if t < g.get(n, math.inf):
                g[n] = t
    return math.inf


@pytest.mark.parametrize("dim", [2, 3])
def test_every_expansion_follows_the_bound_rule(dim):
    rng = np.random.default_rng(40 + dim)
    for case in range(16 if dim == 2 else 8):
        shape = tuple(int(v) for v in rng.integers(4, 12 if dim == 2 else 6, dim))
        cost = random_costs(rng, shape, 0.2)
        if case % 3 == 0:
            cost = np.where(np.isfinite(cost), 1.0, np.inf)
        if np.isfinite(cost).sum() < 2:
            continue
        start, goal = free_cells(rng, cost)
        key = rng.integers(0, 3, shape).astype(float)  # few values: many ties of the key
        w = (1.0, 1.3, 2.0)[case % 3]
        connectivity = CONNECTIVITY[dim][case % len(CONNECTIVITY[dim])]
        rules = (connectivity, case % 2 == 0, ("enter", "mean")[case % 4 // 2], case % 5 == 0)
        grid = gridsearch.Grid(cost, connectivity=rules[0], corner_cutting=rules[1], cost_model=rules[2],
                               use_uniform_step_cost=rules[3])
        for with_key in (True, False):
            r, order = grid._focal_order(start, goal, w, key=key if with_key else None)
            keys = {tuple(int(v) for v in c): (key[tuple(c)] if with_key else None)
                    for c in np.argwhere(np.ones(shape, bool))}
            if not with_key:  # the key is h
                scale = float(cost[np.isfinite(cost)].min())
                keys = {c: estimate(c, goal, rules[0], rules[3], scale) for c in keys}
            assert len(order) == r.expansions
            cost_found = check_bound_rule(cost, start, goal, w, keys, order, rules)
            assert r.cost == pytest.approx(cost_found, rel=1e-12, abs=0) or r.cost == cost_found == math.inf


def test_paths_are_valid_and_optimal_with_w_1():
    rng = np.random.default_rng(7)
    for case in range(30):
        shape = tuple(int(v) for v in rng.integers(5, 30, 2))
        cost = random_costs(rng, shape, 0.25)
        if np.isfinite(cost).sum() < 2:
            continue
        s, t = free_cells(rng, cost)
        rules = dict(connectivity=(4, 8)[case % 2], corner_cutting=case % 3 != 0, model=("enter", "mean")[case % 2],
                     uniform=False)
        grid = gridsearch.Grid(cost, connectivity=rules["connectivity"], corner_cutting=rules["corner_cutting"],
                               cost_model=rules["model"])
        best, _ = oracle(cost, s, t, rules["connectivity"], rules["corner_cutting"], rules["model"], False)
        key = rng.random(shape)
        for w in (1.0, 1.5, 3.0):
            r = grid.focal(s, t, w, key=key, visited=True)
            if not math.isfinite(best):
                assert r.status == "no_path" and r.cost == math.inf
                continue
            assert r.status == "found" and r.cost >= best * (1 - 1e-12)
            if w == 1.0:  # then every expansion has f = f_min, as in A*: optimal
                assert r.cost == pytest.approx(best, rel=1e-12)
            check_path(r, cost, s, t, rules["connectivity"], rules["corner_cutting"], rules["model"], False)
            assert r.visited.sum() == r.expansions


def test_same_rule_as_focal2d_on_a_bool_grid():
    # Without a key both order by (h, f, g): same path cost and expansions on this map.
    grid = np.ones((64, 64), bool)
    grid[10:50, 30] = False
    for w in (1.0, 1.5):
        ours = gridsearch.Grid(grid).focal((0, 0), (63, 63), w)
        theirs = focal.focal2D(grid, 0, 0, 63, 63, w)
        assert (ours.cost, ours.expansions) == pytest.approx(theirs[1:3], rel=1e-12)


def test_a_key_steers_the_path_within_the_bound():
    grid = gridsearch.Grid(np.ones((21, 41)))
    key = np.abs(np.arange(21) - 5)[:, None] * np.ones((1, 41))  # distance to a guide along row 5
    best = grid.astar((0, 0), (8, 40), algorithm="astar").cost
    plain = grid.focal((0, 0), (8, 40), 2.0)
    guided = grid.focal((0, 0), (8, 40), 2.0, key=key)
    assert guided.cost <= 2.0 * best and (guided.path[:, 0] == 5).sum() > 25 > (plain.path[:, 0] == 5).sum()
    assert grid.focal((0, 0), (8, 40), 1.0, key=key).cost == best


def test_limits_batches_and_blocked_ends():
    rng = np.random.default_rng(3)
    cost = random_costs(rng, (40, 40), 0.2)
    grid = gridsearch.Grid(cost, cost_model="mean")
    queries = np.array([[*free_cells(rng, cost)[0], *free_cells(rng, cost)[1]] for _ in range(12)])
    key = rng.random((40, 40))
    for threads in (1, 2):
        rows = grid.focal_batch(queries, 1.4, key=key, threads=threads, visited=True)
        for q, r in zip(queries, rows):
            one = grid.focal(tuple(q[:2]), tuple(q[2:]), 1.4, key=key, visited=True)
            assert (r.cost, r.expansions, r.status) == (one.cost, one.expansions, one.status)
            assert np.array_equal(r.path, one.path) and np.array_equal(r.visited, one.visited)
    far = tuple(queries[0, :2]), tuple(queries[0, 2:])
    capped = grid.focal(*far, 1.4, max_expansions=1)
    assert capped.status == "max_expansions" and capped.expansions == 1 and len(capped.path) == 0
    walled = np.ones((5, 5))
    walled[4, 4] = np.inf
    r = gridsearch.Grid(walled).focal((0, 0), (4, 4), 2.0)
    assert (r.status, r.expansions, r.cost) == ("no_path", 0, math.inf)


def test_bad_arguments_are_named():
    grid = gridsearch.Grid(np.ones((5, 6)))
    cases = [
        (lambda: grid.focal((0, 0), (1, 1), 0.9), ValueError, "w must be >= 1 and finite, got 0.9"),
        (lambda: grid.focal((0, 0), (1, 1), math.inf), ValueError, "w must be >= 1 and finite, got inf"),
        (lambda: grid.focal((0, 0), (1, 1), math.nan), ValueError, "w must be >= 1 and finite, got nan"),
        (lambda: grid.focal((0, 0), (1, 1), "2"), TypeError, "w must be a real number, got str"),
        (lambda: grid.focal((0, 0), (1, 1), 2, key=np.zeros((6, 5))), ValueError,
         "key must have the grid's shape (5, 6), got (6, 5)"),
        (lambda: grid.focal((0, 0), (1, 1), 2, key=np.full((5, 6), np.nan)), ValueError, "key holds NaN at (0, 0)"),
        (lambda: grid.focal((0, 0), (5, 1), 2), ValueError, "goal (5, 1) lies outside the grid of shape (5, 6)"),
        (lambda: grid.focal((0, 0), (1, 1), 2, max_expansions=-1), ValueError, "max_expansions must be >= 0"),
        (lambda: grid.focal_batch([[0, 0, 1, 9]], 2), ValueError, "row 0"),
        (lambda: grid.focal_batch([[0, 0, 1, 1]], 2, threads=0), ValueError, "threads"),
    ]
    for call, kind, message in cases:
        with pytest.raises(kind) as info:
            call()
        assert message in str(info.value), (message, str(info.value))


CHILD = planner_child("planner.focal((0, 0), (5998, 0), 1.5)", "planner.focal((0, 0), (0, 2), 1.5).cost")


def test_ctrl_c_stops_a_long_focal_search():
    check_stop(CHILD, "next 2.0")
