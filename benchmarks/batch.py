"""Throughput of the batch calls against a Python loop of single calls.

    .venv/bin/python benchmarks/batch.py [--queries 4000] [--rounds 3]

Two workloads: `--queries` random queries on random512-10-0 (astar2D), and the
third of them with the shortest paths on den520d. Each row is the best of
`--rounds`; every batch result is checked equal to the loop's.
"""

from __future__ import annotations

import argparse
import sys
import time
from pathlib import Path

import numpy as np

import astar
import gridsearch

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "examples"))
from common import query_pairs, read_map  # noqa: E402


def best(fn, rounds):
    out, t = None, float("inf")
    for _ in range(rounds):
        t0 = time.perf_counter()
        out = fn()
        t = min(t, time.perf_counter() - t0)
    return out, t


def workload(name, grid, queries, rounds):
    q = np.array([[*a, *b] for a, b in queries], dtype=np.int32)
    loop, t_loop = best(lambda: [astar.astar2D(grid, *r) for r in q.tolist()], rounds)
    rows = [(name, "loop of astar2D calls", "-", len(q) / t_loop, 1.0)]
    for threads in (1, 2):
        out, t = best(lambda: gridsearch.astar2D_batch(grid, q, threads=threads), rounds)
        if any(a[1] != b[1] or a[2] != b[2] or not np.array_equal(a[0], b[0]) for a, b in zip(out, loop)):
            raise SystemExit(f"{name}: batch results differ from the loop's")
        rows.append((name, "astar2D_batch", str(threads), len(q) / t, t_loop / t))
    return rows


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--queries", type=int, default=4000)
    ap.add_argument("--rounds", type=int, default=3)
    args = ap.parse_args()
    maps = ROOT / "data" / "maps"
    rows = []
    grid = read_map(maps / "random512-10-0.map")
    rows += workload(f"random512-10-0, {args.queries} queries", grid, query_pairs(grid, args.queries, seed=3),
                     args.rounds)
    grid = read_map(maps / "den520d.map")
    qs = query_pairs(grid, args.queries, seed=3)
    lengths = [astar.astar2D(grid, *a, *b)[1] for a, b in qs]
    short = [qs[i] for i in np.argsort(lengths)[: len(qs) // 3]]
    rows += workload(f"den520d, shortest third ({len(short)} queries)", grid, short, args.rounds)
    print(f"best of {args.rounds} rounds; speed-up over the loop")
    print("| workload | call | threads | queries/s | speed-up |")
    print("|---|---|---:|---:|---:|")
    for name, call, threads, qps, up in rows:
        print(f"| {name} | {call} | {threads} | {qps:,.0f} | {up:.2f}x |")
    return 0


if __name__ == "__main__":
    sys.exit(main())
