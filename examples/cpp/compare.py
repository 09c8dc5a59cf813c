"""Runs the C++ example and the Python modules (and the planner) on the same
map and queries and checks that they print the same path, cost and expansions.

Usage: python examples/cpp/compare.py ROUTE_BINARY [MAP]
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


def main() -> int:
    binary = sys.argv[1]
    map_file = Path(sys.argv[2]) if len(sys.argv) > 2 else ROOT / "data" / "maps" / "den520d.map"
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
