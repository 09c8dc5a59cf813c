"""How soon Ctrl-C stops a running search: SIGINT half a second into a long
call in a child process, the time until the child has its KeyboardInterrupt,
best and worst of --tries. The tests only check that a stop comes at all
(well before the call would end); how fast it comes is measured here.

Usage: .venv/bin/python benchmarks/stop_latency.py [--tries 5]
"""

from __future__ import annotations

import argparse
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests"))
from helpers import interrupt_child, planner_child  # noqa: E402

CASES = [
    ("Grid.astar (A*)", "planner.astar((0, 0), (5998, 0), algorithm='astar')"),
    ("Grid.focal", "planner.focal((0, 0), (5998, 0), 1.5)"),
    ("Grid.distance_field_batch, 8 fields", "planner.distance_field_batch([(0, 0)] * 8, threads=2)"),
    ("Grid.astar_batch, 1024 rows, threads=1024", "planner.astar_batch(np.array([[0, 0, 1000, 0]] * 1024), threads=1024)"),
    ("Grid.descend, 18M cells", "planner.descend(planner.distance_field((5998, 0), reverse=True), (0, 0))"),
]


# Jump point search on a pillar field (a blocked cell every third row and
# column, 4500 x 4500) whose far corner is walled in.
JUMPS = [
    ("Grid.astar (jump point search)", "planner.astar((1, 1), (4499, 4499), algorithm='jps')"),
    ("Grid.astar (precomputed jumps)", "tabled.astar((1, 1), (4499, 4499), algorithm='jps')"),
]
PILLARS = "planner = gridsearch.Grid(pillars(4500)); tabled = gridsearch.Grid(pillars(4500), precompute_jumps=True)"

# Multi-agent solvers on 300 agents of an open 40 x 40 grid, 120 s limit.
AGENTS = [
    ("mapf.solve lacam", "mapf.solve(grid, free[pick[:300]], free[pick[300:]], time_limit=120)"),
    ("mapf.solve ecbs", "mapf.solve(grid, free[pick[:300]], free[pick[300:]], algorithm='ecbs', time_limit=120)"),
]
FIELD = ("from gridsearch import mapf; grid = gridsearch.Grid(np.ones((40, 40), bool), connectivity=4); "
         "free = np.argwhere(np.ones((40, 40), bool)); pick = np.random.default_rng(0).choice(1600, 600, replace=False)")


def main() -> None:
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--tries", type=int, default=5)
    args = ap.parse_args()
    print("| call (6000 x 6000 serpentine) | best ms | worst ms |")
    print("|---|---:|---:|")
    for name, call in CASES:
        code = planner_child(call, "1")
        times = [interrupt_child(code)[1] * 1e3 for _ in range(args.tries)]
        print(f"| {name} | {min(times):.1f} | {max(times):.1f} |", flush=True)
    print()
    print("| call (4500 x 4500 pillar field) | best ms | worst ms |")
    print("|---|---:|---:|")
    for name, call in JUMPS:
        times = [interrupt_child(planner_child(call, "1", PILLARS))[1] * 1e3 for _ in range(args.tries)]
        print(f"| {name} | {min(times):.1f} | {max(times):.1f} |", flush=True)
    print()
    print("| call (300 agents, 40 x 40 open grid) | best ms | worst ms |")
    print("|---|---:|---:|")
    for name, call in AGENTS:
        times = [interrupt_child(planner_child(call, "1", FIELD))[1] * 1e3 for _ in range(args.tries)]
        print(f"| {name} | {min(times):.1f} | {max(times):.1f} |", flush=True)


if __name__ == "__main__":
    main()
