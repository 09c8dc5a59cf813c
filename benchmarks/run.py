"""Benchmark: our searches against the grid path-finders a user could pip install.

Run with `bash scripts/bench.sh` (add --quick for a short run). Prints markdown
tables and writes out/results.md (with --write the committed
benchmarks/results.md) and out/scaling.png.

Peers (benchmark baselines only, installed into .venv-bench):
  pyastar2d, python-tcod (tcod.path.AStar), scikit-image (MCP_Geometric),
  dijkstra3d, networkx (small maps only).
Every peer's path is re-costed with our step costs (straight 1, diagonal
sqrt 2, 3D sqrt 3) and compared with our optimal cost.
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
import focal

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "examples"))
from common import read_map, rooms_map  # noqa: E402

MAPS_DIR = ROOT / "data" / "maps"


# ---------------------------------------------------------------- helpers
def path_cost(path, uniform=False) -> float:
    p = np.asarray(path, dtype=np.int64)
    if len(p) < 2:
        return 0.0
    d = np.abs(np.diff(p, axis=0)).sum(axis=1)
    if uniform:
        return float(len(d))
    total = 0.0
    for k in d:
        total += (1.0, 1.4142135623730951, 1.7320508075688772)[int(k) - 1]
    return total


def valid_path(grid, path, start, goal) -> bool:
    p = np.asarray(path, dtype=np.int64)
    if len(p) == 0 or tuple(p[0]) != tuple(start) or tuple(p[-1]) != tuple(goal):
        return False
    steps = np.abs(np.diff(p, axis=0))
    return bool(grid[tuple(p.T)].all() and (steps <= 1).all() and (steps.sum(axis=1) > 0).all())


def timed(fn):
    t0 = time.perf_counter()
    out = fn()
    return out, time.perf_counter() - t0


def best_of(fn, reps):
    """The result and the shortest of `reps` timings (every library gets the same treatment)."""
    out, best = timed(fn)
    for _ in range(reps - 1):
        del out
        out, dt = timed(fn)
        best = min(best, dt)
    return out, best


def largest_component(grid):
    from scipy.ndimage import label

    lab, n = label(grid, structure=np.ones((3,) * grid.ndim))
    if n == 0:
        return np.zeros_like(grid)
    sizes = np.bincount(lab.ravel())
    sizes[0] = 0
    return lab == int(np.argmax(sizes))


def queries(grid, n, seed):
    rng = np.random.default_rng(seed)
    cells = np.argwhere(largest_component(grid))
    out = []
    for _ in range(n):
        a, b = cells[rng.integers(len(cells), size=2)]
        out.append((tuple(int(v) for v in a), tuple(int(v) for v in b)))
    return out


# ---------------------------------------------------------------- peers shared by 2D and 3D
def mcp_peer(grid):
    """scikit-image's geometric minimum-cost path (same move model as ours), or None."""
    try:
        from skimage.graph import MCP_Geometric
    except ImportError:
        return None
    costs = np.where(grid, 1.0, np.inf)

    def mcp(s, t):
        m = MCP_Geometric(costs, fully_connected=True)
        m.find_costs([s], [t])
        return m.traceback(t)

    return mcp


def dijkstra3d_peer(grid):
    """dijkstra3d on a unit field (every step costs 1), or None."""
    try:
        import dijkstra3d
    except ImportError:
        return None
    field = np.where(grid, 1.0, np.inf).astype(np.float32)
    conn = 8 if grid.ndim == 2 else 26
    return lambda s, t: dijkstra3d.dijkstra(field, s, t, connectivity=conn, compass=True)


# ---------------------------------------------------------------- 2D peers
def peers_2d(grid, small):
    peers = {}
    try:
        import pyastar2d

        w = np.where(grid, 1.0, np.inf).astype(np.float32)
        peers["pyastar2d"] = lambda s, t: pyastar2d.astar_path(w, s, t, allow_diagonal=True)  # unit steps
    except ImportError:
        pass
    try:
        import tcod.path

        a = tcod.path.AStar(grid.astype(np.int8), diagonal=1.4142135623730951)
        peers["tcod AStar"] = lambda s, t: [s] + list(a.get_path(*s, *t))
    except ImportError:
        pass
    for name, peer in (("skimage MCP", mcp_peer(grid)), ("dijkstra3d (unit steps)", dijkstra3d_peer(grid))):
        if peer is not None:
            peers[name] = peer
    if small:
        try:
            import networkx as nx

            G = nx.Graph()
            cells = [tuple(int(v) for v in c) for c in np.argwhere(grid)]
            free = set(cells)
            for x, y in cells:
                for dx, dy, c in ((1, 0, 1.0), (0, 1, 1.0), (1, 1, 1.4142135623730951), (1, -1, 1.4142135623730951)):
                    if (x + dx, y + dy) in free:
                        G.add_edge((x, y), (x + dx, y + dy), weight=c)

            def octile(u, v):
                a, b = abs(u[0] - v[0]), abs(u[1] - v[1])
                return max(a, b) + 0.41421356237309515 * min(a, b)

            peers["networkx astar_path"] = lambda s, t: nx.astar_path(G, s, t, heuristic=octile, weight="weight")
        except ImportError:
            pass
    return peers


# Peers whose paths are optimal under unit step costs: compared with our
# use_uniform_step_cost=True search, the same problem.
UNIFORM_PEERS = {"dijkstra3d (unit steps)", "pyastar2d"}


def bench_map(name, grid, nq, seed, rows):
    qs = queries(grid, nq, seed)
    opt = [astar.astar2D(grid, *s, *t)[1] for s, t in qs]
    opt_u = [astar.astar2D(grid, *s, *t, True)[1] for s, t in qs]
    order = np.argsort(opt)
    buckets = np.empty(len(qs), dtype=object)
    thirds = np.array_split(order, 3)
    for label, idx in zip(("short", "medium", "long"), thirds):
        buckets[idx] = label
    ours = {
        "astar2D": lambda s, t: astar.astar2D(grid, *s, *t),
        "astar2D uniform": lambda s, t: astar.astar2D(grid, *s, *t, True),
        "astar2D_heuristic_grid w=2": lambda s, t: astar.astar2D_heuristic_grid(grid, None, *s, *t, 2.0),
        "focal2D w=1.5": lambda s, t: focal.focal2D(grid, *s, *t, 1.5),
    }
    libs = {k: (v, True) for k, v in ours.items()}
    small = grid.size <= 200 * 200
    libs.update({k: (v, False) for k, v in peers_2d(grid, small).items()})
    for lib, (fn, is_ours) in libs.items():
        use = qs if not lib.startswith("networkx") else qs[: max(20, nq // 10)]
        fn(*use[0])  # warm-up
        times, optimal, exps = [], [], 0
        reps = 1 if lib.startswith(("networkx", "skimage")) else 3
        for i, (s, t) in enumerate(use):
            out, dt = best_of(lambda: fn(s, t), reps)
            times.append(dt)
            if is_ours:
                path, cost, e, _ = out
                exps += e
            else:
                path = out if out is not None else []
            uniform = lib in UNIFORM_PEERS or lib == "astar2D uniform"
            want = opt_u[i] if uniform else opt[i]
            ok = valid_path(grid, path, s, t) and abs(path_cost(path, uniform) - want) <= 1e-9 * max(1.0, want)
            optimal.append(ok)
        times = np.array(times)
        row = {"map": name, "lib": lib, "n": len(use), "optimal": float(np.mean(optimal))}
        for label in ("short", "medium", "long"):
            sel = buckets[: len(use)] == label
            row[label] = float(np.median(times[sel])) if sel.any() else math.nan
        row["all"] = float(np.median(times))
        row["exp_per_s"] = exps / times.sum() if is_ours else math.nan
        rows.append(row)
        print(f"  {name:<18} {lib:<28} median {row['all'] * 1e3:8.3f} ms  optimal {row['optimal']:.0%}", flush=True)


def maps(quick):
    found = sorted(MAPS_DIR.glob("*.map")) if MAPS_DIR.is_dir() else []
    if found:
        for p in found[:2] if quick else found:
            yield p.stem, read_map(p)
        return
    rng = np.random.default_rng(7)
    yield "rooms512", rooms_map(512)
    yield "random512-10", rng.random((512, 512)) >= 0.10
    maze = np.ones((257, 257), bool)
    maze[::8, :] = False
    for r in range(0, 257, 8):
        for c in rng.integers(0, 257, 6):
            maze[r, c : c + 3] = True
    yield "maze257", maze


# ---------------------------------------------------------------- 3D
def bench_3d(nq, seed, rows, sizes):
    for n in sizes:
        rng = np.random.default_rng(seed + n)
        world = rng.random((n, n, n)) >= 0.2
        qs = queries(world, nq, seed)
        libs = {
            "astar3D uniform": lambda s, t: astar.astar3D(world, *s, *t, True),
            "astar3D": lambda s, t: astar.astar3D(world, *s, *t),
        }
        for name, peer in (("dijkstra3d compass", dijkstra3d_peer(world)), ("skimage MCP 3D", mcp_peer(world))):
            if peer is not None:
                libs[name] = peer
        opt = [astar.astar3D(world, *s, *t)[1] for s, t in qs]
        opt_u = [astar.astar3D(world, *s, *t, True)[1] for s, t in qs]
        for lib, fn in libs.items():
            use = qs if lib != "skimage MCP 3D" else qs[: max(10, nq // 5)]
            fn(*use[0])
            times, optimal = [], []
            reps = 1 if lib.startswith("skimage") else 3
            for i, (s, t) in enumerate(use):
                out, dt = best_of(lambda: fn(s, t), reps)
                times.append(dt)
                path = out[0] if lib.startswith("astar") else out
                uniform = "uniform" in lib or "dijkstra3d" in lib
                want = opt_u[i] if uniform else opt[i]
                optimal.append(valid_path(world, path, s, t) and abs(path_cost(path, uniform) - want) <= 1e-9 * want)
            rows.append({"size": f"{n}^3", "lib": lib, "n": len(use), "all": float(np.median(times)),
                         "optimal": float(np.mean(optimal))})
            print(f"  3D {n}^3 {lib:<22} median {np.median(times) * 1e3:8.3f} ms  optimal {np.mean(optimal):.0%}", flush=True)


# ---------------------------------------------------------------- scaling
def bench_scaling(rows, sizes2, sizes3, reps):
    def run(fn):
        fn()
        ts = []
        for _ in range(reps):
            out, dt = timed(fn)
            del out
            ts.append(dt)
        return float(np.median(ts))

    for n in sizes2:
        grid = np.zeros((n, n), bool)
        grid[:64, :64] = True
        s, t = (0, 0), (63, 63)
        libs = {
            "astar2D": lambda: astar.astar2D(grid, *s, *t),
            "astar2D_heuristic_grid": lambda: astar.astar2D_heuristic_grid(grid, None, *s, *t, 1.0),
            "focal2D": lambda: focal.focal2D(grid, *s, *t, 1.5),
        }
        peers = peers_2d(grid, small=False) if n <= 4096 else {}
        libs.update({k: (lambda f=f: f(s, t)) for k, f in peers.items()})
        for lib, fn in libs.items():
            rows.append({"dim": 2, "size": n, "lib": lib, "t": run(fn)})
        del grid, peers, libs
    for n in sizes3:
        world = np.zeros((n, n, n), bool)
        world[:16, :16, :16] = True
        s, t = (0, 0, 0), (15, 15, 15)
        libs = {
            "astar3D": lambda: astar.astar3D(world, *s, *t),
            "astar3D_heuristic_grid": lambda: astar.astar3D_heuristic_grid(world, None, *s, *t, 1.0),
            "focal3D": lambda: focal.focal3D(world, *s, *t, 1.5),
        }
        peer = dijkstra3d_peer(world) if n <= 256 else None
        if peer is not None:
            libs["dijkstra3d compass"] = lambda: peer(s, t)
        for lib, fn in libs.items():
            rows.append({"dim": 3, "size": n, "lib": lib, "t": run(fn)})
        del world, libs


# ---------------------------------------------------------------- report
def fmt_ms(v):
    return "-" if v is None or (isinstance(v, float) and math.isnan(v)) else f"{v * 1e3:.3f}"


def report(map_rows, rows3, scale_rows, args):
    out = []
    out.append(f"Run {datetime.date.today()} on {platform.machine()}, {platform.python_version()}, "
               f"command `bash scripts/bench.sh{' --quick' if args.quick else ''}`, {args.queries} queries per map, each timed as the best of 3 runs (1 for networkx and skimage).\n")
    out.append("### 2D maps: median time per query (ms), by optimal path length\n")
    out.append("| map | library | short | medium | long | all | vs ours, same step model | optimal | expansions/s |")
    out.append("|---|---|---:|---:|---:|---:|---:|---:|---:|")
    for name in dict.fromkeys(r["map"] for r in map_rows):
        rs = [r for r in map_rows if r["map"] == name]
        base = next(r for r in rs if r["lib"] == "astar2D")["all"]
        base_u = next(r for r in rs if r["lib"] == "astar2D uniform")["all"]
        for r in rs:
            ref = base_u if r["lib"] in UNIFORM_PEERS or r["lib"] == "astar2D uniform" else base
            eps = "-" if math.isnan(r["exp_per_s"]) else f"{r['exp_per_s'] / 1e6:.1f} M"
            out.append(f"| {name} | {r['lib']} | {fmt_ms(r['short'])} | {fmt_ms(r['medium'])} | {fmt_ms(r['long'])} | "
                       f"{fmt_ms(r['all'])} | {r['all'] / ref:.2f}x | {r['optimal']:.0%} | {eps} |")
    out.append("\n### 3D random voxel worlds (20 % blocked): median time per query (ms)\n")
    out.append("| world | library | median | vs astar3D uniform | optimal |")
    out.append("|---|---|---:|---:|---:|")
    for size in dict.fromkeys(r["size"] for r in rows3):
        rs = [r for r in rows3 if r["size"] == size]
        base = next(r for r in rs if r["lib"] == "astar3D uniform")["all"]
        for r in rs:
            out.append(f"| {size} | {r['lib']} | {fmt_ms(r['all'])} | {r['all'] / base:.2f}x | {r['optimal']:.0%} |")
    out.append("\n### Scaling: one short query (64x64 patch / 16^3 block) in grids of growing size, ms\n")
    for dim in (2, 3):
        rs = [r for r in scale_rows if r["dim"] == dim]
        sizes = list(dict.fromkeys(r["size"] for r in rs))
        libs = list(dict.fromkeys(r["lib"] for r in rs))
        unit = "^2" if dim == 2 else "^3"
        out.append("| library | " + " | ".join(f"{s}{unit}" for s in sizes) + " | largest / smallest |")
        out.append("|---|" + "---:|" * (len(sizes) + 1))
        for lib in libs:
            vals = {r["size"]: r["t"] for r in rs if r["lib"] == lib}
            cells = [fmt_ms(vals.get(s)) for s in sizes]
            ratio = vals[max(vals)] / vals[min(vals)] if len(vals) > 1 else math.nan
            out.append(f"| {lib} | " + " | ".join(cells) + f" | {ratio:.1f}x |")
        out.append("")
    return "\n".join(out)


def plot(scale_rows, path):
    try:
        import matplotlib

        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        print("matplotlib missing: no plot")
        return
    fig, axes = plt.subplots(1, 2, figsize=(11, 4))
    for ax, dim in zip(axes, (2, 3)):
        rs = [r for r in scale_rows if r["dim"] == dim]
        for lib in dict.fromkeys(r["lib"] for r in rs):
            pts = [(r["size"] ** dim, r["t"] * 1e3) for r in rs if r["lib"] == lib]
            ax.loglog(*zip(*pts), marker="o", label=lib)
        ax.set_xlabel("cells in grid")
        ax.set_ylabel("ms per query")
        ax.set_title(f"{dim}D: short query, growing grid")
        ax.legend(fontsize=7)
        ax.grid(True, which="both", alpha=0.3)
    fig.tight_layout()
    Path(path).parent.mkdir(parents=True, exist_ok=True)
    fig.savefig(path, dpi=110)


def main(argv=None):
    ap = argparse.ArgumentParser(description="benchmark against peers")
    ap.add_argument("--quick", action="store_true", help="fewer maps, queries and sizes")
    ap.add_argument("--queries", type=int, default=None)
    ap.add_argument("--seed", type=int, default=12345)
    ap.add_argument("--only", choices=["maps", "3d", "scaling"], default=None)
    tables.add_arguments(ap, "results")
    args = ap.parse_args(argv)
    args.queries = args.queries or (30 if args.quick else 200)
    map_rows, rows3, scale_rows = [], [], []
    if args.only in (None, "maps"):
        for name, grid in maps(args.quick):
            bench_map(name, grid, args.queries, args.seed, map_rows)
    if args.only in (None, "3d"):
        bench_3d(max(10, args.queries // 4), args.seed, rows3, (64,) if args.quick else (64, 128))
    if args.only in (None, "scaling"):
        bench_scaling(scale_rows, (256, 1024, 4096) if args.quick else (256, 1024, 4096, 16384),
                      (32, 64, 128) if args.quick else (32, 64, 128, 256, 512), 5 if args.quick else 15)
    text = report(map_rows, rows3, scale_rows, args) if map_rows and rows3 and scale_rows else None
    if text:
        print("\n" + text)
        if args.write and args.quick:
            raise SystemExit("--write: the committed tables come from full runs only")
        tables.write(args, "results", text + "\n")
        plot(scale_rows, ROOT / "out" / "scaling.png")
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
