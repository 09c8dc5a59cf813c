"""What the per-cell storage costs: page faults of a short query, and long searches in tiles.

Run: .venv/bin/python benchmarks/storage.py [MAP]

1. Page faults and time of one short query (a 64 x 64 free patch, corner to
   corner) on grids of growing size; from 2^20 cells on the search keeps its
   state in tiles, and what remains is the fresh visited map.
2. The same seeded queries on a real map (default: brc202d from data/maps,
   else a generated rooms map) as it is (flat storage) and embedded in a blocked
   grid past 2^20 cells (tiled storage): total time, best of 5.
"""

import resource
import sys
import time
from pathlib import Path

import numpy as np

import astar

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "examples"))
from common import query_pairs, read_map, rooms_map  # noqa: E402


def faults() -> int:
    return resource.getrusage(resource.RUSAGE_SELF).ru_minflt


def short_query(reps: int = 100) -> None:
    print(f"{'grid':>8} {'faults/query':>13} {'median ms':>10}")
    for n in (256, 1024, 4096, 16384):
        grid = np.zeros((n, n), bool)
        grid[:64, :64] = True
        astar.astar2D(grid, 0, 0, 63, 63)
        f0, times = faults(), []
        for _ in range(reps):
            t0 = time.perf_counter()
            astar.astar2D(grid, 0, 0, 63, 63)
            times.append(time.perf_counter() - t0)
        print(f"{n:>6}^2 {(faults() - f0) / reps:>13.1f} {np.median(times) * 1e3:>10.4f}")
        del grid


def long_searches(path: str | None, queries: int = 100) -> None:
    default = ROOT / "data" / "maps" / "brc202d.map"
    if path:
        grid, name = read_map(path), Path(path).stem
    elif default.exists():
        grid, name = read_map(default), default.stem
    else:
        grid, name = rooms_map(512), "rooms512"
    big = np.zeros((max(grid.shape[0], 1100), max(grid.shape[1], 1000)), bool)
    big[: grid.shape[0], : grid.shape[1]] = grid
    pairs = query_pairs(grid, queries, seed=3)
    print(f"\n{name}, {len(pairs)} queries, total ms (best of 5)")
    for label, g in ((f"flat {grid.shape[0]}x{grid.shape[1]}", grid), (f"tiled {big.shape[0]}x{big.shape[1]}", big)):
        best = []
        for _ in range(5):
            t0 = time.perf_counter()
            for s, t in pairs:
                astar.astar2D(g, *s, *t)
            best.append(time.perf_counter() - t0)
        print(f"  {label:<18} {min(best) * 1e3:8.1f}")


if __name__ == "__main__":
    short_query()
    long_searches(sys.argv[1] if len(sys.argv) > 1 else None)
