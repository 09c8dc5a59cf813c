"""Distance fields: `Grid.distance_field` against the peers with the same cost model.

    .venv-bench/bin/python benchmarks/fields.py [--quick] [--write | --out FILE]

Like with like, one run, every value checked:
- tcod `dijkstra2d` (integer costs, cardinal = diagonal = 1): unit steps,
  "enter", 8 neighbours; values equal exactly.
- dijkstra3d `distance_field` (float32 costs): unit steps, "enter", 8 / 26 / 6
  neighbours; values equal exactly (integer sums, exact in float32 here).
- scikit-image `MCP_Geometric.find_costs`: octile steps, "mean"; values equal
  to 1e-9 relative.
Cases: every map in data/maps (bool cells, and costs 1-9 in 16 x 16 blocks),
1024^2 and 2048^2 grids of block costs 1-9 with 20 % of cells blocked, voxel
worlds of 128^3 and 256^3 with costs 1-9. One origin, the free cell nearest
the centre. Times are the best of 3 (of 1 for the 256^3 world).
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

import gridsearch

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "examples"))
from common import read_map, voxel_world  # noqa: E402

MAPS = ROOT / "data" / "maps"


def best_of(fn, reps):
    best, out = math.inf, None
    for _ in range(reps):
        t0 = time.perf_counter()
        out = fn()
        best = min(best, time.perf_counter() - t0)
    return out, best


def block_costs(shape, blocked=0.0, block=16, seed=1):
    rng = np.random.default_rng(seed)
    blocks = rng.integers(1, 10, tuple(-(-n // block) for n in shape))
    costs = np.kron(blocks, np.ones((block,) * len(shape)))[tuple(slice(0, n) for n in shape)].astype(float)
    costs[rng.random(shape) < blocked] = np.inf
    return costs


def centre_origin(costs):
    free = np.argwhere(np.isfinite(costs))
    centre = np.array(costs.shape) / 2
    return tuple(int(v) for v in free[np.argmin(((free - centre) ** 2).sum(axis=1))])


def tcod_field(costs, origin):
    import tcod

    cost = np.where(np.isfinite(costs), costs, 0).astype(np.int32)

    def run():
        dist = np.full(cost.shape, np.iinfo(np.int32).max, np.int32)
        dist[origin] = 0
        tcod.path.dijkstra2d(dist, cost, 1, 1, out=dist)
        return np.where(dist == np.iinfo(np.int32).max, np.inf, dist.astype(float))

    return run


def dijkstra3d_field(costs, origin, connectivity):
    import dijkstra3d

    field = np.where(np.isfinite(costs), costs, np.inf).astype(np.float32)

    def run():
        d = dijkstra3d.distance_field(field, source=origin, connectivity=connectivity)
        return np.asarray(d, dtype=float)

    return run


def mcp_field(costs, origin):
    from skimage.graph import MCP_Geometric

    def run():
        cum, _ = MCP_Geometric(costs, fully_connected=True).find_costs([origin])
        return cum

    return run


def rows_for(name, costs, reps):
    origin = centre_origin(costs)
    dim = costs.ndim
    peers = []  # (peer, model text, Grid options, peer run, exact?)
    if dim == 2:
        peers.append(("tcod dijkstra2d", "8 nb, unit steps, enter", dict(use_uniform_step_cost=True),
                      tcod_field(costs, origin), True))
        peers.append(("dijkstra3d distance_field", "8 nb, unit steps, enter",
                      dict(use_uniform_step_cost=True), dijkstra3d_field(costs, origin, 8), True))
        peers.append(("skimage MCP_Geometric", "8 nb, octile, mean", dict(cost_model="mean"),
                      mcp_field(costs, origin), False))
    else:
        for conn in (26, 6):
            peers.append(("dijkstra3d distance_field", f"{conn} nb, unit steps, enter",
                          dict(connectivity=conn, use_uniform_step_cost=True),
                          dijkstra3d_field(costs, origin, conn), True))
    rows = []
    for peer, model, options, theirs, exact in peers:
        grid = gridsearch.Grid(costs, **options)
        ours, t_ours = best_of(lambda: grid.distance_field(origin), reps)
        want, t_peer = best_of(theirs, reps)
        reached = np.isfinite(want)
        if not (np.array_equal(reached, np.isfinite(ours)) and
                (np.array_equal(ours[reached], want[reached]) if exact
                 else np.allclose(ours[reached], want[reached], rtol=1e-9, atol=0))):
            bad = np.argwhere(~np.isclose(ours, want, rtol=1e-9, atol=0, equal_nan=True))[0]
            raise SystemExit(f"{name} vs {peer}: at {tuple(bad)} ours {ours[tuple(bad)]}, theirs {want[tuple(bad)]}")
        rows.append({"case": name, "cells": costs.size, "model": model, "peer": peer,
                     "ours": t_ours * 1e3, "peer_ms": t_peer * 1e3, "ratio": t_ours / t_peer})
        print(f"{name:32s} {peer:28s} ours {t_ours * 1e3:9.1f} ms  peer {t_peer * 1e3:9.1f} ms  "
              f"ratio {t_ours / t_peer:.2f}", file=sys.stderr)
    return rows


def level_way_ms():
    """descend and next_steps across a zero-cost plain of 3000 x 3000 (a wall
    of cost 1 beside column 0): each step searches a level region only up to
    its nearest exit, so this takes well under a millisecond; a search of the
    whole plain per step took over 20 s."""
    cost = np.zeros((3000, 3000))
    cost[:, 1] = 1.0
    g = gridsearch.Grid(cost)
    field = g.distance_field((0, 0), reverse=True)
    return best_of(lambda: (g.descend(field, (5, 3)), g.next_steps(field, [[5, 3], [6, 3], [7, 3], [8, 3]])), 3)


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--quick", action="store_true", help="skip the 2048^2 grid and the 256^3 world")
    tables.add_arguments(ap, "fields")
    args = ap.parse_args()
    rows = []
    for f in sorted(MAPS.glob("*.map")):
        grid = read_map(f)
        rows += rows_for(f"{f.stem}, bool cells", np.where(grid, 1.0, np.inf), 3)
        rows += rows_for(f"{f.stem}, block costs 1-9", np.where(grid, block_costs(grid.shape), np.inf), 3)
    for n in (1024,) if args.quick else (1024, 2048):
        rows += rows_for(f"{n}^2, block costs 1-9, 20 % blocked", block_costs((n, n), 0.2), 3)
    for n in (128,) if args.quick else (128, 256):
        world = voxel_world(n, density=0.2, seed=3)
        costs = np.where(world, np.random.default_rng(4).integers(1, 10, world.shape).astype(float), np.inf)
        rows += rows_for(f"voxels {n}^3, costs 1-9", costs, 3 if n <= 128 else 1)
    lines = [
        f"Run {datetime.date.today()} on {platform.machine()}, Python {platform.python_version()}, "
        f"`benchmarks/fields.py{' --quick' if args.quick else ''}`; one field from one origin, best of 3 "
        "(1 for 256^3). Ratio = ours / peer (below 1: ours is faster; the target is 0.5 of the fastest peer "
        "with the same model). Every value checked equal.",
        "",
        "| case | cells | moves, step model | peer | Grid.distance_field (ms) | peer (ms) | ratio |",
        "|---|---:|---|---|---:|---:|---:|",
    ]
    for r in rows:
        lines.append(f"| {r['case']} | {r['cells']:,} | {r['model']} | {r['peer']} | {r['ours']:.1f} | "
                     f"{r['peer_ms']:.1f} | {r['ratio']:.2f} |")
    _, level = level_way_ms()
    lines += ["", f"Level ways: `descend` and 4 `next_steps` across a 3000 x 3000 zero-cost plain, "
              f"best of 3: {level * 1e3:.2f} ms."]
    text = "\n".join(lines) + "\n"
    print(text)
    tables.write(args, "fields", text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
