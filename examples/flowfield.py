"""A crowd heads for the nearest exit on one field, and a field as an exact heuristic.

    python examples/flowfield.py [MAP] [--agents 500] [--out out/flowfield.png]

One `distance_field(exits, reverse=True)` gives every cell its cost to the
nearest exit; each frame, one `next_steps` call moves every agent one cell
down it. Slow ground (cost 4) covers part of the map, so agents route around it
when that is cheaper. Then the exact-heuristic recipe: the field toward a goal,
given as the heuristic, makes A* expand only the cells of one cheapest path,
with `Grid.astar` and with `astar.astar2D_heuristic_grid` given
w = 1 + 2**-40 (which breaks ties of f toward the goal). The picture shows the
field, the exits and the agents' trails.
"""

from __future__ import annotations

import argparse
import sys
import time
from pathlib import Path

import numpy as np

import astar
import gridsearch

sys.path.insert(0, str(Path(__file__).resolve().parent))
from common import draw, largest_region, query_pairs, read_map  # noqa: E402

ROOT = Path(__file__).resolve().parent.parent


def main(argv=None) -> int:
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("map", nargs="?", default=str(ROOT / "data" / "maps" / "den520d.map"))
    ap.add_argument("--agents", type=int, default=500)
    ap.add_argument("--queries", type=int, default=10)
    ap.add_argument("--out", default="out/flowfield.png")
    args = ap.parse_args(argv)

    free = read_map(args.map)
    region = largest_region(free)
    rows, cols = free.shape
    cost = np.where(free, 1.0, np.inf)
    slow = np.zeros(free.shape, bool)
    slow[rows // 3: 2 * rows // 3, : cols // 2] = True
    cost[slow & free] = 4.0
    grid = gridsearch.Grid(cost)

    cells = np.argwhere(region)
    rng = np.random.default_rng(3)
    exits = cells[rng.choice(len(cells), 3, replace=False)]
    t0 = time.perf_counter()
    field = grid.distance_field(exits, reverse=True)
    t_field = time.perf_counter() - t0

    agents = cells[rng.choice(len(cells), args.agents, replace=False)].astype(np.int64)
    trails = [agents.copy()]
    t_steps, frames = 0.0, 0
    while (field[tuple(agents.T)] > 0).any():
        t0 = time.perf_counter()
        agents = grid.next_steps(field, agents)
        t_steps += time.perf_counter() - t0
        trails.append(agents.copy())
        frames += 1
    arrived = int((field[tuple(agents.T)] == 0).sum())
    print(f"{Path(args.map).stem} {free.shape}: {len(exits)} exits, {args.agents} agents, slow ground costs 4")
    print(f"field: {t_field * 1e3:.2f} ms; {frames} frames of next_steps for all agents: "
          f"{t_steps / max(frames, 1) * 1e6:.1f} us per frame; arrived: {arrived} of {args.agents}")

    # The exact heuristic: the field toward the goal, on the bool map (astar2D's step costs).
    plain = gridsearch.Grid(free)
    tie = 1 + 2**-40  # among equal f (up to rounding), the cell nearer the goal first
    names = ["astar.astar2D (octile estimate)", "astar.astar2D_heuristic_grid (field, w=1+2**-40)",
             "Grid.astar (built-in estimate)", "Grid.astar (heuristic=field)"]
    totals = dict.fromkeys(names, 0)
    path_cells = 0
    for start, goal in query_pairs(free, args.queries, seed=4):
        exact = plain.distance_field(goal, reverse=True)
        runs = [astar.astar2D(free, *start, *goal), astar.astar2D_heuristic_grid(free, exact, *start, *goal, w=tie),
                plain.astar(start, goal), plain.astar(start, goal, heuristic=exact)]
        costs = {round(r[1], 9) for r in runs}
        assert costs == {round(float(exact[start]), 9)}, (start, goal, costs)
        for name, r in zip(names, runs):
            totals[name] += r[2]
        path_cells += len(runs[0][0])
    print(f"\nexact heuristic, {args.queries} queries (same costs), {path_cells} cells on their paths:")
    print(f"{'search':<50} {'expansions':>11}")
    for name in names:
        print(f"{name:<50} {totals[name]:>11d}")

    finite = np.isfinite(field)
    shade = np.zeros(field.shape)
    shade[finite] = field[finite] / field[finite].max()
    import matplotlib

    colour = matplotlib.colormaps["viridis"](shade)[..., :3]
    image = np.where(free[..., None], (colour * 255).astype(np.uint8), 0).astype(np.uint8)
    image[slow & free] = (image[slow & free] * 0.6).astype(np.uint8)
    paths = np.stack(trails, axis=1)  # (agents, frames + 1, 2)
    panel = {"image": image, "title": "cost to the nearest exit (darker band: slow ground, cost 4)",
             "lines": [(p, "#ff4fd8", 0.5) for p in paths],
             "marks": [(paths[:, 0], "white", "o", 2.2), (exits, "#d62728", "*", 12)],
             "colorbar": ("viridis", 0.0, float(field[finite].max()), "cost to the nearest exit")}
    legend = [("exit", "#d62728", "*"), ("agent start", "white", "o"), ("agent trail", "#ff4fd8", "line"),
              ("blocked", "black", "patch")]
    draw(args.out, [panel], legend, inches=6.0, columns=4,
         title=f"{args.agents} agents on one flow field, {Path(args.map).stem}: every trail shown")
    print(f"wrote {args.out}")
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
