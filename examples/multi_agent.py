"""Agents planned one after another with focal search, each avoiding the cells earlier paths use.

    python examples/multi_agent.py [MAP] [--agents 12] [--w 1.3] [--out out/multi_agent.png]

The low level of bounded-suboptimal multi-agent planners, in its simplest
form: agent k's key map counts, per cell, how many of agents 0..k-1's paths
pass through it, and `Grid.focal(start, goal, w, key=counts)` picks, among the
paths the bound allows, one that crosses few of them. Against independent A*
paths (each optimal, blind to the others) it prints the cost and the cells
that two or more paths share; the picture shows both sets of paths.
"""

from __future__ import annotations

import argparse
import sys
import time
from pathlib import Path

import numpy as np

import gridsearch

sys.path.insert(0, str(Path(__file__).resolve().parent))
from common import distinct_colours, draw, query_pairs, read_map, render  # noqa: E402

ROOT = Path(__file__).resolve().parent.parent


def shared_cells(paths, shape) -> int:
    """Cells on two or more of the paths (a cell counts once per path beyond the first)."""
    use = np.zeros(shape, np.int32)
    for p in paths:
        use[tuple(np.unique(p, axis=0).T)] += 1
    return int(np.maximum(use - 1, 0).sum())


def main(argv=None) -> int:
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("map", nargs="?", default=str(ROOT / "data" / "maps" / "den520d.map"))
    ap.add_argument("--agents", type=int, default=12)
    ap.add_argument("--w", type=float, default=1.3)
    ap.add_argument("--out", default="out/multi_agent.png")
    args = ap.parse_args(argv)

    free = read_map(args.map)
    grid = gridsearch.Grid(free)
    # Agents cross one region: starts and goals from two small areas, so that paths meet.
    pairs = query_pairs(free, 4 * args.agents, seed=8)
    pairs = sorted(pairs, key=lambda q: (q[0][0] // 64, q[1][0] // 64))[: args.agents]

    t0 = time.perf_counter()
    independent = [grid.astar(s, t) for s, t in pairs]
    t_astar = time.perf_counter() - t0

    counts = np.zeros(free.shape)
    planned = []
    t0 = time.perf_counter()
    for s, t in pairs:
        r = grid.focal(s, t, args.w, key=counts)
        planned.append(r)
        counts[tuple(np.unique(r.path, axis=0).T)] += 1
    t_focal = time.perf_counter() - t0

    best = np.array([r.cost for r in independent])
    got = np.array([r.cost for r in planned])
    print(f"{Path(args.map).stem} {free.shape}: {len(pairs)} agents, w = {args.w}")
    print(f"{'planner':<34} {'total cost':>11} {'worst cost / optimum':>21} {'shared cells':>13} {'time (ms)':>10}")
    print(f"{'independent A* (optimal each)':<34} {best.sum():>11.1f} {1.0:>21.3f} "
          f"{shared_cells([r.path for r in independent], free.shape):>13d} {t_astar * 1e3:>10.1f}")
    print(f"{'focal, key = earlier paths':<34} {got.sum():>11.1f} {float((got / best).max()):>21.3f} "
          f"{shared_cells([r.path for r in planned], free.shape):>13d} {t_focal * 1e3:>10.1f}")

    base = render(free)
    colours = distinct_colours(len(pairs))
    legend = [(f"agent {k}", colours[k], "line") for k in range(len(pairs))]
    panels = []
    for title, results in (("independent A* paths", independent), (f"focal search, w = {args.w}", planned)):
        lines = [(r.path, colours[k], 1.6) for k, r in enumerate(results)]
        cells = shared_cells([r.path for r in results], free.shape)
        panels.append({"image": base, "title": f"{title}\n{cells} cells on more than one path", "lines": lines,
                       "marks": [(np.array([r.path[0] for r in results]), "black", "o", 4),
                                 (np.array([r.path[-1] for r in results]), "black", "*", 6)]})
    legend += [("start", "black", "o"), ("goal", "black", "*")]
    draw(args.out, panels, legend, columns=min(7, len(legend)),
         title=f"{len(pairs)} agents on {Path(args.map).stem}, planned in turn: later agents avoid earlier paths")
    print(f"wrote {args.out}")
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
