"""An independent model of planning in space and time, for the tests: the
constraints as plain Python sets, the earliest arrival by breadth-first
search over (time, cell) layers, and a checker of multi-agent plans written
from the model's rules (not from the library's validator)."""

from __future__ import annotations

import numpy as np

STEPS = ((0, 0), (-1, 0), (1, 0), (0, -1), (0, 1))


class Constraints:
    """Vertex constraints {(cell, t)}, move constraints {(a, b, t)} (leave a
    at t for b), reservations {cell: t0} (taken from t0 on)."""

    def __init__(self):
        self.cells: set = set()
        self.moves: set = set()
        self.reserved: dict = {}

    def free(self, cell, t) -> bool:
        if (cell, t) in self.cells:
            return False
        return not (cell in self.reserved and t >= self.reserved[cell])

    def last(self) -> int:
        times = [t for _, t in self.cells] + [t + 1 for *_, t in self.moves] + list(self.reserved.values())
        return max(times, default=-1)

    def fill(self, table) -> None:
        for c, t in self.cells:
            table.forbid_cell(c, t)
        for a, b, t in self.moves:
            table.forbid_move(a, b, t)
        for c, t in self.reserved.items():
            table.reserve_from(c, t)


def random_constraints(rng, grid, count, horizon) -> Constraints:
    rows, cols = grid.shape
    out = Constraints()
    for _ in range(count):
        r, c = int(rng.integers(rows)), int(rng.integers(cols))
        kind = rng.integers(10)
        t = int(rng.integers(horizon))
        if kind < 6:
            out.cells.add(((r, c), t))
        elif kind < 9:
            dr, dc = STEPS[1 + int(rng.integers(4))]
            if 0 <= r + dr < rows and 0 <= c + dc < cols:
                out.moves.add(((r, c), (r + dr, c + dc), t))
        else:
            out.reserved[(r, c)] = min(out.reserved.get((r, c), 10**9), t + horizon // 2)
    return out


def can_stay(cons: Constraints, goal, t) -> bool:
    if goal in cons.reserved:
        return False
    return all(not (c == goal and u >= t) for c, u in cons.cells)


def earliest_arrival(grid, start, goal, cons: Constraints, start_time=0, max_time=None):
    """The earliest time at which the agent is at goal and may stay, or None."""
    grid = np.asarray(grid, bool)
    start, goal = tuple(start), tuple(goal)
    if not grid[start] or not grid[goal] or not cons.free(start, start_time):
        return None
    horizon = max(cons.last() + 1, start_time) + int(grid.sum())
    if max_time is not None:
        horizon = min(horizon, max_time)
    layer = {start}
    t = start_time
    while True:
        if goal in layer and can_stay(cons, goal, t):
            return t
        if t >= horizon or not layer:
            return None
        nxt = set()
        for r, c in layer:
            for dr, dc in STEPS:
                n = (r + dr, c + dc)
                if not (0 <= n[0] < grid.shape[0] and 0 <= n[1] < grid.shape[1]) or not grid[n]:
                    continue
                if not cons.free(n, t + 1) or (n != (r, c) and ((r, c), n, t) in cons.moves):
                    continue
                nxt.add(n)
        layer, t = nxt, t + 1


def check_timed_path(grid, path, start, goal, cons: Constraints, start_time=0) -> None:
    """path[k] at start_time + k obeys the grid, the moves and the constraints."""
    grid = np.asarray(grid, bool)
    cells = [tuple(int(v) for v in p) for p in path]
    assert cells[0] == tuple(start) and cells[-1] == tuple(goal)
    for k, c in enumerate(cells):
        t = start_time + k
        assert grid[c], f"blocked cell {c} at {t}"
        assert cons.free(c, t), f"forbidden cell {c} at {t}"
        if k:
            a = cells[k - 1]
            assert abs(a[0] - c[0]) + abs(a[1] - c[1]) <= 1, f"jump {a} -> {c} at {t - 1}"
            assert a == c or (a, c, t - 1) not in cons.moves, f"forbidden move {a} -> {c} at {t - 1}"
    assert can_stay(cons, tuple(goal), start_time + len(cells) - 1)


def plan_faults(grid, starts, goals, paths) -> list[str]:
    """Every way in which `paths` ((agents, T + 1, 2), agents at their goals
    repeated) breaks the multi-agent rules."""
    grid = np.asarray(grid, bool)
    paths = np.asarray(paths)
    faults = []
    n, steps = paths.shape[0], paths.shape[1]
    for a in range(n):
        if tuple(paths[a, 0]) != tuple(starts[a]):
            faults.append(f"agent {a} starts at {tuple(paths[a, 0])}")
        if tuple(paths[a, -1]) != tuple(goals[a]):
            faults.append(f"agent {a} ends at {tuple(paths[a, -1])}")
        for t in range(steps):
            p = tuple(paths[a, t])
            if not (0 <= p[0] < grid.shape[0] and 0 <= p[1] < grid.shape[1]) or not grid[p]:
                faults.append(f"agent {a} on a blocked cell at {t}")
            if t and abs(int(paths[a, t, 0]) - int(paths[a, t - 1, 0])) + abs(
                    int(paths[a, t, 1]) - int(paths[a, t - 1, 1])) > 1:
                faults.append(f"agent {a} jumps at {t}")
    for t in range(steps):
        seen = {}
        for a in range(n):
            p = tuple(paths[a, t])
            if p in seen:
                faults.append(f"agents {seen[p]} and {a} meet at {p} at {t}")
            seen[p] = a
        if t:
            before = {tuple(paths[a, t - 1]): a for a in range(n)}
            for a in range(n):
                b = before.get(tuple(paths[a, t]))
                if b is not None and b != a and tuple(paths[b, t]) == tuple(paths[a, t - 1]):
                    if a < b:
                        faults.append(f"agents {a} and {b} swap at {t}")
    return faults


def sum_of_costs(paths, goals) -> int:
    """Per agent, the time after which it stays at its goal."""
    paths = np.asarray(paths)
    total = 0
    for a in range(paths.shape[0]):
        at_goal = np.all(paths[a] == np.asarray(goals[a]), axis=1)
        k = len(at_goal)
        while k > 0 and at_goal[k - 1]:
            k -= 1
        total += k
    return total


def joint_optimum(grid, starts, goals):
    """The least sum of costs by Dijkstra over the joint space: (every
    agent's cell, which agents have finished). A finished agent stays at its
    goal for ever and costs nothing more; each other agent costs 1 a step.
    None when there is no plan. For a few agents on small grids."""
    import heapq
    import itertools

    grid = np.asarray(grid, bool)
    n = len(starts)
    starts = tuple(tuple(int(v) for v in c) for c in starts)
    goals = tuple(tuple(int(v) for v in c) for c in goals)

    def moves(c):
        for dr, dc in STEPS:
            m = (c[0] + dr, c[1] + dc)
            if 0 <= m[0] < grid.shape[0] and 0 <= m[1] < grid.shape[1] and grid[m]:
                yield m

    start = (starts, (False,) * n)
    best = {start: 0}
    heap = [(0, start)]
    while heap:
        cost, (cells, done) = heapq.heappop(heap)
        if best.get((cells, done), None) != cost:
            continue
        if all(done):
            return cost
        # Finishing an agent at its goal is free.
        for a in range(n):
            if not done[a] and cells[a] == goals[a]:
                state = (cells, done[:a] + (True,) + done[a + 1:])
                if best.get(state, 1 << 60) > cost:
                    best[state] = cost
                    heapq.heappush(heap, (cost, state))
        options = [[cells[a]] if done[a] else list(moves(cells[a])) for a in range(n)]
        step = sum(1 for a in range(n) if not done[a])
        for nxt in itertools.product(*options):
            if len(set(nxt)) < n:
                continue
            if any(nxt[a] == cells[b] and nxt[b] == cells[a] for a in range(n) for b in range(a + 1, n)
                   if cells[a] != cells[b]):
                continue
            state = (tuple(nxt), done)
            if best.get(state, 1 << 60) > cost + step:
                best[state] = cost + step
                heapq.heappush(heap, (cost + step, state))
    return None
