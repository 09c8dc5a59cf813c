"""Conflict-free plans for many agents on a benchmark map, animated.

    python examples/mapf.py [--agents 100] [--algorithm lacam] [--time-limit 2] [--out-dir out]

Reads a map and the first N agents of a scenario (the MAPF benchmark's
random-32-32-10 by default), first plans every agent alone with A* (each
path the shortest, blind to the others) and counts their conflicts over
time with `mapf.validate`, then solves the instance with `mapf.solve` and
checks the plan. Writes out/mapf.gif (the agents moving, one frame per time
step) and out/mapf.png (the independent paths' conflicts beside the plan).
"""

from __future__ import annotations

import argparse
import time
from pathlib import Path

import numpy as np

import gridsearch
from gridsearch import io, mapf

ROOT = Path(__file__).resolve().parent.parent


def independent_paths(grid, starts, goals):
    """Every agent's shortest path alone, all padded at their goals to one length."""
    paths = [grid.astar(tuple(s), tuple(g), algorithm="astar").path for s, g in zip(starts, goals)]
    length = max(len(p) for p in paths)
    return np.stack([np.concatenate([p, np.repeat(p[-1:], length - len(p), axis=0)]) for p in paths])


def colours(n):
    import matplotlib

    return matplotlib.colormaps["hsv"](np.linspace(0, 1, n, endpoint=False))


def draw_map(ax, cells):
    ax.imshow(~cells, cmap="Greys", vmin=0, vmax=1.6, interpolation="nearest")
    ax.set_xticks([])
    ax.set_yticks([])


def still(path, cells, starts, goals, alone, faults, sol):
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    fig, axes = plt.subplots(1, 2, figsize=(12, 6.4))
    c = colours(len(starts))
    for ax, paths, title in ((axes[0], alone, f"each agent alone (A*): {len(faults)} conflicts"),
                             (axes[1], sol.paths, f"{sol.algorithm}: 0 conflicts, sum of costs "
                                                  f"{sol.sum_of_costs:,} (lower bound {sol.lower_bound:,})")):
        draw_map(ax, cells)
        for a in range(len(starts)):
            ax.plot(paths[a, :, 1], paths[a, :, 0], color=c[a], lw=1, alpha=0.7)
        ax.scatter(starts[:, 1], starts[:, 0], s=14, color=c, marker="o", label="start")
        ax.scatter(goals[:, 1], goals[:, 0], s=22, facecolors="none", edgecolors=c, marker="s", label="goal")
        ax.set_title(title, fontsize=10)
    where = np.array([f.cell for f in faults if f.kind in ("vertex", "edge")]).reshape(-1, 2)
    axes[0].scatter(where[:, 1], where[:, 0], s=60, color="black", marker="x", label="conflict")
    handles, labels = axes[0].get_legend_handles_labels()
    fig.legend(handles, labels, loc="lower center", ncol=3, fontsize=10, frameon=False)
    fig.suptitle(f"{len(starts)} agents on {cells.shape[0]} x {cells.shape[1]}: paths over time must never share "
                 "a cell at one step nor swap", fontsize=11)
    fig.tight_layout(rect=(0, 0.05, 1, 0.97))
    fig.savefig(path, dpi=80)
    plt.close(fig)


def animation(path, cells, goals, sol):
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    from matplotlib.animation import FuncAnimation, PillowWriter

    fig, ax = plt.subplots(figsize=(6, 6.4))
    c = colours(len(goals))
    draw_map(ax, cells)
    ax.scatter(goals[:, 1], goals[:, 0], s=30, facecolors="none", edgecolors=c, marker="s")
    dots = ax.scatter(sol.paths[:, 0, 1], sol.paths[:, 0, 0], s=30, color=c, edgecolors="black", linewidths=0.4)
    title = ax.set_title("")
    steps = sol.paths.shape[1]

    def frame(t):
        dots.set_offsets(np.stack([sol.paths[:, t, 1], sol.paths[:, t, 0]], axis=1))
        arrived = int(np.all(sol.paths[:, t] == goals, axis=1).sum())
        title.set_text(f"t = {t} of {steps - 1}: {arrived} of {len(goals)} agents at their goals (squares)")
        return dots, title

    fig.tight_layout()
    FuncAnimation(fig, frame, frames=steps, blit=False).save(path, writer=PillowWriter(fps=6), dpi=70)
    plt.close(fig)


def main(argv=None) -> int:
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--map", default=str(ROOT / "data" / "mapf" / "random-32-32-10.map"))
    ap.add_argument("--scen", default=str(ROOT / "data" / "mapf" / "random-32-32-10-random-1.scen"))
    ap.add_argument("--agents", type=int, default=100)
    ap.add_argument("--algorithm", default="lacam", choices=mapf.SOLVERS)
    ap.add_argument("--time-limit", type=float, default=2.0)
    ap.add_argument("--out-dir", default="out")
    args = ap.parse_args(argv)

    cells = io.read_map(args.map)
    scen = io.read_scenario(args.scen, args.agents)
    grid = gridsearch.Grid(cells, connectivity=4)
    print(f"{Path(args.map).name}: {cells.shape[0]} x {cells.shape[1]}, {args.agents} agents")

    alone = independent_paths(grid, scen.starts, scen.goals)
    faults = [f for f in mapf.validate(grid, scen.starts, scen.goals, alone) if f.kind in ("vertex", "edge")]
    vertex = sum(f.kind == "vertex" for f in faults)
    print(f"each agent alone (A*): {vertex} vertex and {len(faults) - vertex} edge conflicts over time")

    began = time.perf_counter()
    sol = mapf.solve(grid, scen.starts, scen.goals, algorithm=args.algorithm, time_limit=args.time_limit)
    took = time.perf_counter() - began
    print(f"{sol.algorithm}: {sol.status} in {took:.2f} s (first plan after {sol.time_to_first_solution:.3f} s), "
          f"sum of costs {sol.sum_of_costs:,}, lower bound {sol.lower_bound:,}, makespan {sol.makespan}")
    if not sol.solved:
        return 1
    problems = mapf.validate(grid, scen.starts, scen.goals, sol.paths)
    print(f"validate: {'valid' if not problems else problems[:5]}")

    out = Path(args.out_dir)
    out.mkdir(parents=True, exist_ok=True)
    still(out / "mapf.png", cells, scen.starts, scen.goals, alone, faults, sol)
    animation(out / "mapf.gif", cells, scen.goals, sol)
    print(f"wrote {out / 'mapf.png'} and {out / 'mapf.gif'}")
    return 0 if not problems else 1


if __name__ == "__main__":
    raise SystemExit(main())
