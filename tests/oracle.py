"""An independent model of the planner's graph: its moves, step costs and
corner rule, and SciPy's Dijkstra over it."""

import itertools
import math

import numpy as np

CONNECTIVITY = {2: (4, 8), 3: (6, 18, 26)}
MOST_AXES = {4: 1, 6: 1, 8: 2, 18: 2, 26: 3}


def moves(dim, connectivity):
    return [d for d in itertools.product((-1, 0, 1), repeat=dim) if 0 < sum(map(abs, d)) <= MOST_AXES[connectivity]]


def length(d, uniform):
    return 1.0 if uniform else (1.0, 1.4142135623730951, 1.7320508075688772)[sum(map(abs, d)) - 1]


def sides(d):
    """The cells a move passes beside: every non-empty proper subset of its axes."""
    axes = [a for a, v in enumerate(d) if v]
    for k in range(1, len(axes)):
        for subset in itertools.combinations(axes, k):
            yield tuple(d[a] if a in subset else 0 for a in range(len(d)))


def step_cost(cost, a, b, d, model, uniform):
    if model == "enter":
        return length(d, uniform) * cost[b]
    return length(d, uniform) * ((cost[a] + cost[b]) * 0.5)


def legal(cost, a, b, connectivity, corner_cutting):
    d = tuple(int(v) for v in np.subtract(b, a))
    if d not in moves(len(a), connectivity) or not math.isfinite(cost[b]):
        return False
    return corner_cutting or all(math.isfinite(cost[tuple(np.add(a, s))]) for s in sides(d))


def move_graph(cost, connectivity, corner_cutting, model, uniform):
    """The grid's moves as a SciPy sparse matrix of step costs (row: from, column: to)."""
    from scipy.sparse import coo_matrix

    idx = np.arange(cost.size).reshape(cost.shape)
    free = np.isfinite(cost)
    rows, cols, vals = [], [], []
    for d in moves(cost.ndim, connectivity):
        src = tuple(slice(max(0, -o), n - max(0, o)) for o, n in zip(d, cost.shape))
        dst = tuple(slice(s.start + o, s.stop + o) for s, o in zip(src, d))
        ok = free[src] & free[dst]
        if not corner_cutting:
            for s in sides(d):
                mid = tuple(slice(a.start + o, a.stop + o) for a, o in zip(src, s))
                ok &= free[mid]
        ca, cb = cost[src][ok], cost[dst][ok]
        w = length(d, uniform) * (cb if model == "enter" else (ca + cb) * 0.5)
        rows.append(idx[src][ok])
        cols.append(idx[dst][ok])
        vals.append(w)
    n = cost.size
    return coo_matrix((np.concatenate(vals), (np.concatenate(rows), np.concatenate(cols))), shape=(n, n)).tocsr()


def oracle(cost, start, goal, connectivity, corner_cutting, model, uniform):
    """Cheapest cost from start to goal by SciPy's Dijkstra on the move graph."""
    from scipy.sparse.csgraph import dijkstra

    m = move_graph(cost, connectivity, corner_cutting, model, uniform)
    dist = dijkstra(m, indices=int(np.ravel_multi_index(start, cost.shape)))
    return float(dist[np.ravel_multi_index(goal, cost.shape)]), dist.reshape(cost.shape)


def check_path(result, cost, start, goal, connectivity, corner_cutting, model, uniform):
    """The path runs from start to goal in legal moves and costs exactly its step sum."""
    path = result.path
    assert path.dtype == np.int32 and path.shape[1] == cost.ndim
    assert tuple(path[0]) == tuple(start) and tuple(path[-1]) == tuple(goal)
    total = 0.0
    for a, b in zip(map(tuple, path[:-1]), map(tuple, path[1:])):
        assert legal(cost, a, b, connectivity, corner_cutting), (a, b)
        total += step_cost(cost, a, b, tuple(np.subtract(b, a)), model, uniform)
    assert result.cost == total


def random_costs(rng, shape, blocked):
    cost = rng.integers(1, 10, shape).astype(float) * rng.choice([0.5, 1.0, 1.25], shape)
    cost[rng.random(shape) < blocked] = np.inf
    return cost


def free_cells(rng, cost):
    free = np.argwhere(np.isfinite(cost))
    a, b = free[rng.integers(len(free), size=2)]
    return tuple(int(v) for v in a), tuple(int(v) for v in b)
