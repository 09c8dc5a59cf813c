"""The planner `gridsearch.Grid` against the peers with the same cost model.

    .venv-bench/bin/python benchmarks/planner.py [--queries 60] [--write | --out FILE]

Like with like, one run, every cost checked:
- 2D, unit steps, "enter" (a step costs the entered cell's cost), 8 neighbours:
  `Grid(costs, use_uniform_step_cost=True).astar` against pyastar2d's C entry
  point on every map in data/maps, with bool cells and with per-cell costs 1 to
  9 (blocks of random costs; costs rising near walls). Our cost must equal the
  cost of pyastar2d's path (both optimal).
- 2D, octile steps, bool cells: `Grid(grid).astar` against `astar.astar2D`
  (the same optimum).
- 2D, "mean" model on 256 x 256 maps with costs: against scikit-image's
  `MCP_Geometric` (the same optimum).
- 3D, 26 neighbours, unit steps, "enter", 128^3 voxel worlds with costs 1 to 9:
  against dijkstra3d's `dijkstra(..., connectivity=26, compass=True)`, whose
  paths may cost more (it stops when the goal is first reached); ours must not
  cost more.
Each query is timed as the best of 3; a row's times are sums over its queries.
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

import astar
import gridsearch

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "examples"))
from common import query_pairs, read_map, voxel_world  # noqa: E402

MAPS = ROOT / "data" / "maps"


def best_of(fn, reps=3):
    best, out = math.inf, None
    for _ in range(reps):
        t0 = time.perf_counter()
        out = fn()
        best = min(best, time.perf_counter() - t0)
    return out, best


def block_costs(grid, block=16, seed=1):
    rng = np.random.default_rng(seed)
    blocks = rng.integers(1, 10, (-(-grid.shape[0] // block), -(-grid.shape[1] // block)))
    costs = np.kron(blocks, np.ones((block, block)))[: grid.shape[0], : grid.shape[1]].astype(float)
    return np.where(grid, costs, np.inf)


def wall_costs(grid):
    from scipy.ndimage import distance_transform_edt

    d = distance_transform_edt(grid)
    return np.where(grid, np.clip(10.0 - d, 1.0, 9.0).round(), np.inf)


def enter_cost(costs, path, uniform=True):
    """The cost of a path under the "enter" model, summed in path order."""
    total = 0.0
    for a, b in zip(path[:-1], path[1:]):
        axes = int(np.count_nonzero(np.subtract(b, a)))
        total += (1.0 if uniform else (1.0, 1.4142135623730951, 1.7320508075688772)[axes - 1]) * costs[tuple(b)]
    return total


def compare(name, model, peer, queries, ours, theirs, check):
    t_ours, t_peer = 0.0, 0.0
    for s, t in queries:
        r, a = best_of(lambda: ours(s, t))
        p, b = best_of(lambda: theirs(s, t))
        check(r, p, s, t)
        t_ours += a
        t_peer += b
    return {"case": name, "model": model, "peer": peer, "n": len(queries), "ours": t_ours * 1e3,
            "peer_ms": t_peer * 1e3, "ratio": t_ours / t_peer}


def pyastar2d_rows(name, grid, n):
    import pyastar2d.astar as c_astar

    rows = []
    for cells_name, costs in (("bool cells", None), ("block costs 1-9", block_costs(grid)),
                              ("costs near walls 1-9", wall_costs(grid))):
        weights = np.where(grid, 1.0, np.inf) if costs is None else costs
        planner = gridsearch.Grid(grid if costs is None else costs, use_uniform_step_cost=True)
        h, w = grid.shape
        flat = weights.astype(np.float32).ravel()

        def theirs(s, t):
            return c_astar.astar(flat, h, w, s[0] * w + s[1], t[0] * w + t[1], True, 0)

        def check(r, p, s, t):
            want = enter_cost(weights, np.asarray(p))
            if not math.isclose(r.cost, want, rel_tol=1e-12):
                raise SystemExit(f"{name} {cells_name} {s}->{t}: ours {r.cost}, pyastar2d's path {want}")

        rows.append(compare(f"{name}, {cells_name}", "unit steps, enter", "pyastar2d", query_pairs(grid, n, seed=5),
                            lambda s, t: planner.astar(s, t), theirs, check))
    return rows


def octile_row(name, grid, n):
    planner = gridsearch.Grid(grid)

    def check(r, p, s, t):
        if not math.isclose(r.cost, p[1], rel_tol=1e-12):
            raise SystemExit(f"{name} {s}->{t}: ours {r.cost}, astar2D {p[1]}")

    return compare(f"{name}, bool cells", "octile", "astar.astar2D", query_pairs(grid, n, seed=6),
                   lambda s, t: planner.astar(s, t), lambda s, t: astar.astar2D(grid, *s, *t), check)


def mcp_row(name, grid, n):
    from skimage.graph import MCP_Geometric

    costs = block_costs(grid, block=8)
    planner = gridsearch.Grid(costs, cost_model="mean")

    def theirs(s, t):
        mcp = MCP_Geometric(costs, fully_connected=True)
        cum, _ = mcp.find_costs([s], [t])
        return cum[t]

    def check(r, p, s, t):
        if not math.isclose(r.cost, p, rel_tol=1e-9):
            raise SystemExit(f"{name} mean {s}->{t}: ours {r.cost}, MCP_Geometric {p}")

    return compare(f"{name}, block costs 1-9", "octile, mean", "skimage MCP_Geometric",
                   query_pairs(grid, n, seed=7), lambda s, t: planner.astar(s, t), theirs, check)


def dijkstra3d_row(n):
    import dijkstra3d

    world = voxel_world(128, density=0.2, seed=3)
    rng = np.random.default_rng(4)
    costs = np.where(world, rng.integers(1, 10, world.shape).astype(float), np.inf)
    field = np.where(world, costs, np.inf).astype(np.float32)
    planner = gridsearch.Grid(costs, use_uniform_step_cost=True)

    def theirs(s, t):
        return dijkstra3d.dijkstra(field, s, t, connectivity=26, compass=True)

    def check(r, p, s, t):
        want = enter_cost(costs, np.asarray(p))
        if r.cost > want * (1 + 1e-12):
            raise SystemExit(f"3D {s}->{t}: ours {r.cost} costs more than dijkstra3d's path {want}")

    return compare("voxels 128^3, costs 1-9", "26 neighbours, unit steps, enter", "dijkstra3d compass",
                   query_pairs(world, n, seed=8), lambda s, t: planner.astar(s, t), theirs, check)


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--queries", type=int, default=60)
    tables.add_arguments(ap, "planner")
    args = ap.parse_args()
    rows = []
    for f in sorted(MAPS.glob("*.map")):
        grid = read_map(f)
        rows += pyastar2d_rows(f.stem, grid, args.queries)
        rows.append(octile_row(f.stem, grid, args.queries))
        print(f"{f.stem} done", file=sys.stderr)
    for f in sorted(MAPS.glob("*.map")):
        grid = read_map(f)
        if grid.shape == (256, 256):
            rows.append(mcp_row(f.stem, grid, max(10, args.queries // 3)))
    rows.append(dijkstra3d_row(max(10, args.queries // 3)))
    lines = [
        f"Run {datetime.date.today()} on {platform.machine()}, Python {platform.python_version()}, "
        f"`benchmarks/planner.py --queries {args.queries}`; sums over the queries, each best of 3. "
        "Ratio = ours / peer (below 1: ours is faster; the target is 0.5).",
        "",
        "| case | step model | peer | queries | Grid.astar (ms) | peer (ms) | ratio |",
        "|---|---|---|---:|---:|---:|---:|",
    ]
    for r in rows:
        lines.append(f"| {r['case']} | {r['model']} | {r['peer']} | {r['n']} | {r['ours']:.1f} | "
                     f"{r['peer_ms']:.1f} | {r['ratio']:.2f} |")
    text = "\n".join(lines) + "\n"
    print(text)
    tables.write(args, "planner", text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
