"""A robot on a costmap built from a real map, planned with both cost models.

    python examples/costmap.py [MAP] [--out out/costmap.png]

The costmap follows the usual robotics convention: cells cost 1 to 254 to
cross, rising near walls (here from a distance transform: 254 next to a wall,
falling to 1 at 8 cells), and 255 marks a lethal cell (a wall), which the
planner gets as +inf. The same query is planned with the "enter" model (a step
costs its length times the entered cell's cost, as pyastar2d and
python-pathfinding count) and the "mean" model (its length times the mean of
the two cells' costs, as scikit-image's MCP_Geometric counts), with corner-free
diagonals, and against plain shortest paths on the bool map. The picture shows
the costmap with the three paths.
"""

from __future__ import annotations

import argparse
import sys
from pathlib import Path

import numpy as np

import gridsearch

sys.path.insert(0, str(Path(__file__).resolve().parent))
from common import draw, largest_region, read_map  # noqa: E402

ROOT = Path(__file__).resolve().parent.parent
LETHAL = 255


def costmap(free: np.ndarray, reach: float = 8.0) -> np.ndarray:
    """uint8 costs: 255 on walls, 254 beside them, down to 1 at `reach` cells."""
    from scipy.ndimage import distance_transform_edt

    d = distance_transform_edt(free)
    cost = np.clip(np.round(1 + 253 * (1 - (d - 1) / (reach - 1)) ** 2), 1, 254)
    cost = np.where(d >= reach, 1, cost).astype(np.uint8)
    cost[~free] = LETHAL
    return cost


def main(argv=None) -> int:
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("map", nargs="?", default=str(ROOT / "data" / "maps" / "den520d.map"))
    ap.add_argument("--out", default="out/costmap.png")
    args = ap.parse_args(argv)

    free = read_map(args.map)
    region = np.argwhere(largest_region(free))
    start = tuple(int(v) for v in region[0])
    goal = tuple(int(v) for v in region[-1])
    cost = costmap(free)
    cells = np.where(cost == LETHAL, np.inf, cost.astype(float))

    runs = {
        "shortest (bool map)": gridsearch.Grid(free, corner_cutting=False),
        "costmap, enter model": gridsearch.Grid(cells, corner_cutting=False, cost_model="enter"),
        "costmap, mean model": gridsearch.Grid(cells, corner_cutting=False, cost_model="mean"),
    }
    print(f"{Path(args.map).stem} {free.shape}, {start} -> {goal}; cells cost 1..254, 255 = lethal")
    print(f"{'planner':<22} {'length':>8} {'path cost':>12} {'expansions':>11} {'mean cell cost on path':>23}")
    paths = {}
    for name, grid in runs.items():
        r = grid.astar(start, goal)
        steps = np.abs(np.diff(r.path, axis=0)).sum(axis=1)
        length = float(np.where(steps == 2, np.sqrt(2), 1.0).sum())
        on_path = float(cost[tuple(r.path.T)].mean())
        print(f"{name:<22} {length:>8.1f} {r.cost:>12.1f} {r.expansions:>11d} {on_path:>23.1f}")
        paths[name] = r.path

    shade = np.where(cost == LETHAL, 0, 250 - cost.astype(float) * 0.75).astype(np.uint8)
    image = np.stack([shade, shade, shade], axis=-1)
    style = {"shortest (bool map)": ("#2ca02c", 2.0), "costmap, enter model": ("#d62728", 5.0),
             "costmap, mean model": ("#1f77b4", 1.8)}  # enter drawn wide, under mean: they may coincide
    panel = {"image": image, "title": "grey: cell cost (darker near walls); black: lethal",
             "lines": [(paths[n], c, w) for n, (c, w) in style.items()]}
    legend = [(n, c, "line") for n, (c, _) in style.items()]
    draw(args.out, [panel], legend, inches=6.0, columns=1,
         title=f"A robot on the {Path(args.map).stem} costmap, corner-free moves")
    print(f"wrote {args.out}")
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
