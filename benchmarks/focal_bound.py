"""How often, and by how much, focal search exceeds w x optimal (closed cells are never reopened).

Both focal searches on the same queries: `focal.focal2D` and the planner's
`Grid.focal` (same moves, step costs and key).

Run: .venv/bin/python benchmarks/focal_bound.py [GRIDS]
"""

import sys

import numpy as np

import astar
import focal
import gridsearch


def main(n=3000, seed=2026):
    rng = np.random.default_rng(seed)
    stats = {}
    for _ in range(n):
        shape = tuple(int(v) for v in rng.integers(5, 40, 2))
        grid = rng.random(shape) >= rng.uniform(0.0, 0.4)
        free = np.argwhere(grid)
        if len(free) < 2:
            continue
        s, t = (tuple(int(v) for v in free[i]) for i in rng.integers(len(free), size=2))
        opt = astar.astar2D(grid, *s, *t)[1]
        if not np.isfinite(opt) or opt == 0:
            continue
        prox = rng.random(shape) * 10 if rng.integers(2) else None
        planner = gridsearch.Grid(grid)
        for w in (1.2, 1.5, 2.0, 3.0):
            costs = {"focal.focal2D": focal.focal2D(grid, *s, *t, w, prox)[1],
                     "Grid.focal": planner.focal(s, t, w, key=prox).cost}
            for name, cost in costs.items():
                st = stats.setdefault((name, w), [0, 0, 0.0])
                st[0] += 1
                ratio = cost / (w * opt)
                if ratio > 1 + 1e-12:
                    st[1] += 1
                    st[2] = max(st[2], ratio)
    print("| search | w | queries | cost > w x optimal | worst cost / (w x optimal) |")
    print("|---|---:|---:|---:|---:|")
    for (name, w), (q, bad, worst) in sorted(stats.items()):
        tail = f"{bad} ({bad / q:.2%}) | {worst:.3f} |" if bad else "0 | - |"
        print(f"| {name} | {w} | {q} | {tail}")


if __name__ == "__main__":
    main(int(sys.argv[1]) if len(sys.argv) > 1 else 3000)
