"""Multi-agent path finding on a 2D `Grid`: plans in which agents never
share a cell at a time step nor swap places, a validator, and the building
blocks (reservation tables, searches in space and time).

The model is the MAPF benchmark's: at each time step every agent moves to
a walkable 4-neighbour or waits; no two agents are in one cell at one time
(a vertex conflict) or exchange cells between two steps (an edge conflict);
an agent that has reached its goal stays there and still blocks the cell.
An agent's cost is the time step from which it stays at its goal; the sum
of costs adds them up, the makespan is the largest; the lower bound is the
sum of every agent's shortest distance to its goal.
"""

from __future__ import annotations

import math
from dataclasses import dataclass, field
from typing import Any, NamedTuple

import numpy as np
import numpy.typing as npt

from . import _args, _planner
from ._grid import Grid
from ._reservations import ReservationTable

__all__ = ["Fault", "ReservationTable", "SOLVERS", "Solution", "solve", "validate"]

SOLVERS = ("lacam", "pibt", "ecbs", "cbs")
STATUSES = ("solved", "timeout", "unsolvable")


@dataclass(frozen=True)
class Solution:
    """A solver's result.

    paths: int32 (agents, T + 1, 2), every agent's cell at t = 0..T (agents
    that have arrived repeated at their goals); (agents, 0, 2) without a plan.
    status: "solved", "timeout" (no plan within the time limit) or
    "unsolvable" (proved: some agent cannot reach its goal, or the complete
    search ran out). sum_of_costs, makespan: of the plan (-1 without one);
    lower_bound: the sum of shortest distances (-1 when unsolvable);
    time_to_first_solution: seconds from the call to the first plan (-1:
    none); algorithm: the solver's name; iterations: improvement steps taken
    after the first plan.
    """

    paths: npt.NDArray[np.int32] = field(repr=False)
    status: str
    sum_of_costs: int
    makespan: int
    lower_bound: int
    time_to_first_solution: float
    algorithm: str
    iterations: int = 0

    @property
    def solved(self) -> bool:
        return self.status == "solved"


def _agents(value: Any, name: str) -> npt.NDArray[np.int64]:
    _args._refuse_masked(value, name)
    if isinstance(value, (str, bytes, dict, set)) or not hasattr(value, "__len__"):
        raise TypeError(f"{name} must be an (agents, 2) array of cells, got {type(value).__name__}")
    array = np.asarray(value)
    if array.size == 0:
        array = array.reshape(0, 2)
    if array.dtype.kind not in "iu":
        raise TypeError(f"{name} must hold integers, got dtype {array.dtype}")
    if array.ndim != 2 or array.shape[1] != 2:
        raise ValueError(f"{name} must be an (agents, 2) array of cells, got shape {array.shape}")
    if array.dtype.kind == "u" and array.size and int(array.max()) > 2**62:
        raise ValueError(f"{name}: agent {int(np.argmax(array.max(axis=1) > 2**62))} lies outside the grid")
    return np.ascontiguousarray(array, dtype=np.int64)


def _grid(grid: Any) -> Grid:
    if not isinstance(grid, Grid):
        raise TypeError(f"grid must be a gridsearch.Grid, got {type(grid).__name__}")
    if grid.ndim != 2:
        raise ValueError(f"multi-agent plans are made on 2D grids, this one is {grid.ndim}D")
    return grid


def solve(grid: Grid, starts: npt.ArrayLike, goals: npt.ArrayLike, *, algorithm: str = "lacam",
          time_limit: float = 10.0, suboptimality: float | None = None, seed: int = 0,
          threads: int | None = None, max_iterations: int | None = None) -> Solution:
    """Conflict-free paths for agents from `starts` to `goals` ((agents, 2)
    integer arrays of cells) on a 2D grid built with connectivity=4 whose
    walkable cells all cost the same.

    algorithm: "lacam" (LaCAM* with PIBT: a first plan fast, then better
    ones until time_limit; complete), "pibt" (PIBT alone: one plan, no
    search, for very many agents; it may run until the time limit without
    one), "ecbs" (bounded-suboptimal conflict-based search: a sum of costs
    at most `suboptimality` (default 1.2) x the optimum, and a lower_bound
    that the sum of costs is within that factor of) or "cbs" (conflict-based
    search: the least sum of costs; for tens of agents). time_limit:
    seconds, the whole call included. seed: the random
    choices; the same seed gives the same first plan, and the same result
    when max_iterations (improvement steps after the first plan) ends the
    call before time_limit. threads: None or 1 grows every agent's
    distances to its goal on demand, on the search's thread; more grows
    each as far as its start on that many threads first (on a 2-core machine
    that was slower: page faults of the distance tables serialize). The
    result does not depend on it; the search itself runs on one thread.
    The interpreter lock is released; Ctrl-C stops the call with
    KeyboardInterrupt.
    """
    grid = _grid(grid)
    index = _args.choice(algorithm, "algorithm", SOLVERS)
    if algorithm == "ecbs":
        w = 1.2 if suboptimality is None else _args.real(suboptimality, "suboptimality")
        if not 1.0 <= w < math.inf:
            raise ValueError(f"suboptimality must be >= 1 and finite, got {w}")
    elif suboptimality is not None:
        raise ValueError(f"suboptimality applies to \"ecbs\"; {algorithm!r} takes none")
    else:
        w = 1.0
    limit = _args.real(time_limit, "time_limit")
    if not limit >= 0.0:
        raise ValueError(f"time_limit must be >= 0 seconds, got {limit}")
    seed_value = _args.integer(seed, "seed", 0, 2**64 - 1)
    workers = 1 if threads is None else _args.integer(threads, "threads", 1, 1024)
    iterations = _args.count(max_iterations, "max_iterations")
    s, t = _agents(starts, "starts"), _agents(goals, "goals")
    if len(s) != len(t):
        raise ValueError(f"starts and goals must have the same number of agents, got {len(s)} and {len(t)}")
    native = grid._native
    assert isinstance(native, _planner.Grid2D)
    out = _planner.mapf_solve(native, s, t, index, min(limit, 1e300) if math.isfinite(limit) else 1e300,
                              seed_value, iterations, w, workers)
    return Solution(*out)


class Fault(NamedTuple):
    """One breach of the rules: kind is "vertex" (two agents in one cell),
    "edge" (two agents swap cells), "illegal_move" (a jump, or a blocked or
    outside cell), "wrong_start" or "wrong_goal"; agents: the agents
    involved; time: the time step (for an edge, the arrival); cell: where."""

    kind: str
    agents: tuple[int, ...]
    time: int
    cell: tuple[int, int]


def validate(grid: Grid, starts: npt.ArrayLike, goals: npt.ArrayLike, paths: npt.ArrayLike) -> list[Fault]:
    """Every fault of a plan, in order of time (empty when the plan is valid).

    paths: (agents, T + 1, 2) cells at t = 0..T, as `Solution.paths`."""
    grid = _grid(grid)
    s, t = _agents(starts, "starts"), _agents(goals, "goals")
    p = np.asarray(paths)
    if p.dtype.kind not in "iu":
        raise TypeError(f"paths must hold integers, got dtype {p.dtype}")
    if p.ndim != 3 or p.shape[2] != 2 or p.shape[0] != len(s) or len(s) != len(t):
        raise ValueError(f"paths must be an (agents, T + 1, 2) array for {len(s)} agents with {len(t)} goals, "
                         f"got shape {p.shape}")
    p = p.astype(np.int64)
    n, steps = p.shape[0], p.shape[1]
    faults: list[Fault] = []
    if steps == 0:
        return [Fault("wrong_start", (a,), 0, (int(s[a][0]), int(s[a][1]))) for a in range(n)]
    rows, cols = grid.shape
    for a in np.flatnonzero(np.any(p[:, 0] != s, axis=1)):
        faults.append(Fault("wrong_start", (int(a),), 0, (int(p[a, 0, 0]), int(p[a, 0, 1]))))
    inside = (p[..., 0] >= 0) & (p[..., 0] < rows) & (p[..., 1] >= 0) & (p[..., 1] < cols)
    walk = np.zeros(inside.shape, bool)
    free = grid.walkable
    walk[inside] = free[p[..., 0][inside], p[..., 1][inside]]
    jump = np.zeros(inside.shape, bool)
    jump[:, 1:] = np.abs(np.diff(p, axis=1)).sum(axis=2) > 1
    for a, k in zip(*np.nonzero(~walk | jump)):
        faults.append(Fault("illegal_move", (int(a),), int(k), (int(p[a, k, 0]), int(p[a, k, 1]))))
    key = np.where(inside, p[..., 0] * cols + p[..., 1], -1)
    cells = rows * cols
    agents = np.arange(n)
    for k in range(steps):
        here = key[:, k]
        ok = here >= 0
        values, where, counts = np.unique(here[ok], return_inverse=True, return_counts=True)
        for g in np.flatnonzero(counts > 1):
            group = agents[ok][where == g]
            first = int(group[0])
            faults.append(Fault("vertex", tuple(int(b) for b in group), k,
                                (int(p[first, k, 0]), int(p[first, k, 1]))))
        if k:
            before = key[:, k - 1]
            moved = ok & (before >= 0) & (before != here)
            forward = before[moved] * cells + here[moved]
            backward = here[moved] * cells + before[moved]
            _, i, j = np.intersect1d(forward, backward, assume_unique=False, return_indices=True)
            for x, y in zip(agents[moved][i].tolist(), agents[moved][j].tolist()):
                if x < y:
                    faults.append(Fault("edge", (x, y), k, (int(p[x, k, 0]), int(p[x, k, 1]))))
    for a in np.flatnonzero(np.any(p[:, -1] != t, axis=1)):
        faults.append(Fault("wrong_goal", (int(a),), steps - 1, (int(p[a, -1, 0]), int(p[a, -1, 1]))))
    faults.sort(key=lambda f: (f.time, f.kind, f.agents))
    return faults
