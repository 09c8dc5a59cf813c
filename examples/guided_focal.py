"""Focal search that follows a guide path while staying within a cost bound.

    python examples/guided_focal.py [--size 256] [--w 1.5] [--out out/guided_focal.png]

A guide (for example a route sketched by a person, or the path of another
agent to follow) becomes a proximity map: each cell's distance to the guide,
from `scipy.ndimage.distance_transform_edt`. `focal2D` expands, among the open
cells whose f is within w times the best f, the one closest to the guide, so
the path hugs the guide where that costs little. The picture shows plain A*,
focal search without a map, and focal search along the guide (green).
"""

from __future__ import annotations

import argparse
import sys
from pathlib import Path

import numpy as np

import astar
import focal

sys.path.insert(0, str(Path(__file__).resolve().parent))
from common import (SEARCH_LEGEND, draw, free_cell_near, guide_mask, largest_region, proximity_to,  # noqa: E402
                    render, rgb, rooms_map)


def main(argv=None) -> int:
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--size", type=int, default=256, help="side of the map (default 256)")
    ap.add_argument("--w", type=float, default=1.5, help="suboptimality factor (default 1.5)")
    ap.add_argument("--out", default="out/guided_focal.png")
    args = ap.parse_args(argv)

    n = args.size
    grid = rooms_map(n, room=max(16, n // 6), seed=7)
    region = largest_region(grid)
    start, goal = free_cell_near(region, (2, 2)), free_cell_near(region, (n - 3, n - 3))
    waypoints = [start, free_cell_near(region, (n * 4 // 5, n // 6)), free_cell_near(region, (n * 5 // 6, n // 2)), goal]
    guide = guide_mask(grid.shape, waypoints)
    proximity = proximity_to(guide)

    best = astar.astar2D(grid, *start, *goal)
    plain = focal.focal2D(grid, *start, *goal, args.w)
    guided = focal.focal2D(grid, *start, *goal, args.w, path_proximity_map=proximity)

    print(f"map {n} x {n}, {start} -> {goal}, w = {args.w}, guide through {waypoints[1:-1]}")
    print(f"{'search':<22} {'cost':>10} {'x optimal':>10} {'expansions':>11} {'mean distance to guide':>23}")
    for name, (path, cost, expansions, _) in (("A*", best), ("focal, no map", plain), ("focal along the guide", guided)):
        distance = float(np.mean(proximity[path[:, 0], path[:, 1]])) if len(path) else float("nan")
        print(f"{name:<22} {cost:>10.2f} {cost / best[1]:>10.3f} {expansions:>11d} {distance:>23.2f}")
    within = guided[1] <= args.w * best[1]
    print(f"guided cost within w x optimal: {within}")

    def panel(result, title, with_guide=False):
        path, cost, expansions, visited = result
        lines = [(path, rgb("path"), 2.0)]
        if with_guide:  # a wide band under the path, so that it shows beside it
            lines.insert(0, (np.array(waypoints), rgb("guide"), 6.0))
        return {"image": render(grid, visited), "lines": lines,
                "title": f"{title}\ncost {cost / best[1]:.3f} x optimal, {expansions} cells expanded"}

    panels = [panel(best, "A* (optimal)"), panel(plain, f"focal search, w = {args.w}, no map"),
              panel(guided, f"focal search along the guide, w = {args.w}", with_guide=True)]
    legend = SEARCH_LEGEND + [("guide (focal key: distance to it)", rgb("guide"), "line")]
    draw(args.out, panels, legend, title=f"{n} x {n} rooms map: start top left, goal bottom right")
    print(f"wrote {args.out}: A* | focal (no map) | focal along the green guide; blue: expanded, red: path")
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
