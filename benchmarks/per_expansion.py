"""Time per query and per expansion against the peer that solves the same problem.

    .venv-bench/bin/python benchmarks/per_expansion.py [--queries 80] [--write | --out FILE]

Like with like:
- unit steps: `astar2D(..., use_uniform_step_cost=True)` against pyastar2d's C
  entry point (`pyastar2d.astar.astar`, weights 1 on free cells, diagonal moves
  on, flattened weights made once per map), whose paths cost the same;
- octile: `astar2D` against `tcod.path.AStar(cost, diagonal=sqrt(2))`.
Every peer cost is checked equal to ours. Per map: random queries inside the
largest connected region, each timed as the best of 3; the ratio is ours over
the peer's summed time, overall and over the third with the longest paths;
ns per expansion is the median over queries with more than 50 expansions.
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

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "examples"))
from common import maze_map, query_pairs, read_map, rooms_map  # noqa: E402

MAPS = ROOT / "data" / "maps"


def best_of(fn, reps=3):
    best = math.inf
    out = None
    for _ in range(reps):
        t0 = time.perf_counter()
        out = fn()
        best = min(best, time.perf_counter() - t0)
    return out, best


def path_cost(path, uniform):
    p = np.asarray(path, dtype=np.int64)
    if len(p) < 2:
        return 0.0
    total = 0.0
    for d in np.abs(np.diff(p, axis=0)).sum(axis=1):
        total += 1.0 if uniform else (1.0, 1.4142135623730951)[int(d) - 1]
    return total


def grids():
    for f in sorted(MAPS.glob("*.map")):
        yield f.stem, read_map(f)
    yield "rooms512 (generated)", rooms_map(512)
    yield "maze (generated)", maze_map()


def bench(name, grid, n, peers):
    qs = query_pairs(grid, n, seed=5)
    rows = []
    for uniform, peer_name in ((True, "pyastar2d"), (False, "tcod")):
        if peer_name not in peers:
            continue
        peer = peers[peer_name](grid)
        ours_t, peer_t, ns, lengths = [], [], [], []
        for s, t in qs:
            (path, cost, exp, _), t_ours = best_of(lambda: astar.astar2D(grid, *s, *t, uniform))
            other, t_peer = best_of(lambda: peer(s, t))
            if path_cost(other, uniform) != cost and not math.isclose(path_cost(other, uniform), cost, rel_tol=1e-12):
                raise SystemExit(f"{name} {peer_name} {s}->{t}: cost {path_cost(other, uniform)} vs ours {cost}")
            ours_t.append(t_ours)
            peer_t.append(t_peer)
            lengths.append(cost)
            if exp > 50:
                ns.append(t_ours / exp * 1e9)
        order = np.argsort(lengths)
        long = order[len(order) * 2 // 3:]
        ours_t, peer_t = np.array(ours_t), np.array(peer_t)
        rows.append({
            "map": name, "model": "unit steps" if uniform else "octile", "peer": peer_name,
            "ours_ms": ours_t.sum() * 1e3, "peer_ms": peer_t.sum() * 1e3,
            "ratio": ours_t.sum() / peer_t.sum(), "ratio_long": ours_t[long].sum() / peer_t[long].sum(),
            "ns": float(np.median(ns)) if ns else float("nan"),
        })
    return rows


def peer_factories():
    peers = {}
    try:
        import pyastar2d.astar as c_astar  # the C entry point, without the Python wrapper's checks

        def make(grid):
            h, w = grid.shape
            flat = np.where(grid, 1.0, np.inf).astype(np.float32).ravel()
            return lambda s, t: c_astar.astar(flat, h, w, s[0] * w + s[1], t[0] * w + t[1], True, 0)

        peers["pyastar2d"] = make
    except ImportError:
        pass
    try:
        import tcod.path

        def make_tcod(grid):
            a = tcod.path.AStar(grid.astype(np.int8), diagonal=1.4142135623730951)
            return lambda s, t: [s] + list(a.get_path(*s, *t))

        peers["tcod"] = make_tcod
    except ImportError:
        pass
    return peers


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--queries", type=int, default=80)
    tables.add_arguments(ap, "per_expansion")
    args = ap.parse_args()
    peers = peer_factories()
    if not peers:
        raise SystemExit("needs pyastar2d and/or tcod (bash scripts/bench.sh sets up .venv-bench)")
    rows = []
    for name, grid in grids():
        rows += bench(name, grid, args.queries, peers)
        print(f"{name} done", file=sys.stderr)
    lines = [
        f"Run {datetime.date.today()} on {platform.machine()}, Python {platform.python_version()}, "
        f"`benchmarks/per_expansion.py --queries {args.queries}`; times are sums over the queries, each best of 3.",
        "",
        "| map | step model | peer | ours (ms) | peer (ms) | ours / peer | long third | ns per expansion |",
        "|---|---|---|---:|---:|---:|---:|---:|",
    ]
    for r in rows:
        lines.append(f"| {r['map']} | {r['model']} | {r['peer']} | {r['ours_ms']:.1f} | {r['peer_ms']:.1f} | "
                     f"{r['ratio']:.2f} | {r['ratio_long']:.2f} | {r['ns']:.0f} |")
    text = "\n".join(lines) + "\n"
    print(text)
    tables.write(args, "per_expansion", text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
