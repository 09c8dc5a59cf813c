"""What a per-cell map costs a single short query: a 4-cell search on a
3000 x 3000 grid, with and without a heuristic map (and a focal key), best
of --repeats runs. The map is converted, checked and copied per call (the
search runs without the interpreter lock and must not read the caller's
array), so its cost grows with the grid, not with the search.

Usage: .venv/bin/python benchmarks/per_cell_maps.py [--size 3000] [--repeats 7]
Run it with another build first on PYTHONPATH to compare builds.
"""

from __future__ import annotations

import argparse
import time

import numpy as np

import gridsearch


def best(call, repeats: int) -> float:
    times = []
    for _ in range(repeats):
        t = time.perf_counter()
        call()
        times.append(time.perf_counter() - t)
    return min(times) * 1e3


def main() -> None:
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--size", type=int, default=3000)
    ap.add_argument("--repeats", type=int, default=7)
    args = ap.parse_args()
    n = args.size
    g = gridsearch.Grid(np.ones((n, n)))
    h = np.zeros((n, n))
    cases = [
        ("astar, no map", lambda: g.astar((0, 0), (1, 1))),
        ("astar, heuristic map", lambda: g.astar((0, 0), (1, 1), heuristic=h)),
        ("focal, no key", lambda: g.focal((0, 0), (1, 1), 1.5)),
        ("focal, key map", lambda: g.focal((0, 0), (1, 1), 1.5, key=h)),
    ]
    print(f"| {n} x {n}, gridsearch {gridsearch.__file__.split('/')[-3]} | ms per call |")
    print("|---|---|")
    for name, call in cases:
        print(f"| {name} | {best(call, args.repeats):.3f} |")


if __name__ == "__main__":
    main()
