"""Demo: every search of both modules on maps made here, a table and a picture.

Run with `bash scripts/demo.sh` (or `python examples/demo.py` once installed).
Writes out/demo.png: plain A*, weighted A* (w = 2) and focal search guided by
a sketched route, each showing the expanded cells and the path.
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
from common import SEARCH_LEGEND, draw, free_cell_near, guide_mask, proximity_to, render, rgb, rooms_map, voxel_world  # noqa: E402,E501

def timed(fn, *args, **kwargs):
    t0 = time.perf_counter()
    result = fn(*args, **kwargs)
    return result, (time.perf_counter() - t0) * 1e3

def main(argv=None) -> int:
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--size", type=int, default=512, help="side of the 2D map (default 512)")
    ap.add_argument("--voxels", type=int, default=48, help="side of the 3D world (default 48)")
    ap.add_argument("--out", default="out/demo.png", help="picture to write")
    args = ap.parse_args(argv)

    n = args.size
    grid = rooms_map(n, room=max(16, n // 8))
    start = free_cell_near(grid, (4, 4))
    goal = free_cell_near(grid, (n - 5, n - 5))
    sketch = [start, (n // 5, n // 2), (n // 2, n * 4 // 5), goal]
    guide = guide_mask(grid.shape, sketch)
    proximity = proximity_to(guide)

    world = voxel_world(args.voxels)
    s3 = free_cell_near(world, (0, 0, 0))
    t3 = free_cell_near(world, (args.voxels - 1,) * 3)

    runs = [
        ("astar2D", "-", lambda: astar.astar2D(grid, *start, *goal)),
        ("astar2D_heuristic_grid", "1.0", lambda: astar.astar2D_heuristic_grid(grid, None, *start, *goal, 1.0)),
        ("astar2D_heuristic_grid", "2.0", lambda: astar.astar2D_heuristic_grid(grid, None, *start, *goal, 2.0)),
        ("astar2D_heuristic_grid", "5.0", lambda: astar.astar2D_heuristic_grid(grid, None, *start, *goal, 5.0)),
        ("focal2D", "1.5", lambda: focal.focal2D(grid, *start, *goal, 1.5)),
        ("focal2D + guide", "1.5", lambda: focal.focal2D(grid, *start, *goal, 1.5, proximity)),
        ("astar3D", "-", lambda: astar.astar3D(world, *s3, *t3)),
        ("astar3D_heuristic_grid", "1.5", lambda: astar.astar3D_heuristic_grid(world, None, *s3, *t3, 1.5)),
        ("focal3D", "1.5", lambda: focal.focal3D(world, *s3, *t3, 1.5)),
    ]

    print(f"2D map {n} x {n} (rooms, doors, obstacles), {start} -> {goal}")
    print(f"3D world {args.voxels}^3 (20 % voxels blocked, floors with holes), {s3} -> {t3}\n")
    header = f"{'function':<24} {'w':>4} {'cost':>12} {'expansions':>11} {'path len':>9} {'time ms':>9}"
    print(header)
    print("-" * len(header))
    results = {}
    for name, w, call in runs:
        (path, cost, expansions, visited), ms = timed(call)
        results[(name, w)] = (path, visited)
        print(f"{name:<24} {w:>4} {cost:>12.4f} {expansions:>11d} {len(path):>9d} {ms:>9.2f}")

    def panel(key, title, with_guide=False):
        path, visited = results[key]
        lines = [(path, rgb("path"), 2.0)]  # wider than a cell, over the expanded ones
        if with_guide:  # a wide band under the path, so that it shows beside it
            lines.insert(0, (np.array(sketch), rgb("guide"), 6.0))
        return {"image": render(grid, visited, None, None),
                "title": f"{title}\n{int(visited.sum())} cells expanded, path {len(path)} cells", "lines": lines}

    panels = [
        panel(("astar2D", "-"), "astar2D (optimal)"),
        panel(("astar2D_heuristic_grid", "2.0"), "astar2D_heuristic_grid, w = 2"),
        panel(("focal2D + guide", "1.5"), "focal2D along the guide, w = 1.5", with_guide=True),
    ]
    legend = SEARCH_LEGEND + [("guide (focal key: distance to it)", rgb("guide"), "line")]
    draw(args.out, panels, legend, title=f"{n} x {n} map: start top left, goal bottom right")
    print(f"\nwrote {args.out}: A* | weighted A* (w = 2) | focal search along the green guide (w = 1.5)")
    return 0

if __name__ == "__main__":
    raise SystemExit(main())
