"""Many queries on real benchmark maps: timings, a summary table and pictures.

    python examples/real_maps.py                    # every map in data/maps, else generated ones
    python examples/real_maps.py a.map b.map --queries 500 --out out/maps

Maps are read from the usual text format ('.', 'G', 'S' free; anything else
blocked). For each map it plans seeded queries between cells of the largest
connected region with `astar2D`, prints a table, and writes a PNG with every
path in red over the cells expanded by the longest query.
"""

from __future__ import annotations

import argparse
import sys
import time
from pathlib import Path

import numpy as np

import astar

sys.path.insert(0, str(Path(__file__).resolve().parent))
from common import SEARCH_LEGEND, draw, maze_map, query_pairs, random_map, read_map, render, rgb, rooms_map  # noqa: E402

MAPS = Path(__file__).resolve().parents[1] / "data" / "maps"


def load_maps(paths: list[str], size: int, generate: bool = False) -> dict[str, np.ndarray]:
    if not paths and not generate and MAPS.is_dir():
        paths = sorted(str(p) for p in MAPS.glob("*.map"))
    if paths:
        return {Path(p).stem: read_map(p) for p in paths}
    return {
        f"rooms{size}": rooms_map(size, room=max(16, size // 8)),
        f"maze{size}": maze_map(size),
        f"random{size}": random_map(size),
    }


def plan(grid: np.ndarray, queries: int, seed: int) -> dict:
    """Runs the queries; returns per-query costs, expansions, times and paths."""
    out = {"cost": [], "expansions": [], "ms": [], "paths": [], "visited": None, "longest": -1.0}
    for start, goal in query_pairs(grid, queries, seed):
        t0 = time.perf_counter()
        path, cost, expansions, visited = astar.astar2D(grid, *start, *goal)
        out["ms"].append((time.perf_counter() - t0) * 1e3)
        out["cost"].append(cost)
        out["expansions"].append(expansions)
        out["paths"].append(path)
        if cost > out["longest"]:
            out["longest"], out["visited"] = cost, visited
    return out


def main(argv=None) -> int:
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("maps", nargs="*", help="map files (default: data/maps/*.map, else generated maps)")
    ap.add_argument("--queries", type=int, default=200, help="queries per map (default 200)")
    ap.add_argument("--size", type=int, default=512, help="side of the generated maps (default 512)")
    ap.add_argument("--generate", action="store_true", help="use generated maps even when data/maps exists")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--out", default="out/maps", help="folder for the pictures")
    args = ap.parse_args(argv)

    header = f"{'map':<16} {'size':>11} {'queries':>7} {'mean cost':>10} {'mean exp.':>10} {'median ms':>9} {'max ms':>8}"
    print(header)
    print("-" * len(header))
    try:
        maps = load_maps(args.maps, args.size, args.generate)
    except (OSError, ValueError) as err:
        print(f"error: {err}", file=sys.stderr)
        return 2
    for name, grid in maps.items():
        run = plan(grid, args.queries, args.seed)
        if not run["cost"]:
            print(f"{name:<16} no free cells")
            continue
        size = f"{grid.shape[0]}x{grid.shape[1]}"
        print(f"{name:<16} {size:>11} {len(run['cost']):>7} {np.mean(run['cost']):>10.1f} "
              f"{np.mean(run['expansions']):>10.0f} {np.median(run['ms']):>9.3f} {max(run['ms']):>8.3f}")
        target = Path(args.out) / f"{name}.png"
        panel = {"image": render(grid, run["visited"]),
                 "title": "astar2D: every optimal path, and the longest query's expanded cells",
                 "lines": [(path, rgb("path"), 1.2) for path in run["paths"]]}
        legend = SEARCH_LEGEND[:2] + [("expanded by the longest query", rgb("visited"), "patch"),
                                      ("paths (astar2D)", rgb("path"), "line")]
        draw(target, [panel], legend, inches=6.0, columns=2, title=f"{len(run['paths'])} random queries on {name} ({grid.shape[0]} x {grid.shape[1]})")
    print(f"\npictures in {args.out}/: red paths, blue cells expanded by each map's longest query")
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
