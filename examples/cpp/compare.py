"""Runs the C++ examples and the Python modules (and the planner) on the same
inputs and checks that they print the same results: paths, costs and
expansions of single queries (route) and, with --agents, a multi-agent plan
(agents: the same LaCAM* plan, cell for cell, for the same seed and steps).

Usage: python examples/cpp/compare.py ROUTE_BINARY [MAP] [--agents AGENTS_BINARY]
"""

from __future__ import annotations

import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "examples"))

import astar  # noqa: E402
import focal  # noqa: E402
import gridsearch  # noqa: E402
from common import query_pairs, read_map  # noqa: E402


def line(name: str, result) -> str:
    path, cost, expansions, _ = result
    cells = ";".join(f"{x},{y}" for x, y in path.tolist())
    return f"{name} cost={cost:.17g} expansions={expansions} cells={len(path)} path={cells}"


def compare_agents(binary: str) -> int:
    from gridsearch import io, mapf

    map_file, scen = ROOT / "data" / "mapf" / "random-32-32-10.map", ROOT / "data" / "mapf" / "random-32-32-10-random-1.scen"
    cpp = subprocess.run([binary, str(map_file), str(scen), "60", "100"], capture_output=True, text=True, check=True)
    instance = io.read_scenario(scen, 60)
    grid = gridsearch.Grid(io.read_map(map_file), connectivity=4)
    sol = mapf.solve(grid, instance.starts, instance.goals, time_limit=600, max_iterations=100)
    want = [f"status={sol.status} sum_of_costs={sol.sum_of_costs} lower_bound={sol.lower_bound} "
            f"makespan={sol.makespan}"]
    want += [";".join(f"{r},{c}" for r, c in path.tolist()) for path in sol.paths]
    if cpp.stdout.strip() != "\n".join(want) or mapf.validate(grid, instance.starts, instance.goals, sol.paths):
        print(f"C++ and Python plans differ:\n{cpp.stdout[:2000]}\n---\n{want[0]}")
        return 1
    print(want[0])
    print("C++ example and Python agree on the plan for 60 agents of random-32-32-10")
    return 0


def main() -> int:
    args = sys.argv[1:]
    if "--agents" in args:
        k = args.index("--agents")
        agents = args[k + 1]
        del args[k:k + 2]
        if compare_agents(agents):
            return 1
    binary = args[0]
    map_file = Path(args[1]) if len(args) > 1 else ROOT / "data" / "maps" / "den520d.map"
    grid = read_map(map_file)
    four = gridsearch.Grid(grid, connectivity=4)
    corner_free = gridsearch.Grid(grid, corner_cutting=False)
    queries = query_pairs(grid, 5, seed=11)
    for (sx, sy), (gx, gy) in queries:
        args = [str(v) for v in (sx, sy, gx, gy)]
        cpp = subprocess.run([binary, str(map_file), *args, "1.5"], capture_output=True, text=True, check=True)
        want = "\n".join([line("astar2D", astar.astar2D(grid, sx, sy, gx, gy)),
                          line("focal2D", focal.focal2D(grid, sx, sy, gx, gy, 1.5)),
                          line("Grid4", four.astar((sx, sy), (gx, gy))),
                          line("Grid8nc", corner_free.astar((sx, sy), (gx, gy)))])
        if cpp.stdout.strip() != want:
            print(f"C++ and Python differ on {map_file.name} {args}:\n{cpp.stdout}\n---\n{want}")
            return 1
        print(want.split(" path=")[0], "...")
    print(f"C++ example and Python agree on {len(queries)} queries of {map_file.name}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
