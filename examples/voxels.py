"""A path through a 3D voxel world, drawn as a row of horizontal slices.

    python examples/voxels.py [--size 48] [--slices 8] [--out out/voxels.png]

The world has random blocked voxels and solid floors pierced by a few holes, so
the path has to climb through them. Each panel is one z level (its title says
which): dark voxels are blocked, blue ones were expanded, red squares are the
path's voxels on that level, and the thin pink line is the whole path seen
from above; the legend says the same.
"""

from __future__ import annotations

import argparse
import sys
import time
from pathlib import Path

import numpy as np

import astar
import focal

sys.path.insert(0, str(Path(__file__).resolve().parent))
from common import SEARCH_LEGEND, draw, free_cell_near, largest_region, render, rgb, voxel_world  # noqa: E402


def slices(world: np.ndarray, visited: np.ndarray, path: np.ndarray, levels) -> list[dict]:
    """One panel per z level: the level's voxels, the path's voxels on it, the path from above."""
    panels = []
    for z in levels:
        here = path[path[:, 2] == z]
        panels.append({"image": render(world[:, :, z], visited[:, :, z]), "title": f"z = {z}: {len(here)} on the path",
                       "lines": [(path[:, :2], "#f0a0a0", 1.2)], "marks": [(here[:, :2], rgb("path"), "s")]})
    return panels


def main(argv=None) -> int:
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--size", type=int, default=48, help="side of the world (default 48)")
    ap.add_argument("--slices", type=int, default=8, help="z levels to draw (default 8)")
    ap.add_argument("--out", default="out/voxels.png")
    args = ap.parse_args(argv)

    n = args.size
    world = voxel_world(n)
    region = largest_region(world)
    start, goal = free_cell_near(region, (0, 0, 0)), free_cell_near(region, (n - 1,) * 3)
    print(f"world {n}^3, {int(world.sum())} free voxels, {start} -> {goal}")
    print(f"{'search':<34} {'cost':>9} {'expansions':>11} {'path':>5} {'ms':>8}")
    runs = [
        ("astar3D", lambda: astar.astar3D(world, *start, *goal)),
        ("astar3D uniform steps", lambda: astar.astar3D(world, *start, *goal, True)),
        ("astar3D_heuristic_grid w=2", lambda: astar.astar3D_heuristic_grid(world, None, *start, *goal, 2.0)),
        ("focal3D w=1.5", lambda: focal.focal3D(world, *start, *goal, 1.5)),
    ]
    results = {}
    for name, call in runs:
        t0 = time.perf_counter()
        results[name] = path, cost, expansions, visited = call()
        ms = (time.perf_counter() - t0) * 1e3
        print(f"{name:<34} {cost:>9.3f} {expansions:>11d} {len(path):>5d} {ms:>8.2f}")

    path, _, _, visited = results["astar3D"]
    levels = np.unique(np.minimum(np.arange(args.slices) * max(1, n // args.slices), n - 1))
    legend = SEARCH_LEGEND[:3] + [("path voxel on this level", rgb("path"), "s"),
                                  ("whole path, seen from above", "#f0a0a0", "line")]
    draw(args.out, slices(world, visited, path, levels), legend, inches=2.4,
         title=f"astar3D through a {n}^3 voxel world, {start} to {goal}: horizontal slices (x down, y across)")
    print(f"wrote {args.out}: z levels {levels.tolist()} of the astar3D path")
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
