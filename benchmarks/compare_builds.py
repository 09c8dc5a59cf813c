"""Time two builds of the package on the same queries, alternating runs.

Each build is a directory holding the installed modules, for example made with

    git worktree add /tmp/before <commit>
    .venv/bin/pip install --no-deps --no-build-isolation --target /tmp/build-before /tmp/before

Usage: .venv/bin/python benchmarks/compare_builds.py /tmp/build-before /tmp/build-after

Every build runs in a child process of its own (two builds cannot share one
interpreter), the children alternate for --rounds rounds, and each case is the
best of --repeats passes over its queries. A digest of every result (path,
cost bits, expansions, visited map) is compared, so a faster build that
changed an answer is reported as such.
"""

from __future__ import annotations

import argparse
import hashlib
import inspect
import json
import subprocess
import sys
import time
from pathlib import Path

import numpy as np

ROOT = Path(__file__).resolve().parent.parent
MAPS = ROOT / "data" / "maps"
sys.path.insert(0, str(ROOT / "examples"))

from common import maze_map, query_pairs, random_map, read_map, rooms_map  # noqa: E402

# (case name, map, function, queries)
CASES = [
    ("brc202d astar2D", "brc202d", "astar2D", 150),
    ("random512 astar2D", "random512-10-0", "astar2D", 150),
    ("den520d astar2D", "den520d", "astar2D", 150),
    ("den520d focal2D w=1.5", "den520d", "focal2D", 150),
    ("voxels 128^3 astar3D", "voxels", "astar3D", 40),
    ("den520d Grid.astar", "den520d", "Grid.astar", 150),
    ("brc202d Grid.astar costs, mean, no corners", "brc202d", "Grid.astar costs", 150),
    ("den520d Grid.focal w=1.5", "den520d", "Grid.focal", 150),
    ("random512 Grid.distance_field", "random512-10-0", "Grid.distance_field", 20),
]


def load(name: str) -> np.ndarray:
    if name == "voxels":
        return np.random.default_rng(3).random((128, 128, 128)) > 0.2
    path = MAPS / f"{name}.map"
    if path.exists():
        return read_map(path)
    made = {"brc202d": lambda: rooms_map(512), "random512-10-0": lambda: random_map(512, 0.1), "den520d": maze_map}
    return made[name]()


def child(build: str, repeats: int) -> None:
    sys.path.insert(0, build)
    import astar
    import focal
    import gridsearch

    if not astar.__file__.startswith(build):
        raise SystemExit(f"{build}: astar imported from {astar.__file__}")
    out = {}
    for case, name, fn, n in CASES:
        grid = load(name)
        queries = query_pairs(grid, n, seed=7)
        if fn == "astar2D":
            call = lambda a, b: astar.astar2D(grid, a[0], a[1], b[0], b[1])  # noqa: E731
        elif fn == "focal2D":
            call = lambda a, b: focal.focal2D(grid, a[0], a[1], b[0], b[1], 1.5)  # noqa: E731
        elif fn == "Grid.astar":
            g = gridsearch.Grid(grid)
            # A* itself, also in builds whose default on bool grids is jump point search
            pick = {"algorithm": "astar"} if "algorithm" in inspect.signature(g.astar).parameters else {}
            call = lambda a, b: tuple(g.astar(a, b, visited=True, **pick))  # noqa: E731
        elif fn == "Grid.astar costs":
            costs = np.where(grid, 1.0 + np.random.default_rng(5).integers(0, 8, grid.shape), np.inf)
            g = gridsearch.Grid(costs, cost_model="mean", corner_cutting=False)
            call = lambda a, b: tuple(g.astar(a, b, visited=True))  # noqa: E731
        elif fn == "Grid.focal":
            g = gridsearch.Grid(grid)
            call = lambda a, b: tuple(g.focal(a, b, 1.5, visited=True))  # noqa: E731
        elif fn == "Grid.distance_field":
            g = gridsearch.Grid(grid)
            call = lambda a, b: (np.empty((0, 2), np.int32), float(g.distance_field(a).sum()), 0, grid)  # noqa: E731
        else:
            call = lambda a, b: astar.astar3D(grid, *a, *b)  # noqa: E731
        best = float("inf")
        for _ in range(repeats):
            t0 = time.perf_counter()
            for a, b in queries:
                call(a, b)
            best = min(best, time.perf_counter() - t0)
        digest = hashlib.sha1()
        for a, b in queries:
            path, cost, expansions, visited = call(a, b)
            digest.update(path.tobytes())
            digest.update(np.float64(cost).tobytes())
            digest.update(str(expansions).encode())
            digest.update(np.packbits(visited).tobytes())
        out[case] = [best * 1000.0, digest.hexdigest()]
    print(json.dumps(out))


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("builds", nargs="+", help="directories holding an installed build")
    ap.add_argument("--rounds", type=int, default=2)
    ap.add_argument("--repeats", type=int, default=5)
    ap.add_argument("--child", action="store_true", help=argparse.SUPPRESS)
    args = ap.parse_args()
    if args.child:
        child(str(Path(args.builds[0]).resolve()), args.repeats)
        return 0

    best: dict[str, dict[str, float]] = {b: {} for b in args.builds}
    digests: dict[str, dict[str, str]] = {b: {} for b in args.builds}
    for _ in range(args.rounds):
        for b in args.builds:
            cmd = [sys.executable, __file__, "--child", "--repeats", str(args.repeats), b]
            res = json.loads(subprocess.run(cmd, check=True, capture_output=True, text=True).stdout)
            for case, (ms, digest) in res.items():
                best[b][case] = min(best[b].get(case, float("inf")), ms)
                digests[b][case] = digest

    names = [Path(b).name for b in args.builds]
    print(f"total ms per case, best of {args.rounds} rounds x {args.repeats} passes")
    print("| case | " + " | ".join(names) + " | same results |")
    print("|---|" + "---:|" * len(names) + "---|")
    for case, *_ in CASES:
        same = len({digests[b][case] for b in args.builds}) == 1
        cells = " | ".join(f"{best[b][case]:.1f}" for b in args.builds)
        print(f"| {case} | {cells} | {'yes' if same else 'NO'} |")
    return 0


if __name__ == "__main__":
    sys.exit(main())
