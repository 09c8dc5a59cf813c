"""Shared test helpers: an independent shortest-path oracle and path checks."""

from __future__ import annotations

import itertools
import math
import os
import signal
import subprocess
import sys
import time

import numpy as np
import pytest

SQRT2 = 1.4142135623730951
SQRT3 = 1.7320508075688772


def moves(dim: int):
    return [d for d in itertools.product((-1, 0, 1), repeat=dim) if any(d)]


def step_cost(delta, uniform: bool = False) -> float:
    return 1.0 if uniform else math.sqrt(sum(d * d for d in delta))


def oracle_cost(grid: np.ndarray, start, goal, uniform: bool = False) -> float:
    """Shortest-path cost by SciPy's Dijkstra on the 8/26-neighbour graph."""
    from scipy.sparse import coo_matrix
    from scipy.sparse.csgraph import dijkstra

    grid = np.asarray(grid, dtype=bool)
    idx = np.arange(grid.size).reshape(grid.shape)
    rows, cols, vals = [], [], []
    for d in moves(grid.ndim):
        src = tuple(slice(max(0, -o), grid.shape[a] - max(0, o)) for a, o in enumerate(d))
        dst = tuple(slice(s.start + o, s.stop + o) for s, o in zip(src, d))
        ok = grid[src] & grid[dst]
        rows.append(idx[src][ok])
        cols.append(idx[dst][ok])
        vals.append(np.full(int(ok.sum()), step_cost(d, uniform)))
    n = grid.size
    m = coo_matrix((np.concatenate(vals), (np.concatenate(rows), np.concatenate(cols))), shape=(n, n)).tocsr()
    s = int(np.ravel_multi_index(start, grid.shape))
    t = int(np.ravel_multi_index(goal, grid.shape))
    return float(dijkstra(m, indices=s, min_only=True)[t])


def check_path(grid: np.ndarray, path: np.ndarray, cost: float, start, goal, uniform: bool = False) -> None:
    """The path runs from start to goal over free cells in legal steps and costs `cost`."""
    grid = np.asarray(grid, dtype=bool)
    assert path.dtype == np.int32 and path.ndim == 2 and path.shape[1] == grid.ndim
    assert tuple(path[0]) == tuple(start) and tuple(path[-1]) == tuple(goal)
    assert grid[tuple(path.T)].all()
    steps = np.diff(path.astype(np.int64), axis=0)
    assert (np.abs(steps) <= 1).all() and (np.abs(steps).sum(axis=1) > 0).all()
    total = 0.0
    for d in steps:
        total += step_cost(d, uniform)
    assert total == cost


def random_grid(rng: np.random.Generator, shape, density: float) -> np.ndarray:
    return rng.random(shape) >= density


def free_pair(rng: np.random.Generator, grid: np.ndarray):
    free = np.argwhere(grid)
    a, b = free[rng.integers(len(free), size=2)]
    return tuple(int(v) for v in a), tuple(int(v) for v in b)


def same_result(a, b) -> bool:
    """Two result tuples are identical: path, cost bits, expansions, visited."""
    return (
        np.array_equal(a[0], b[0])
        and a[0].shape == b[0].shape
        and (a[1] == b[1] or (math.isnan(a[1]) and math.isnan(b[1])))
        and a[2] == b[2]
        and np.array_equal(a[3], b[3])
    )


def oracle_case(rng: np.random.Generator, dims: int, max_side: int, max_density: float):
    """A seeded random grid, a free start/goal pair and a step model."""
    shape = tuple(int(v) for v in rng.integers(2, max_side, dims))
    grid = random_grid(rng, shape, rng.uniform(0.0, max_density))
    s, t = free_pair(rng, grid)
    return shape, grid, s, t, bool(rng.integers(2))


def assert_optimal(grid, path, cost, want, s, t, uniform) -> None:
    """The cost is the oracle's (both inf when unreachable) and the path is valid."""
    assert cost == pytest.approx(want, rel=1e-9) or cost == want == math.inf
    if math.isfinite(cost):
        check_path(grid, path, cost, s, t, uniform)


def serpentine(n: int) -> np.ndarray:
    """A bool grid of n x n whose free rows join at alternate ends: one long corridor."""
    grid = np.ones((n, n), bool)
    grid[1::2] = False
    grid[1::4, -1] = True
    grid[3::4, 0] = True
    return grid


def planner_child(long_call: str, next_call: str, setup: str = "planner = gridsearch.Grid(serpentine(6000))") -> str:
    """A child script for interrupt_child: `long_call` on a Grid `planner` of a
    6000 x 6000 serpentine (or whatever `setup` makes), then prints "next"
    and the value of `next_call`."""
    return f"""
import signal, time, numpy as np, gridsearch
from helpers import serpentine
from test_jps import pillars
signal.signal(signal.SIGINT, signal.default_int_handler)
{setup}
print("ready", flush=True)
try:
    {long_call}
    print("finished", flush=True)
except KeyboardInterrupt:
    print("interrupted", repr(time.monotonic()), flush=True)
print("next", {next_call}, flush=True)
"""


def loop_turns_during(call) -> int:
    """How many turns a Python loop makes while `call()` runs on another thread."""
    import threading

    done = threading.Event()
    turns = 0

    def run():
        call()
        done.set()

    worker = threading.Thread(target=run)
    worker.start()
    while not done.is_set():
        turns += 1
    worker.join()
    return turns


def interrupt_child(code: str, *args: str) -> tuple[list[str], float]:
    """Runs `code` in a child that prints "ready" before a long call, sends it
    SIGINT a quarter of a second later; returns the lines it printed after "ready" and the
    seconds from the signal to the time its first such line names."""
    child = subprocess.Popen([sys.executable, "-c", code, *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                             text=True, cwd=os.path.dirname(os.path.abspath(__file__)))
    try:
        assert child.stdout.readline().strip() == "ready"
        time.sleep(0.25)  # into the call, which runs on for seconds
        sent = time.monotonic()
        child.send_signal(signal.SIGINT)
        out, err = child.communicate(timeout=60)
    finally:
        child.kill()
    lines = out.split("\n")
    assert lines[0].startswith("interrupted") and child.returncode == 0, (out, err[-3000:])
    return lines[1:], float(lines[0].split()[1]) - sent


def stop_latency(code: str, *args: str) -> tuple[list[str], float, float]:
    """interrupt_child(code), tried up to three times while the stop takes
    longer than the bound (1 s, 3 s under the sanitizers). The long calls
    run for 1.7 s or more after the signal (several times that under the
    sanitizers), so a missing stop check fails every try, while a busy
    machine that stalls a process for a moment does not.
    (How fast a stop is belongs to benchmarks/stop_latency.py.) Returns the
    lines, the latency and the bound."""
    bound = 3.0 if os.environ.get("GRIDSEARCH_SANITIZED") == "1" else 1.0
    for _ in range(3):
        lines, latency = interrupt_child(code, *args)
        if latency < bound:
            break
    return lines, latency, bound



def check_stop(code: str, next_line: str, *args: str) -> None:
    """Ctrl-C stops the long call of `code` within stop_latency's bound, and
    the child's next call then prints `next_line`."""
    lines, latency, bound = stop_latency(code, *args)
    assert latency < bound, latency
    assert lines[0] == next_line, lines
