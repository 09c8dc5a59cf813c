"""Thousands of queries on one map, spread over all cores, and over a Dask cluster.

    python examples/batch.py [--queries 4000] [--size 512] [--scheduler tcp://host:8786]

`gridsearch.astar2D_batch` runs a whole array of queries on native threads
without the interpreter lock: on one machine that is all it takes. A single
call (`astar.astar2D`) holds the lock, so Python threads do not run those in
parallel (the thread-pool row shows it); processes do. The process-pool and
Dask rows send the grid to every worker once (the pool's initializer; Dask's
scatter with broadcast), then the queries in chunks, each chunk one batch
call. The timed runs ask for what a planner uses (path, cost, expansions);
each is checked against a serial loop of single calls, and once more, untimed,
the batch call's visited maps are checked against the loop's (by digest).

Without --scheduler the Dask rows use a `dask.distributed.LocalCluster` per
worker count on this machine; with it, the batch runs once on that cluster.
The Dask rows need `pip install dask[distributed]` and are skipped without it.
"""

from __future__ import annotations

import argparse
import concurrent.futures as cf
import hashlib
import logging
import multiprocessing
import os
import sys
import time
from pathlib import Path

import numpy as np

import astar
import gridsearch

sys.path.insert(0, str(Path(__file__).resolve().parent))
from common import query_pairs, rooms_map  # noqa: E402

Query = tuple[tuple[int, int], tuple[int, int]]

_GRID: np.ndarray | None = None  # the map, set once in each pool worker


Summary = tuple[bytes, float, int]


def summary(result) -> Summary:
    """The path's bytes, the cost and the expansions."""
    path, cost, expansions, _ = result
    return path.tobytes(), cost, expansions


def visited_digest(result) -> str:
    return hashlib.blake2b(np.packbits(result[3]).tobytes(), digest_size=16).hexdigest()


def solve(grid: np.ndarray, queries: list[Query]) -> list[Summary]:
    """One single call per query."""
    return [summary(astar.astar2D(grid, *start, *goal)) for start, goal in queries]


def batch_rows(queries: list[Query]) -> np.ndarray:
    return np.array([[*start, *goal] for start, goal in queries], dtype=np.int32).reshape(-1, 4)


def solve_batch(grid: np.ndarray, queries: list[Query], threads: int = 1) -> list[Summary]:
    """One batch call for all the queries."""
    return [summary(r) for r in gridsearch.astar2D_batch(grid, batch_rows(queries), threads=threads)]


def same_visited_maps(grid: np.ndarray, queries: list[Query], threads: int) -> bool:
    """The batch call's visited maps are the single calls' (untimed)."""
    rows = gridsearch.astar2D_batch(grid, batch_rows(queries), threads=threads, visited=True)
    return all(visited_digest(r) == visited_digest(astar.astar2D(grid, *start, *goal))
               for r, (start, goal) in zip(rows, queries))


def with_batch(grid, queries, threads):
    t0 = time.perf_counter()
    results = solve_batch(grid, queries, threads)
    return results, time.perf_counter() - t0


def _init_worker(grid: np.ndarray) -> None:
    global _GRID
    _GRID = grid


def _solve_chunk(queries: list[Query]):
    return solve_batch(_GRID, queries)


def chunks(queries: list[Query], workers: int) -> list[list[Query]]:
    size = max(1, -(-len(queries) // (workers * 8)))
    return [queries[i : i + size] for i in range(0, len(queries), size)]


def with_processes(grid, queries, workers):
    ctx = multiprocessing.get_context("spawn")
    with cf.ProcessPoolExecutor(workers, mp_context=ctx, initializer=_init_worker, initargs=(grid,)) as pool:
        pool.submit(int).result()  # let the workers start before timing
        t0 = time.perf_counter()
        results = [r for part in pool.map(_solve_chunk, chunks(queries, workers)) for r in part]
        return results, time.perf_counter() - t0


def with_threads(grid, queries, workers):
    with cf.ThreadPoolExecutor(workers) as pool:
        t0 = time.perf_counter()
        results = [r for part in pool.map(lambda q: solve(grid, q), chunks(queries, workers)) for r in part]
        return results, time.perf_counter() - t0


def with_dask(client, grid, queries, workers):
    remote_grid = client.scatter(grid, broadcast=True)
    t0 = time.perf_counter()
    futures = [client.submit(solve_batch, remote_grid, part, pure=False) for part in chunks(queries, workers)]
    results = [r for part in client.gather(futures) for r in part]
    return results, time.perf_counter() - t0


def dask_runs(grid, queries, scheduler, worker_counts):
    try:
        from dask.distributed import Client, LocalCluster
    except ImportError:
        print("(Dask rows skipped: pip install 'dask[distributed]' to run them)")
        return

    if scheduler:
        with Client(scheduler) as client:
            workers = len(client.scheduler_info()["workers"])
            yield f"dask {scheduler}", workers, *with_dask(client, grid, queries, workers)
        return
    for workers in worker_counts:
        with LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                          dashboard_address=None, silence_logs=logging.ERROR) as cluster, Client(cluster) as client:
            yield "dask LocalCluster", workers, *with_dask(client, grid, queries, workers)


def main(argv=None) -> int:
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--queries", type=int, default=4000, help="number of queries (default 4000)")
    ap.add_argument("--size", type=int, default=512, help="side of the generated map (default 512)")
    ap.add_argument("--workers", type=int, default=os.cpu_count() or 1, help="most workers to try (default: all cores)")
    ap.add_argument("--scheduler", help="address of a running Dask scheduler (default: a LocalCluster here)")
    ap.add_argument("--no-dask", action="store_true", help="skip the Dask rows")
    args = ap.parse_args(argv)

    grid = rooms_map(args.size, room=max(16, args.size // 8))
    queries = query_pairs(grid, args.queries, seed=11)
    counts = sorted({1, *range(2, args.workers + 1, 2), args.workers})

    t0 = time.perf_counter()
    serial = solve(grid, queries)
    base = time.perf_counter() - t0
    print(f"{len(queries)} queries on a {args.size} x {args.size} map, {os.cpu_count()} cores here")
    header = f"{'backend':<24} {'workers':>7} {'seconds':>8} {'queries/s':>10} {'speed-up':>8}  identical"
    print(header)
    print("-" * len(header))

    def row(name, workers, results, seconds):
        same = results == serial
        print(f"{name:<24} {workers:>7} {seconds:>8.3f} {len(queries) / seconds:>10.0f} {base / seconds:>8.2f}  {same}")
        return same

    ok = row("serial", 1, serial, base)
    ok &= row("threads", args.workers, *with_threads(grid, queries, args.workers))
    for workers in counts:
        ok &= row("astar2D_batch", workers, *with_batch(grid, queries, workers))
    for workers in counts:
        ok &= row("processes", workers, *with_processes(grid, queries, workers))
    if not args.no_dask:
        for name, workers, results, seconds in dask_runs(grid, queries, args.scheduler, counts):
            ok &= row(name, workers, results, seconds)
    same = same_visited_maps(grid, queries, args.workers)
    print(f"visited maps of astar2D_batch(visited=True) identical to the serial run's: {same}")
    ok &= same
    print("all results identical to the serial run" if ok else "MISMATCH against the serial run")
    return 0 if ok else 1


if __name__ == "__main__":
    raise SystemExit(main())
