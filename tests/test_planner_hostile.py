"""The planner against hostile values: signed zeros, costs near the float
range, limits that end exactly at the last reachable cell, tiled storage on
large and thin grids, arrays NumPy cannot copy, result tuples taken apart."""

import copy
import math
import os
import pickle
import subprocess
import sys
import textwrap

import numpy as np
import pytest

import gridsearch
from oracle import check_path, oracle, random_costs

# The sanitizers' shadow memory and quarantine make memory measurements meaningless.
SANITIZED = os.environ.get("GRIDSEARCH_SANITIZED") == "1"


def same(a, b):
    return (np.array_equal(a.path, b.path) and a.cost == b.cost and a.expansions == b.expansions
            and a.status == b.status)


def test_a_negative_zero_cost_is_the_cost_zero():
    rng = np.random.default_rng(7)
    costs = -np.log(rng.choice([1.0, 0.9, 0.5, 0.2], size=(40, 40)))  # -log(1.0) is -0.0
    assert np.signbit(costs).any()
    neg, pos = gridsearch.Grid(costs), gridsearch.Grid(costs + 0.0)
    want, _ = oracle(costs + 0.0, (0, 0), (39, 39), 8, True, "enter", False)
    r = neg.astar((0, 0), (39, 39))
    assert r.cost == pytest.approx(want, rel=1e-12) and same(r, pos.astar((0, 0), (39, 39)))
    assert same(neg.focal((0, 0), (39, 39), 1.5), pos.focal((0, 0), (39, 39), 1.5))
    assert neg.focal((0, 0), (39, 39), 1.5).found
    goals = np.array([[39, 0], [0, 39], [39, 39]])
    assert same(neg.astar((0, 0), goals), pos.astar((0, 0), goals))
    queries = np.array([[0, 0, 39, 39], [5, 5, 20, 30]])
    for a, b in zip(neg.focal_batch(queries, 1.2), pos.focal_batch(queries, 1.2)):
        assert same(a, b)
    np.testing.assert_array_equal(neg.distance_field((0, 0)), pos.distance_field((0, 0)))
    assert not np.signbit(neg.min_cost)
    # Random grids with one -0.0 cell: every query optimal.
    for seed in range(40):
        rng = np.random.default_rng(seed)
        c = random_costs(rng, (20, 20), 0.1)
        c[tuple(rng.integers(20, size=2))] = -0.0
        s, t = (0, 0), (19, 19)
        c[s] = c[t] = 1.0
        r = gridsearch.Grid(c).astar(s, t)
        want, _ = oracle(c + 0.0, s, t, 8, True, "enter", False)
        assert r.cost == pytest.approx(want, rel=1e-12) if math.isfinite(want) else not r.found


def test_costs_that_could_overflow_a_path_are_refused():
    for model in ("enter", "mean"):
        with pytest.raises(ValueError, match=r"cell \(0, 0\) costs 1e\+308; on a grid of 3 cells a finite cost "
                                             r"must be at most 2\.99.*e\+307, so that no path's cost overflows"):
            gridsearch.Grid(np.full((1, 3), 1e308), cost_model=model)
    # The largest cost taken still gives finite costs, fields and "found".
    big = np.finfo(float).max / 6
    for model in ("enter", "mean"):
        g = gridsearch.Grid(np.full((1, 3), big), cost_model=model)
        r = g.astar((0, 0), (0, 2))
        assert r.found and math.isfinite(r.cost)
        assert np.isfinite(g.distance_field((0, 0))).all()
        assert np.isfinite(g.distance_field((0, 0), reverse=True)).all()


def test_a_limit_that_ends_with_the_reachable_cells_says_no_path():
    c = np.ones((6, 6))
    c[3, :] = np.inf
    g = gridsearch.Grid(c)
    for limit, want in ((18, "no_path"), (17, "max_expansions"), (100, "no_path")):
        assert g.astar((0, 0), (5, 5), max_expansions=limit, algorithm="astar").status == want
        assert g.focal((0, 0), (5, 5), 1.5, max_expansions=limit).status == want
        assert g.astar((0, 0), [(5, 5), (4, 4)], max_expansions=limit).status == want
        assert g.astar_batch([[0, 0, 5, 5]], max_expansions=limit, algorithm="astar")[0].status == want


# Past the size from which working state is kept in tiles; odd extents leave partial tiles.
BIG = {2: (1031, 1037), 3: (103, 105, 101)}


@pytest.mark.parametrize("dim", [2, 3])
def test_tiled_storage_gives_the_small_grids_results(dim):
    """A small costmap embedded in a large blocked grid is searched as on its
    own, and its costs are SciPy's."""
    rng = np.random.default_rng(31 + dim)
    big = np.full(BIG[dim], np.inf)
    offsets = [(0,) * dim, tuple(b - 12 for b in BIG[dim]), tuple(b // 2 for b in BIG[dim])]
    for case in range(9):
        shape = tuple(int(v) for v in rng.integers(3, (30 if dim == 2 else 9) + 1, size=dim))
        small = random_costs(rng, shape, 0.2)
        small[(0,) * dim] = small[tuple(n - 1 for n in shape)] = 1.0
        s, t = (0,) * dim, tuple(n - 1 for n in shape)
        off = tuple(min(o, b - n) for o, b, n in zip(offsets[case % 3], BIG[dim], shape))
        window = tuple(slice(o, o + n) for o, n in zip(off, shape))
        big[...] = np.inf
        big[window] = small
        rules = dict(corner_cutting=bool(case % 2), cost_model=("enter", "mean")[case % 2 ^ 1])
        g_small, g_big = gridsearch.Grid(small, **rules), gridsearch.Grid(big, **rules)
        bs, bt = tuple(a + o for a, o in zip(s, off)), tuple(a + o for a, o in zip(t, off))
        conn = 8 if dim == 2 else 26
        want, _ = oracle(small, s, t, conn, rules["corner_cutting"], rules["cost_model"], False)
        for call in (lambda g, a, b: g.astar(a, b, visited=True), lambda g, a, b: g.focal(a, b, 1.4, visited=True),
                     lambda g, a, b: g.astar(a, b, w=2.0, visited=True)):
            one, other = call(g_small, s, t), call(g_big, bs, bt)
            assert np.array_equal(other.path, one.path + np.array(off, np.int32))
            assert other.cost == one.cost and other.expansions == one.expansions and other.status == one.status
            assert np.array_equal(other.visited[window], one.visited) and other.visited.sum() == one.visited.sum()
        r = g_small.astar(s, t)
        if math.isfinite(want):
            assert r.cost == pytest.approx(want, rel=1e-12)
            check_path(r, small, s, t, conn, rules["corner_cutting"], rules["cost_model"], False)
        else:
            assert r.status == "no_path"
        field = g_big.distance_field(bs)
        np.testing.assert_array_equal(field[window], g_small.distance_field(s))


def _peak_rss_of(code):
    """Runs `code` in a fresh interpreter; its peak RSS growth in MiB."""
    script = textwrap.dedent("""
        import resource, numpy as np, gridsearch
        before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    """) + textwrap.dedent(code) + textwrap.dedent("""
        print((resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before) / 1024)
    """)
    out = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=300)
    assert out.returncode == 0, out.stderr
    return float(out.stdout.split()[-1])


@pytest.mark.skipif(SANITIZED, reason="memory is measured without the sanitizers")
@pytest.mark.parametrize("shape", [(1, 2**23), (3, 2**21 + 5), (1, 1, 2**22), (2, 3, 2**20)])
def test_thin_grids_keep_working_memory_near_13_bytes_a_cell(shape):
    n = math.prod(shape)
    code = f"""
        shape = {shape}
        g = gridsearch.Grid(np.ones(shape, bool))
        a, b = (0,) * len(shape), tuple(s - 1 for s in shape)
        r = g.astar(a, b, algorithm="astar")
        assert r.found and r.expansions >= shape[-1] - 1, r
    """
    grown = _peak_rss_of(code)
    # the input (1 byte a cell), the grid (9 bytes and a bit), the search
    # (13 a touched cell), the path (8 a cell along the long axis), slack
    assert grown < (1 + 9.2 + 13 + 8) * n / 2**20 * 1.5 + 64, grown


def test_arrays_numpy_cannot_copy_give_numpys_error():
    g = gridsearch.Grid(np.ones((4, 4)))
    huge = np.broadcast_to(np.array([0, 0, 1, 1]), (2**40, 4))
    with pytest.raises(MemoryError):
        g.astar_batch(huge)
    with pytest.raises(MemoryError):
        gridsearch.astar2D_batch(np.ones((4, 4), bool), huge)
    # A grid over the cell limit is refused before anything is copied.
    for value in (True, 1.0):
        with pytest.raises(ValueError, match="cells: a grid of at most 2147483647 cells is supported"):
            gridsearch.Grid(np.broadcast_to(value, (2**31 + 5, 1)))
    if SANITIZED:
        return  # the sanitizers reserve more address space than the limit below
    # A grid whose copy does not fit in memory: NumPy's MemoryError.
    code = """
        import resource, numpy as np, gridsearch
        resource.setrlimit(resource.RLIMIT_AS, (2**30, 2**30))
        try:
            gridsearch.Grid(np.broadcast_to(True, (40000, 40000)))
        except MemoryError:
            print("MemoryError")
    """
    out = subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True, text=True, timeout=120)
    assert out.stdout.strip() == "MemoryError", out.stdout + out.stderr


def test_path_results_keep_their_status_through_tuple_operations():
    g = gridsearch.Grid(np.ones((3, 3)))
    r = g.astar((0, 0), (2, 2), max_expansions=0)
    assert r.status == "max_expansions"
    for other in (r._replace(cost=1.0), copy.copy(r), copy.deepcopy(r), pickle.loads(pickle.dumps(r))):
        assert other.status == "max_expansions" and not other.found and "max_expansions" in repr(other)
    assert r._replace(cost=1.0).cost == 1.0 and r._replace(status="found").found
    assert gridsearch.PathResult._make(r).status == "max_expansions"  # a result keeps its own
    made = gridsearch.PathResult._make(tuple(r))  # a plain tuple: what its path says
    assert made.status == "no_path" and not made.found and repr(made)
    assert gridsearch.PathResult(*g.astar((0, 0), (2, 2))).found
    assert gridsearch.PathResult._make(tuple(r), status="max_cost").status == "max_cost"
    with pytest.raises(ValueError, match="status must be one of"):
        gridsearch.PathResult(*r, status="weird")
    path, cost, expansions, visited = r
    assert expansions == 0 and visited is None


def test_an_occupancy_grid_marks_its_blocked_value():
    occupancy = np.zeros((3, 4), np.uint8)
    occupancy[:2, 1] = 1
    # Integers are costs: 0 is a free cell costing nothing, 1 a cell costing 1.
    assert gridsearch.Grid(occupancy).astar((0, 0), (0, 3)).cost == 0.0
    walls = gridsearch.Grid(occupancy, blocked=1)
    r = walls.astar((0, 0), (0, 2), visited=True)
    assert r.found and (occupancy[tuple(r.path.T)] == 0).all()
    assert gridsearch.Grid(occupancy == 0).astar((0, 0), (0, 2)).cost == 2 + 2 * math.sqrt(2)
    costmap = np.array([[1, 254, 3], [1, 1, 1]], np.uint8)
    r = gridsearch.Grid(costmap, blocked=254).astar((0, 0), (0, 2))
    assert [0, 1] not in r.path.tolist() and r.cost == math.sqrt(2) + 1 + 3
    with pytest.raises(TypeError, match="blocked must be a real number"):
        gridsearch.Grid(costmap, blocked="254")
    # Compared exactly in the array's own type, not as floats.
    big = np.array([[1, 2**53 + 1], [1, 5]], np.int64)
    assert gridsearch.Grid(big, blocked=2**53).astar((0, 0), (0, 1)).found
    assert not gridsearch.Grid(big, blocked=2**53 + 1).astar((0, 0), (0, 1)).found
    with pytest.raises(ValueError, match="blocked must not be NaN"):
        gridsearch.Grid(np.array([[1.0, np.nan]]), blocked=np.nan)
    with pytest.raises(TypeError, match="blocked applies to a real-valued array"):
        gridsearch.Grid(costmap > 0, blocked=1)
