"""The command line: `gridsearch` (or `python -m gridsearch`).

    gridsearch scen FILE.scen [--map MAP] [--algorithm auto|astar|jps] [--corner-cutting] [--check]
    gridsearch plan MAP START GOAL [--connectivity 4|8] [--corner-cutting] [--costs FILE.npy] [--png OUT.png]
    gridsearch mapf MAP SCEN -n N [--algorithm lacam|pibt|ecbs|cbs] [--time-limit S] [--gif OUT.gif]

Exit status: 0 done, 1 a check failed (`scen --check`, or a plan that was not
found), 2 bad usage or input (the message names the file and, where it
applies, the line).
"""

from __future__ import annotations

import argparse
import math
import sys
import time
from pathlib import Path
from typing import Any, Callable, Sequence

import numpy as np

from . import _grid, io, mapf

USAGE_ERROR = 2


class InputError(Exception):
    """Bad input: one line for stderr, exit status 2."""


class Progress:
    """A progress bar on stderr, shown only on a terminal and only once a
    run has taken more than a second."""

    def __init__(self, total: int, label: str) -> None:
        self.total, self.label = total, label
        self.began = time.monotonic()
        self.shown = False
        self.last = 0.0
        self.terminal = sys.stderr.isatty()

    def __call__(self, done: int) -> None:
        if not self.terminal:
            return
        now = time.monotonic()
        if now - self.began < 1.0 or now - self.last < 0.1:
            return
        self.last, self.shown = now, True
        width = 30
        filled = int(width * done / max(1, self.total))
        sys.stderr.write(f"\r{self.label} [{'#' * filled}{'.' * (width - filled)}] {done}/{self.total}")
        sys.stderr.flush()

    def close(self) -> None:
        if self.shown:
            sys.stderr.write("\r" + " " * (len(self.label) + 50) + "\r")
            sys.stderr.flush()


def _read(reader: Callable[..., Any], path: str, *args: Any) -> Any:
    if not Path(path).is_file():
        raise InputError(f"{path}: no such file")
    try:
        return reader(path, *args)
    except (ValueError, UnicodeDecodeError) as e:
        raise InputError(str(e)) from None


def _cell(text: str, name: str, shape: tuple[int, ...]) -> tuple[int, int]:
    try:
        r, c = (int(v) for v in text.split(","))
    except ValueError:
        raise InputError(f"{name} must be ROW,COLUMN (two integers), got {text!r}") from None
    if not (0 <= r < shape[0] and 0 <= c < shape[1]):
        raise InputError(f"{name} ({r}, {c}) lies outside the map of shape {shape}")
    return r, c


def _matplotlib() -> Any:
    try:
        import matplotlib
    except ImportError:
        raise InputError("pictures need matplotlib: pip install matplotlib") from None
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    return plt


def scen(args: argparse.Namespace) -> int:
    scenario = _read(io.read_scenario, args.file)
    map_path = args.map
    if map_path is None:
        if not scenario.map:
            raise InputError(f"{args.file}: its rows name several maps; give one with --map")
        map_path = str(Path(args.file).parent / scenario.map)
        if not Path(map_path).is_file():
            map_path = str(Path(args.file).parent / Path(scenario.map).name)
    cells = _read(io.read_map, map_path)
    if len(scenario.starts) and scenario.shape != cells.shape:
        raise InputError(f"{args.file}: the rows are for a {scenario.shape[1]} x {scenario.shape[0]} map, "
                         f"{map_path} is {cells.shape[1]} x {cells.shape[0]}")
    grid = _grid.Grid(cells, corner_cutting=args.corner_cutting)
    rows: dict[int, list[tuple[float, int, bool]]] = {}
    progress = Progress(len(scenario.starts), "queries")
    for k, (s, g, best, bucket) in enumerate(zip(scenario.starts, scenario.goals, scenario.optimal,
                                                  scenario.buckets)):
        began = time.perf_counter()
        r = grid.astar((int(s[0]), int(s[1])), (int(g[0]), int(g[1])), algorithm=args.algorithm)
        took = (time.perf_counter() - began) * 1e6
        wrong = not math.isclose(r.cost, best, rel_tol=1e-6, abs_tol=1e-4)
        rows.setdefault(int(bucket), []).append((took, r.expansions, wrong))
        progress(k + 1)
    progress.close()
    rule = "corner cutting" if args.corner_cutting else "no corner cutting"
    print(f"{Path(args.file).name} on {Path(map_path).name}: {len(scenario.starts)} queries, 8 neighbours, {rule}, "
          f"algorithm {args.algorithm}")
    print(f"{'bucket':>6} {'queries':>8} {'mean us':>10} {'worst us':>10} {'expansions':>11} {'mismatches':>10}")
    total = 0
    for bucket in sorted(rows):
        times = np.array([t for t, _, _ in rows[bucket]])
        expansions = np.array([e for _, e, _ in rows[bucket]])
        mismatches = sum(w for _, _, w in rows[bucket])
        total += mismatches
        print(f"{bucket:>6} {len(times):>8} {times.mean():>10.1f} {times.max():>10.1f} {expansions.mean():>11.1f} "
              f"{mismatches:>10}")
    print(f"cost mismatches against the file's optimal lengths: {total}")
    return 1 if args.check and total else 0


def plan(args: argparse.Namespace) -> int:
    cells = _read(io.read_map, args.map)
    values: Any = cells
    if args.costs is not None:
        if not Path(args.costs).is_file():
            raise InputError(f"{args.costs}: no such file")
        try:
            costs = np.load(args.costs, allow_pickle=False)
        except ValueError as e:
            raise InputError(f"{args.costs}: not a NumPy array file ({e})") from None
        if costs.shape != cells.shape:
            raise InputError(f"{args.costs}: shape {costs.shape}, the map's is {cells.shape}")
        values = np.where(cells, costs.astype(np.float64), np.inf)
    s = _cell(args.start, "START", cells.shape)
    g = _cell(args.goal, "GOAL", cells.shape)
    try:
        grid = _grid.Grid(values, connectivity=args.connectivity, corner_cutting=args.corner_cutting)
        r = grid.astar(s, g, algorithm=args.algorithm)
    except ValueError as e:
        raise InputError(str(e)) from None
    print(f"{Path(args.map).name}: {s} -> {g}, {args.connectivity} neighbours, "
          f"{'corner cutting' if args.corner_cutting else 'no corner cutting'}")
    print(f"status {r.status}, cost {r.cost:.6f}, {len(r.path)} cells, {r.expansions} expansions")
    if args.png is not None:
        plt = _matplotlib()
        fig, ax = plt.subplots(figsize=(7, 7 * cells.shape[0] / max(cells.shape[1], 1) + 0.6))
        ax.imshow(~cells, cmap="Greys", vmin=0, vmax=1.6, interpolation="nearest")
        if len(r.path):
            ax.plot(r.path[:, 1], r.path[:, 0], color="tab:red", lw=1.5, label=f"path, cost {r.cost:.2f}")
        ax.scatter([s[1]], [s[0]], color="tab:green", s=40, zorder=3, label="start")
        ax.scatter([g[1]], [g[0]], color="tab:blue", s=40, marker="s", zorder=3, label="goal")
        ax.set_title(f"{Path(args.map).name}: {r.status}, {len(r.path)} cells", fontsize=10)
        ax.set_xticks([])
        ax.set_yticks([])
        ax.legend(loc="upper right", fontsize=8)
        fig.tight_layout()
        Path(args.png).parent.mkdir(parents=True, exist_ok=True)
        fig.savefig(args.png, dpi=100)
        plt.close(fig)
        print(f"wrote {args.png}")
    return 0 if r.found else 1


def run_mapf(args: argparse.Namespace) -> int:
    cells = _read(io.read_map, args.map)
    if args.agents < 0:
        raise InputError(f"-n must be >= 0, got {args.agents}")
    scenario = _read(io.read_scenario, args.scen, args.agents)
    if len(scenario.starts) and scenario.shape != cells.shape:
        raise InputError(f"{args.scen}: the rows are for a {scenario.shape[1]} x {scenario.shape[0]} map, "
                         f"{args.map} is {cells.shape[1]} x {cells.shape[0]}")
    grid = _grid.Grid(cells, connectivity=4)
    try:
        sol = mapf.solve(grid, scenario.starts, scenario.goals, algorithm=args.algorithm,
                         time_limit=args.time_limit, seed=args.seed)
    except ValueError as e:
        raise InputError(f"{args.scen}: {e}") from None
    print(f"{Path(args.map).name}, {args.agents} agents of {Path(args.scen).name}, {sol.algorithm}, "
          f"time limit {args.time_limit:g} s")
    print(f"status {sol.status}, sum of costs {sol.sum_of_costs}, lower bound {sol.lower_bound}, "
          f"makespan {sol.makespan}, first solution after {sol.time_to_first_solution:.3f} s")
    if sol.solved and args.gif is not None:
        plt = _matplotlib()
        from matplotlib.animation import FuncAnimation, PillowWriter

        fig, ax = plt.subplots(figsize=(6, 6.4))
        colours = plt.get_cmap("hsv")(np.linspace(0, 1, max(1, len(scenario.goals)), endpoint=False))
        ax.imshow(~cells, cmap="Greys", vmin=0, vmax=1.6, interpolation="nearest")
        ax.scatter(scenario.goals[:, 1], scenario.goals[:, 0], s=24, facecolors="none", edgecolors=colours,
                   marker="s")
        dots = ax.scatter(sol.paths[:, 0, 1], sol.paths[:, 0, 0], s=24, color=colours)
        ax.set_xticks([])
        ax.set_yticks([])
        title = ax.set_title("")

        def frame(t: int) -> Any:
            dots.set_offsets(np.stack([sol.paths[:, t, 1], sol.paths[:, t, 0]], axis=1))
            title.set_text(f"t = {t} of {sol.makespan}; squares: goals")
            return dots, title

        Path(args.gif).parent.mkdir(parents=True, exist_ok=True)
        FuncAnimation(fig, frame, frames=sol.paths.shape[1]).save(args.gif, writer=PillowWriter(fps=6), dpi=70)
        plt.close(fig)
        print(f"wrote {args.gif}")
    return 0 if sol.solved else 1


def parser() -> argparse.ArgumentParser:
    ap = argparse.ArgumentParser(prog="gridsearch", description="Grid path search from the command line.")
    sub = ap.add_subparsers(dest="command", required=True, metavar="COMMAND")
    p = sub.add_parser("scen", help="run every query of a Moving AI scenario file and check the optimal lengths",
                       description="Runs every query of a Moving AI scenario file (8 neighbours, octile steps) "
                                   "and prints one row per bucket.")
    p.add_argument("file", help="the .scen file")
    p.add_argument("--map", help="the .map file (default: the one the rows name, beside the scenario)")
    p.add_argument("--algorithm", choices=_grid.ALGORITHMS, default="auto")
    p.add_argument("--corner-cutting", action="store_true",
                   help="allow diagonal moves beside blocked cells (the Moving AI lengths assume not)")
    p.add_argument("--check", action="store_true", help="exit with status 1 on any cost mismatch")
    p.set_defaults(run=scen)
    p = sub.add_parser("plan", help="one query on a map: its cost, length and a picture",
                       description="Plans one path on a map file.")
    p.add_argument("map", help="the .map file")
    p.add_argument("start", metavar="START", help="ROW,COLUMN")
    p.add_argument("goal", metavar="GOAL", help="ROW,COLUMN")
    p.add_argument("--connectivity", type=int, choices=(4, 8), default=8)
    p.add_argument("--corner-cutting", action="store_true")
    p.add_argument("--algorithm", choices=_grid.ALGORITHMS, default="auto")
    p.add_argument("--costs", help="a .npy array of cell costs of the map's shape (blocked cells stay blocked)")
    p.add_argument("--png", help="write a picture of the path here")
    p.set_defaults(run=plan)
    p = sub.add_parser("mapf", help="solve a multi-agent instance: the first N agents of a scenario",
                       description="Solves the first N agents of a scenario on a map (4 neighbours and wait).")
    p.add_argument("map", help="the .map file")
    p.add_argument("scen", help="the .scen file")
    p.add_argument("-n", dest="agents", type=int, required=True, help="the number of agents")
    p.add_argument("--algorithm", choices=mapf.SOLVERS, default="lacam")
    p.add_argument("--time-limit", type=float, default=10.0, help="seconds (default 10)")
    p.add_argument("--seed", type=int, default=0)
    p.add_argument("--gif", help="write an animation of the plan here")
    p.set_defaults(run=run_mapf)
    return ap


def main(argv: Sequence[str] | None = None) -> int:
    args = parser().parse_args(argv)
    try:
        return int(args.run(args))
    except InputError as e:
        print(f"gridsearch {args.command}: {e}", file=sys.stderr)
        return USAGE_ERROR
    except KeyboardInterrupt:
        print(f"gridsearch {args.command}: interrupted", file=sys.stderr)
        return 130
