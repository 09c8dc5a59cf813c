"""Digests of many seeded random calls of every search, one per function.

Two builds of the package (another compiler, another architecture) must give
the same digests: every result is hashed bit for bit (path, cost bits,
expansions, visited map; an error's type and message). The inputs are made
from a seed with NumPy's PCG64, whose output is the same on every platform;
their own digest is printed too, so that a difference in inputs is told apart
from a difference in results.

Usage: python scripts/digests.py [--calls N] [--seed S] > digests.json
Two outputs are equal when `diff` finds nothing between them.
"""

from __future__ import annotations

import argparse
import hashlib
import json
import sys
from collections import defaultdict

import numpy as np


def _update(h, result) -> None:
    if isinstance(result, BaseException):
        h.update(f"{type(result).__name__}: {result}".encode())
    elif isinstance(result, np.ndarray):
        h.update(str((result.dtype.str, result.shape)).encode())
        h.update(np.ascontiguousarray(result).tobytes())
    elif isinstance(result, float):
        h.update(np.float64(result).tobytes())
    elif isinstance(result, (tuple, list)):
        h.update(b"(")
        for item in result:
            _update(h, item)
        h.update(b")")
    else:
        h.update(repr(result).encode())


def _cell(rng, shape, grid):
    """Mostly a walkable cell, now and then any cell or one outside the grid."""
    r = rng.random()
    if r < 0.03:
        return tuple(int(rng.integers(-1, n + 1)) for n in shape)
    free = np.flatnonzero(grid)
    if r < 0.1 or free.size == 0:
        return tuple(int(rng.integers(0, n)) for n in shape)
    return tuple(int(i) for i in np.unravel_index(free[rng.integers(free.size)], shape))


def _inside(cells, shape) -> bool:
    return all(0 <= c < n for c, n in zip(cells, shape))


def _map(rng, shape):
    kind = rng.integers(4)
    if kind == 0:
        return None
    m = rng.random(shape) * float(rng.choice([1.0, 10.0, 1e6]))
    if kind == 2:
        m = np.round(m)
    if kind == 3:
        m[rng.random(shape) < 0.05] = np.inf
    return m


def calls(n: int, seed: int):
    """Yields (function name, inputs, thunk) for n random calls of each search."""
    import astar
    import focal
    import gridsearch

    rng = np.random.default_rng(seed)
    for i in range(n):
        dim = 2 if i % 2 == 0 else 3
        shape = tuple(int(s) for s in rng.integers(1, 33 if dim == 2 else 11, size=dim))
        grid = rng.random(shape) > rng.random() * 0.5
        a, b = _cell(rng, shape, grid), _cell(rng, shape, grid)
        uniform = bool(rng.random() < 0.3)
        w = float(rng.choice([1.0, 1.0 + rng.random() * 2.0, 5.0]))
        hmap, pmap = rng.random(shape) * 40.0, _map(rng, shape)
        s = "3D" if dim == 3 else "2D"
        yield (f"astar{s}", (grid, a, b, uniform), lambda: getattr(astar, f"astar{s}")(grid, *a, *b, uniform))
        yield (
            f"astar{s}_heuristic_grid",
            (grid, hmap, a, b, w, uniform),
            lambda: getattr(astar, f"astar{s}_heuristic_grid")(grid, hmap, *a, *b, w, uniform),
        )
        yield (
            f"focal{s}",
            (grid, a, b, w, pmap, uniform),
            lambda: getattr(focal, f"focal{s}")(grid, *a, *b, w, pmap, uniform),
        )
        if i % 10 == 0:
            queries = np.array([_cell(rng, shape, grid) + _cell(rng, shape, grid) for _ in range(6)], dtype=np.int64)
            yield (
                f"astar{s}_batch",
                (grid, queries),
                lambda: getattr(gridsearch, f"astar{s}_batch")(grid, queries, uniform, threads=2, visited=True),
            )
            yield (
                f"focal{s}_batch",
                (grid, queries, w),
                lambda: getattr(gridsearch, f"focal{s}_batch")(grid, queries, w, pmap, uniform, threads=2),
            )
            costs = np.where(grid, 1.0 + rng.random(shape) * 9.0, np.inf)
            planner = gridsearch.Grid(costs, cost_model=str(rng.choice(["enter", "mean"])))
            yield (
                "Grid.astar",
                (costs, a, b, w),
                lambda: tuple(planner.astar(a, b, w=w, visited=True)[:4]) if _inside(a + b, shape * 2) else None,
            )
            yield ("Grid.distance_field", (costs, b), lambda: planner.distance_field(b) if _inside(b, shape) else None)
            # The bool grid by jump point search (2D; A* in 3D), the rules taken
            # in turn so that no random draw is added.
            walker = gridsearch.Grid(grid, connectivity=(4, 8, 8)[i // 10 % 3] if grid.ndim == 2 else None,
                                     corner_cutting=i // 10 % 2 == 0)
            yield (
                "Grid.astar jumps",
                (grid, a, b),
                lambda: tuple(walker.astar(a, b, visited=True)[:4]) if _inside(a + b, shape * 2) else None,
            )


def digests(n: int, seed: int) -> dict[str, str]:
    results: dict[str, hashlib._Hash] = defaultdict(hashlib.sha1)
    inputs = hashlib.sha1()
    counts: dict[str, int] = defaultdict(int)
    for name, args, thunk in calls(n, seed):
        _update(inputs, args)
        try:
            result = thunk()
        except Exception as e:  # errors are results too
            result = e
        _update(results[name], result)
        counts[name] += 1
    out = {name: f"{h.hexdigest()[:16]} ({counts[name]} calls)" for name, h in sorted(results.items())}
    out["inputs"] = inputs.hexdigest()[:16]
    return out


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--calls", type=int, default=1000, help="random calls of each single search (default 1000)")
    ap.add_argument("--seed", type=int, default=2026)
    args = ap.parse_args()
    print(json.dumps(digests(args.calls, args.seed), indent=1))
    return 0


if __name__ == "__main__":
    sys.exit(main())
