"""Multi-agent solvers on the MAPF benchmark's instances.

    .venv/bin/python benchmarks/mapf.py [--time-limit 10] [--write | --out FILE]

1. `../shared/mapf/random-32-32-10.map` with the first N agents of
   `random-32-32-10-random-1.scen`, N = 100, 200, 300, 400, `"lacam"` with
   the time limit: status, time to the first solution, sum of costs at the
   limit, the lower bound, and the anchors measured with the authors' C++
   (lacam3) on this machine, 10 s each.
2. `"ecbs"` with suboptimality 1.1 on the first 50, 100 and 150 agents of
   the same scenario: the sum of costs, the lower bound it reports, and
   their ratio (at most 1.1).
3. Scale: 1,000 agents on `data/maps/random512-10-0.map` (random distinct
   starts and goals in its largest region, seed 1), `"lacam"` and `"pibt"`.
Each case runs in a child process of its own; memory is the child's peak
resident size. Every plan is checked by `mapf.validate`.
"""

from __future__ import annotations

import argparse
import datetime
import json
import platform
import subprocess
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import tables  # noqa: E402

ROOT = Path(__file__).resolve().parent.parent
SHARED = ROOT.parent / "shared" / "mapf"
# lacam3 on this machine, 10 s: (first solution s, sum of costs at 10 s)
ANCHORS = {100: (0.05, 2359), 200: (0.14, 4834), 300: (0.27, 7933), 400: (0.39, 13579)}

CHILD = r"""
import json, resource, sys, time
import numpy as np
import gridsearch
from gridsearch import io, mapf
kind, n, algorithm, limit = sys.argv[1], int(sys.argv[2]), sys.argv[3], float(sys.argv[4])
w = 1.1 if algorithm == "ecbs" else None
if kind == "scen":
    cells = io.read_map(sys.argv[5])
    scen = io.read_scenario(sys.argv[6], n)
    starts, goals = scen.starts, scen.goals
else:
    from scipy import ndimage
    cells = io.read_map(sys.argv[5])
    labels, _ = ndimage.label(cells)
    big = np.argmax(np.bincount(labels.ravel())[1:]) + 1
    free = np.argwhere(labels == big)
    rng = np.random.default_rng(1)
    pick = rng.choice(len(free), 2 * n, replace=False)
    starts, goals = free[pick[:n]], free[pick[n:]]
grid = gridsearch.Grid(cells, connectivity=4)
began = time.perf_counter()
sol = mapf.solve(grid, starts, goals, algorithm=algorithm, time_limit=limit, suboptimality=w)
wall = time.perf_counter() - began
faults = len(mapf.validate(grid, starts, goals, sol.paths)) if sol.solved else -1
print(json.dumps(dict(status=sol.status, first=sol.time_to_first_solution, soc=sol.sum_of_costs, lb=sol.lower_bound,
                      makespan=sol.makespan, wall=wall, iterations=sol.iterations, faults=faults,
                      rss_mb=resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024)))
"""


def run(kind, n, algorithm, limit, *files):
    out = subprocess.run([sys.executable, "-c", CHILD, kind, str(n), algorithm, str(limit), *map(str, files)],
                         capture_output=True, text=True, check=True)
    return json.loads(out.stdout)


def main() -> None:
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--time-limit", type=float, default=10.0)
    tables.add_arguments(ap, "mapf")
    args = ap.parse_args()
    lines = [f"Run {datetime.date.today()} on {platform.machine()}, Python {platform.python_version()}, "
             f"`benchmarks/mapf.py --time-limit {args.time_limit:g}`. One run per row, each in a child process; "
             "every plan checked valid by `mapf.validate`.", ""]
    lines += ["## random-32-32-10, random-1 scenario, first N agents, `\"lacam\"`", "",
              "| N | status | first solution (s) | anchor first (s) | sum of costs | anchor sum of costs | lower bound | "
              "makespan | improvement steps | peak memory (MB) |",
              "|---:|---|---:|---:|---:|---:|---:|---:|---:|---:|"]
    for n, (first, soc) in ANCHORS.items():
        r = run("scen", n, "lacam", args.time_limit, SHARED / "random-32-32-10.map",
                SHARED / "random-32-32-10-random-1.scen")
        assert r["faults"] == 0, r
        lines.append(f"| {n} | {r['status']} | {r['first']:.3f} | {first:.2f} | {r['soc']:,} | {soc:,} | "
                     f"{r['lb']:,} | {r['makespan']} | {r['iterations']:,} | {r['rss_mb']:.0f} |")
        print(lines[-1], flush=True)
    lines += ["", "## `\"ecbs\"`, suboptimality 1.1, same scenario", "",
              "| N | status | time to the plan (s) | sum of costs | lower bound reported | ratio | lower bound "
              "(distances) |", "|---:|---|---:|---:|---:|---:|---:|"]
    for n in (50, 100, 150):
        r = run("scen", n, "ecbs", args.time_limit, SHARED / "random-32-32-10.map",
                SHARED / "random-32-32-10-random-1.scen")
        assert r["faults"] in (0, -1), r
        ratio = r["soc"] / r["lb"] if r["soc"] > 0 else float("nan")
        distances = run("scen", n, "pibt", 0.0, SHARED / "random-32-32-10.map",
                        SHARED / "random-32-32-10-random-1.scen")["lb"]
        lines.append(f"| {n} | {r['status']} | {r['first']:.3f} | {r['soc']:,} | {r['lb']:,} | {ratio:.3f} | "
                     f"{distances:,} |")
        print(lines[-1], flush=True)
    lines += ["", "## Scale: 1,000 agents on random512-10-0 (random starts and goals, seed 1)", "",
              "| solver | status | first solution (s) | sum of costs | lower bound | makespan | wall (s) | "
              "peak memory (MB) |", "|---|---|---:|---:|---:|---:|---:|---:|"]
    for algorithm in ("lacam", "pibt"):
        r = run("random", 1000, algorithm, args.time_limit, ROOT / "data" / "maps" / "random512-10-0.map")
        assert r["faults"] in (0, -1), r
        lines.append(f"| {algorithm} | {r['status']} | {r['first']:.3f} | {r['soc']:,} | {r['lb']:,} | "
                     f"{r['makespan']} | {r['wall']:.1f} | {r['rss_mb']:.0f} |")
        print(lines[-1], flush=True)
    tables.write(args, "mapf", "\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
