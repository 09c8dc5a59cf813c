"""Jump point search against A* on the same grid, and against the peers.

    .venv-bench/bin/python benchmarks/jps.py [--queries 200] [--write | --out FILE]

On every map in data/maps, Moving AI-style queries: start/goal pairs in the
largest region, spread evenly over 20 buckets of optimal cost (short, medium
and long queries alike). For each rule (8 neighbours without corner cutting,
the Moving AI / GPPC rule; 8 with corner cutting; 4 neighbours) the table
gives the time per query of `Grid.astar` with `algorithm="astar"` and
`"jps"`, once as single Python calls and once through `astar_batch` on one
thread (each the best of 3 runs over all the queries, divided by the count),
the mean expansions, and the ratio A*/JPS; "JPS+" is the same on a grid
made with `precompute_jumps=True` (whose table's memory and build time are
given). Every cost of all three is checked equal. "floor" is a trivial query (start = goal) through Python, the cost of
a call itself.

Peers, where their rule is ours:
- pyastar2d (C++ A*; 8 neighbours, corner cutting, every step 1 with the
  "enter" model): against `Grid(walk, use_uniform_step_cost=True)` with jps.
(python-pathfinding 1.0 ships no jump point search any more, and no other
package on PyPI offers one, so the authors' C++ is the reference, run on
held-out maps.)
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
from common import largest_region, read_map  # noqa: E402

RULES = [("8, no corner cutting", 8, False), ("8, corner cutting", 8, True), ("4", 4, True)]


def best(fn, reps=3):
    out, least = None, math.inf
    for _ in range(reps):
        t0 = time.perf_counter()
        out = fn()
        least = min(least, time.perf_counter() - t0)
    return out, least


def scenario(walk, n, seed=0, buckets=20):
    """n queries spread evenly over `buckets` bands of optimal cost (8
    neighbours, no corner cutting), as the Moving AI scenarios spread them."""
    rng = np.random.default_rng(seed)
    cells = np.argwhere(largest_region(walk))
    grid = gridsearch.Grid(walk, corner_cutting=False)
    pairs = cells[rng.integers(0, len(cells), size=(20 * n, 2))].reshape(-1, 4)
    costs = np.array([r.cost for r in grid.astar_batch(pairs, algorithm="jps")])
    pairs, costs = pairs[np.isfinite(costs)], costs[np.isfinite(costs)]  # joined only by corner cutting
    band = np.minimum((costs / costs.max() * buckets).astype(int), buckets - 1)
    per = -(-n // buckets)
    picked = np.concatenate([np.flatnonzero(band == b)[:per] for b in range(buckets)])
    return pairs[np.sort(picked)][:n]


def rule_row(name, walk, rule, conn, corners, queries):
    grid = gridsearch.Grid(walk, connectivity=conn, corner_cutting=corners)
    tabled, built = best(lambda: gridsearch.Grid(walk, connectivity=conn, corner_cutting=corners,
                                                 precompute_jumps=True))
    plain = best(lambda: gridsearch.Grid(walk, connectivity=conn, corner_cutting=corners))[1]
    row = {"map": name, "rule": rule, "n": len(queries), "table_ms": (built - plain) * 1e3,
           "table_mb": walk.size * (32 if conn == 8 else 16) / 2**20}
    costs = {}
    for alg, planner in (("astar", grid), ("jps", grid), ("jps+", tabled)):
        key = alg
        alg = "jps" if alg == "jps+" else alg
        pairs = [((int(q[0]), int(q[1])), (int(q[2]), int(q[3]))) for q in queries]
        results, total = best(lambda: [planner.astar(s, t, algorithm=alg) for s, t in pairs])
        expansions = sum(r.expansions for r in results)
        out = [r.cost for r in results]
        rows, batch = best(lambda: planner.astar_batch(queries, algorithm=alg, threads=1))
        assert [r.cost for r in rows] == out
        costs[key] = out
        row[f"{key}_us"] = total / len(queries) * 1e6
        row[f"{key}_batch_us"] = batch / len(queries) * 1e6
        row[f"{key}_exp"] = expansions / len(queries)
    for q, a, b, c in zip(queries, costs["astar"], costs["jps"], costs["jps+"]):
        if not (math.isclose(a, b, rel_tol=1e-12) and math.isclose(a, c, rel_tol=1e-12)):
            raise SystemExit(f"{name} {rule} {q}: A* {a}, JPS {b}, JPS+ {c}")
    s = tuple(int(v) for v in queries[0][:2])
    row["floor_us"] = best(lambda: grid.astar(s, s), reps=50)[1] * 1e6
    return row


def pyastar2d_row(name, walk, queries):
    import pyastar2d.astar as c_astar

    grid = gridsearch.Grid(walk, use_uniform_step_cost=True)
    h, w = walk.shape
    flat = np.where(walk, 1.0, np.inf).astype(np.float32).ravel()
    ours = theirs = 0.0
    for q in queries:
        s, t = (int(q[0]), int(q[1])), (int(q[2]), int(q[3]))
        r, a = best(lambda: grid.astar(s, t, algorithm="jps"))
        p, b = best(lambda: c_astar.astar(flat, h, w, s[0] * w + s[1], t[0] * w + t[1], True, 0))
        if len(p) - 1 != r.cost:
            raise SystemExit(f"{name} {q}: ours {r.cost}, pyastar2d's path {len(p) - 1}")
        ours += a
        theirs += b
    return {"map": name, "peer": "pyastar2d (A*)", "rule": "8, corner cutting, unit steps", "n": len(queries),
            "ours_us": ours / len(queries) * 1e6, "peer_us": theirs / len(queries) * 1e6}


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--queries", type=int, default=200)
    tables.add_arguments(ap, "jps")
    args = ap.parse_args()
    rows, peers = [], []
    for path in sorted((ROOT / "data" / "maps").glob("*.map")):
        walk = read_map(path)
        queries = scenario(walk, args.queries)
        for rule, conn, corners in RULES:
            rows.append(rule_row(path.stem, walk, rule, conn, corners, queries))
            r = rows[-1]
            print(f"{r['map']:16} {rule:22} A* {r['astar_us']:9.1f} us  JPS {r['jps_us']:7.1f} us "
                  f"({r['astar_us'] / r['jps_us']:5.1f}x)  JPS+ {r['jps+_us']:7.1f} us "
                  f"({r['astar_us'] / r['jps+_us']:5.1f}x)  batch {r['astar_batch_us']:9.1f} / {r['jps_batch_us']:7.1f}"
                  f" / {r['jps+_batch_us']:7.1f} us", flush=True)
        try:
            peers.append(pyastar2d_row(path.stem, walk, queries))
        except ImportError:
            pass
    lines = [
        "# Jump point search",
        "",
        f"`benchmarks/jps.py --queries {args.queries}`, {datetime.date.today()}, {platform.machine()}, "
        f"Python {platform.python_version()}. Per query in microseconds; every cost of A* and JPS checked equal.",
        "",
        "| map | rule | queries | A* (us) | JPS (us) | JPS+ (us) | A* / JPS | A* / JPS+ | A* batch (us) | "
        "JPS batch (us) | JPS+ batch (us) | A* expansions | JPS expansions | JPS+ expansions | floor (us) | "
        "table (MiB) | table build (ms) |",
        "|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|",
    ]
    for r in rows:
        lines.append(f"| {r['map']} | {r['rule']} | {r['n']} | {r['astar_us']:.1f} | {r['jps_us']:.1f} | "
                     f"{r['jps+_us']:.1f} | {r['astar_us'] / r['jps_us']:.1f} | {r['astar_us'] / r['jps+_us']:.1f} | "
                     f"{r['astar_batch_us']:.1f} | {r['jps_batch_us']:.1f} | {r['jps+_batch_us']:.1f} | "
                     f"{r['astar_exp']:.0f} | {r['jps_exp']:.0f} | {r['jps+_exp']:.0f} | {r['floor_us']:.1f} | "
                     f"{r['table_mb']:.1f} | {r['table_ms']:.1f} |")
    if peers:
        lines += ["", "Peers (the same queries; ours through Python single calls):", "",
                  "| map | peer | rule | queries | ours (us) | peer (us) | peer / ours |", "|---|---|---|---:|---:|---:|---:|"]
        for p in peers:
            lines.append(f"| {p['map']} | {p['peer']} | {p['rule']} | {p['n']} | {p['ours_us']:.1f} | "
                         f"{p['peer_us']:.1f} | {p['peer_us'] / p['ours_us']:.1f} |")
    tables.write(args, "jps", "\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
