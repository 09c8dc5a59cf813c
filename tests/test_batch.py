"""Batch calls: the single call's result for every row, on any number of threads."""

import numpy as np
import pytest

import astar
import focal
import gridsearch
from helpers import check_stop, random_grid, same_result



def random_queries(rng, grid, n):
    """Rows of start and goal coordinates, mostly on free cells, some blocked."""
    free = np.argwhere(grid)
    rows = []
    for _ in range(n):
        if rng.random() < 0.1:
            a = np.minimum(free[rng.integers(len(free))] + 1, np.array(grid.shape) - 1)
        else:
            a = free[rng.integers(len(free))]
        b = free[rng.integers(len(free))]
        rows.append(np.concatenate([a, b]))
    return np.array(rows, dtype=np.int64)


def singles(dim, grid, h, w, uniform):
    """(batch call, single call for one row) for each of the six functions."""
    if dim == 2:
        return [
            (lambda q, **k: gridsearch.astar2D_batch(grid, q, uniform, **k),
             lambda r: astar.astar2D(grid, *r, uniform)),
            (lambda q, **k: gridsearch.astar2D_heuristic_grid_batch(grid, h, q, w, uniform, **k),
             lambda r: astar.astar2D_heuristic_grid(grid, h, *r, w, uniform)),
            (lambda q, **k: gridsearch.focal2D_batch(grid, q, w, h, uniform, **k),
             lambda r: focal.focal2D(grid, *r, w, h, uniform)),
            (lambda q, **k: gridsearch.focal2D_batch(grid, q, w, **k),
             lambda r: focal.focal2D(grid, *r, w)),
        ]
    return [
        (lambda q, **k: gridsearch.astar3D_batch(grid, q, uniform, **k),
         lambda r: astar.astar3D(grid, *r, uniform)),
        (lambda q, **k: gridsearch.astar3D_heuristic_grid_batch(grid, None, q, w, uniform, **k),
         lambda r: astar.astar3D_heuristic_grid(grid, None, *r, w, uniform)),
        (lambda q, **k: gridsearch.focal3D_batch(grid, q, w, h, uniform, **k),
         lambda r: focal.focal3D(grid, *r, w, h, uniform)),
    ]


@pytest.mark.parametrize("dim, shape", [(2, (37, 41)), (3, (9, 11, 8)), (2, (1031, 1037))])
def test_rows_give_the_single_call_results(dim, shape):
    rng = np.random.default_rng(7 + dim + shape[0])
    if shape[0] > 1000:  # large enough for tiled storage: a random patch in a blocked grid
        grid = np.zeros(shape, bool)
        grid[500:540, 700:745] = random_grid(rng, (40, 45), 0.3)
    else:
        grid = random_grid(rng, shape, 0.3)
    h = rng.random(shape) * 4
    n = 40
    queries = random_queries(rng, grid, n)
    for uniform, w in ((False, 1.0), (True, 1.7)):
        for batch, single in singles(dim, grid, h, w, uniform):
            want = [single(tuple(int(v) for v in row)) for row in queries]
            one = batch(queries, threads=1, visited=True)
            two = batch(queries, threads=2, visited=True)
            assert len(one) == len(two) == n
            assert all(same_result(a, b) for a, b in zip(one, want))
            assert all(same_result(a, b) for a, b in zip(two, want))
            lean = batch(queries, threads=2)
            assert all(r[3] is None and same_result(r[:3] + (w[3],), w) for r, w in zip(lean, want))


def test_arguments_and_defaults():
    grid = np.ones((8, 8), bool)
    q = [[0, 0, 7, 7]]
    assert gridsearch.__version__ == "0.1.0"
    default = gridsearch.focal2D_batch(grid, q, 2.0)[0]
    assert same_result(default[:3] + (None,), default)
    keywords = gridsearch.focal2D_batch(grid=grid, queries=np.array(q, np.uint8), w=2.0, path_proximity_map=None,
                                        use_uniform_step_cost=False, threads=3, visited=True)[0]
    assert same_result(keywords, focal.focal2D(grid, 0, 0, 7, 7, 2.0))
    with pytest.raises(TypeError):
        gridsearch.astar2D_batch(grid, q, False, 2)  # threads is keyword-only
    assert gridsearch.astar2D_batch(grid, np.zeros((0, 4), np.int32)) == []
    assert gridsearch.astar2D_batch(grid, np.zeros((0, 4))) == []  # empty: any number dtype


class TestErrors:
    grid = np.ones((5, 6), bool)

    @pytest.mark.parametrize("queries, message", [
        ([[0, 0, 4, 5], [1, 1, 5, 1], [9, 9, 9, 9]], r"queries row 1 \(1, 1, 5, 1\) lies outside the grid of shape \(5, 6\)"),
        ([[0, 0, 4, -1]], r"row 0 \(0, 0, 4, -1\) lies outside"),
        ([[0, 0, 4, 2**40]], r"row 0 .* lies outside"),
        (np.array([[0, 0, 4, 2**63 + 5]], np.uint64), r"row 0 \(0, 0, 4, 9223372036854775813\) lies outside"),
        ([[0.0, 0, 1, 1]], "got dtype float64"),
        ([[True, False, True, True]], "got dtype bool"),
        ([0, 0, 1, 1], r"got shape \(4,\)"),
        ([[0, 0, 1]], r"got shape \(1, 3\)"),
        ("0 0 1 1", "got dtype <U7"),
        ([], r"got an empty array of shape \(0,\)"),
        (np.ma.masked_array([[0, 0, 1, 1], [0, 0, 9, 9]], [[0] * 4, [1] * 4]), "must not be a masked array"),
    ])
    def test_bad_queries(self, queries, message):
        with pytest.raises(ValueError, match=message):
            gridsearch.astar2D_batch(self.grid, queries)

    def test_grid_and_map_errors_come_first(self):
        bad = [[0, 0, 99, 99]]
        with pytest.raises(RuntimeError, match="^Grid must be 2D!$"):
            gridsearch.astar2D_batch(np.ones((2, 2, 2)), bad)
        with pytest.raises(RuntimeError, match="^Grid must be 3D!$"):
            gridsearch.focal3D_batch(self.grid, bad, 1.0, "not a number")
        with pytest.raises(RuntimeError, match="^Heuristic grid must match grid shape!$"):
            gridsearch.astar2D_heuristic_grid_batch(self.grid, np.zeros((6, 5)), bad)
        with pytest.raises(RuntimeError, match="^Path proximity map must be 2D!$"):
            gridsearch.focal2D_batch(self.grid, bad, 1.0, 3.0)
        with pytest.raises(ValueError, match="could not convert"):
            gridsearch.focal2D_batch(self.grid, bad, 1.0, "x")
        for grid in (None, object(), "walls", [[1, 2], [3]]):  # as the single call treats them
            with pytest.raises(Exception) as single:
                astar.astar2D(grid, 0, 0, 1, 1)
            with pytest.raises(single.type, match=f"^{single.value}$" if single.type is RuntimeError else None):
                gridsearch.astar2D_batch(grid, bad)

    def test_threads(self):
        q = [[0, 0, 1, 1]] * 3
        for bad in (0, -1, 1025, 2**31, 2**80):
            with pytest.raises(ValueError, match=f"threads must be at least 1 and at most 1024, got {bad}$"):
                gridsearch.astar2D_batch(self.grid, q, threads=bad)
        for bad in (True, 2.0, "2"):
            with pytest.raises(TypeError, match="threads must be an integer or None"):
                gridsearch.astar2D_batch(self.grid, q, threads=bad)
        # More threads than rows: one per row at most.
        want = gridsearch.astar2D_batch(self.grid, q, threads=1)
        assert all(same_result(a, b) for a, b in zip(gridsearch.astar2D_batch(self.grid, q, threads=1024), want))
        assert len(gridsearch.astar2D_batch(self.grid, q, threads=np.int64(2))) == 3

    def test_blocked_endpoints_are_results(self):
        grid = self.grid.copy()
        grid[2, 2] = False
        path, cost, exp, visited = gridsearch.astar2D_batch(grid, [[2, 2, 0, 0]], visited=True)[0]
        assert path.shape == (0, 2) and cost == np.inf and exp == 0 and not visited.any()


CHILD = """
import sys, time, numpy as np, gridsearch, astar
import signal
# Python leaves SIGINT ignored when it starts with it ignored (as in a shell's
# background job); the test needs its usual handler.
signal.signal(signal.SIGINT, signal.default_int_handler)
grid = np.random.default_rng(1).random((1024, 1024)) >= 0.2
grid[0, 0] = True
grid[-2:, -2:] = False
grid[-1, -1] = True
queries = np.array([[0, 0, 1023, 1023]] * 4)
print("ready", flush=True)
try:
    gridsearch.focal2D_batch(grid, queries, 1.5, threads=2)
    print("finished", flush=True)
except KeyboardInterrupt:
    print("interrupted", repr(time.monotonic()), flush=True)
print("next", gridsearch.astar2D_batch(np.ones((3, 3), bool), [[0, 0, 2, 2]])[0][1], flush=True)
"""


def test_sigint_stops_a_running_batch():
    check_stop(CHILD, "next 2.8284271247461903")
