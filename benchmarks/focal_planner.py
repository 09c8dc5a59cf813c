"""Focal search at scale: `Grid.focal` against `focal.focal2D` / `focal3D` and against `Grid.astar`.

    .venv/bin/python benchmarks/focal_planner.py [--quick] [--write | --out FILE]

One run; the largest cost / optimum seen is reported (closed cells are never
reopened, so a cost may exceed w x the optimum; `benchmarks/focal_bound.py`
counts how often).
- Walled-in goals (the goal's neighbours blocked, so every reachable cell is
  expanded) on 512^2 and 1024^2 random grids (20 % blocked), w = 1.5:
  `focal.focal2D` (no proximity map: the key is h) against `Grid(grid).focal`
  (same moves and step costs, same key). `--quick` times focal2D on 512^2 only.
- The 33 x 38 x 39 grid with a random proximity map, w = 1.5: `focal.focal3D`
  against `Grid(grid).focal(..., key=map)` (26 neighbours, octile steps, as focal3D).
- The maps in data/maps, w = 1.5, 30 queries: `Grid.focal` with random keys
  and with keys from a guide path (the distance to another agent's A* path)
  against `Grid.astar(w=1.5)`; the target is at most 3x.
Expansion rates are expansions per second of `Grid.focal`.
"""

from __future__ import annotations

import argparse
import datetime
import math
import platform
import sys
import time
from pathlib import Path

import numpy as np

sys.path.insert(0, str(Path(__file__).resolve().parent))
import tables  # noqa: E402

import focal
import gridsearch

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "examples"))
from common import query_pairs, read_map  # noqa: E402

W = 1.5


def timed(fn):
    t0 = time.perf_counter()
    out = fn()
    return out, time.perf_counter() - t0


def walled(n, seed=0):
    rng = np.random.default_rng(seed)
    grid = rng.random((n, n)) > 0.2
    grid[0, 0] = True
    g = n - 3
    grid[g - 1:g + 2, g - 1:g + 2] = False
    grid[g, g] = True
    return grid, (0, 0), (g, g)


def walled_rows(quick):
    rows = []
    for n in (512, 1024):
        grid, s, t = walled(n)
        planner = gridsearch.Grid(grid)
        ours, t_ours = timed(lambda: planner.focal(s, t, W))
        if quick and n > 512:
            theirs, t_theirs = None, math.nan
        else:
            theirs, t_theirs = timed(lambda: focal.focal2D(grid, *s, *t, W))
            assert theirs[2] == ours.expansions and ours.status == "no_path", (theirs[2], ours.expansions)
        rows.append({"case": f"{n}^2 random, walled-in goal", "peer": "focal.focal2D", "ours": t_ours,
                     "peer_s": t_theirs, "expansions": ours.expansions})
        print(f"{n}^2: ours {t_ours:.3f} s, focal2D {t_theirs:.1f} s", file=sys.stderr)
    return rows


def voxel_row():
    rng = np.random.default_rng(11)
    grid = rng.random((33, 38, 39)) > 0.25
    grid[0, 0, 0] = grid[32, 37, 38] = True
    proximity = rng.random(grid.shape) * 10
    planner = gridsearch.Grid(grid)
    best = planner.astar((0, 0, 0), (32, 37, 38)).cost
    ours, t_ours = timed(lambda: planner.focal((0, 0, 0), (32, 37, 38), W, key=proximity))
    theirs, t_theirs = timed(lambda: focal.focal3D(grid, 0, 0, 0, 32, 37, 38, W, proximity))
    assert math.isfinite(ours.cost) and math.isfinite(theirs[1])
    print(f"3D: ours {t_ours:.3f} s, focal3D {t_theirs:.1f} s", file=sys.stderr)
    return {"case": "33 x 38 x 39, random proximity map", "peer": "focal.focal3D", "ours": t_ours,
            "peer_s": t_theirs, "expansions": ours.expansions}


def guide_keys(planner, grid, s, t):
    """The distance to another agent's path (from the opposite corner region), as focal keys."""
    from scipy.ndimage import distance_transform_edt

    other = planner.astar(t, s).path
    mask = np.ones(grid.shape, bool)
    mask[tuple(other.T)] = False
    return distance_transform_edt(mask)


def map_rows(n_queries):
    rows = []
    for f in sorted((ROOT / "data" / "maps").glob("*.map")):
        grid = read_map(f)
        planner = gridsearch.Grid(grid)
        rng = np.random.default_rng(5)
        random_key = rng.random(grid.shape)
        for kind in ("random keys", "guide-path keys"):
            t_focal = t_astar = 0.0
            expansions = 0
            worst = 0.0
            for s, t in query_pairs(grid, n_queries, seed=9):
                key = random_key if kind == "random keys" else guide_keys(planner, grid, s, t)
                best = planner.astar(s, t).cost
                r, a = timed(lambda: planner.focal(s, t, W, key=key))
                b = min(timed(lambda: planner.astar(s, t, w=W))[1] for _ in range(3))
                a = min(a, *(timed(lambda: planner.focal(s, t, W, key=key))[1] for _ in range(2)))
                worst = max(worst, r.cost / best if best else 1.0)
                t_focal += a
                t_astar += b
                expansions += r.expansions
            rows.append({"case": f"{f.stem}, {kind}", "focal_ms": t_focal * 1e3, "astar_ms": t_astar * 1e3,
                         "ratio": t_focal / t_astar, "rate": expansions / t_focal / 1e6, "worst": worst})
            print(f"{f.stem} {kind}: ratio {t_focal / t_astar:.2f}", file=sys.stderr)
    return rows


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--quick", action="store_true", help="skip focal2D on 1024^2 (about two minutes)")
    ap.add_argument("--queries", type=int, default=30)
    tables.add_arguments(ap, "focal_planner")
    args = ap.parse_args()
    big = walled_rows(args.quick) + [voxel_row()]
    maps = map_rows(args.queries)
    lines = [
        f"Run {datetime.date.today()} on {platform.machine()}, Python {platform.python_version()}, "
        f"`benchmarks/focal_planner.py{' --quick' if args.quick else ''}`, w = {W}, one run.",
        "",
        "| case | peer | Grid.focal (s) | peer (s) | speed-up | expansions | M expansions/s |",
        "|---|---|---:|---:|---:|---:|---:|",
    ]
    for r in big:
        speed = r["peer_s"] / r["ours"]
        lines.append(f"| {r['case']} | {r['peer']} | {r['ours']:.3f} | {r['peer_s']:.1f} | "
                     f"{'-' if math.isnan(speed) else f'{speed:.0f}x'} | {r['expansions']:,} | "
                     f"{r['expansions'] / r['ours'] / 1e6:.2f} |")
    lines += [
        "",
        f"Maps, {args.queries} queries each (sums; each time the best of 3). Ratio = Grid.focal / "
        "Grid.astar(w=1.5), target at most 3; worst = the largest cost / optimum seen.",
        "",
        "| map, keys | Grid.focal (ms) | Grid.astar w=1.5 (ms) | ratio | M expansions/s | worst cost / optimum |",
        "|---|---:|---:|---:|---:|---:|",
    ]
    for r in maps:
        lines.append(f"| {r['case']} | {r['focal_ms']:.1f} | {r['astar_ms']:.1f} | {r['ratio']:.2f} | "
                     f"{r['rate']:.2f} | {r['worst']:.3f} |")
    text = "\n".join(lines) + "\n"
    print(text)
    tables.write(args, "focal_planner", text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
