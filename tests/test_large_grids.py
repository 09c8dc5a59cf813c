"""Large grids keep their working state differently; results must not change.

A small random grid embedded in a large blocked grid is searched exactly as on
its own (blocked cells are never entered, distances are translation-invariant),
so every function must return the same path (shifted), cost bits, expansion
count and visited map (cropped, nothing outside).
"""

import numpy as np
import pytest

import astar
import focal
from helpers import free_pair, random_grid

# Past the size from which costs are kept in tiles; odd extents leave partial tiles.
BIG = {2: (1031, 1037), 3: (103, 105, 101)}
OFFSETS = {2: [(0, 0), (29, 1003), (990, 17), (500, 500)], 3: [(0, 0, 0), (5, 90, 3), (94, 7, 88), (40, 41, 42)]}


FUNCTIONS = {
    2: (astar.astar2D, astar.astar2D_heuristic_grid, focal.focal2D),
    3: (astar.astar3D, astar.astar3D_heuristic_grid, focal.focal3D),
}


def calls(dim, grid, s, t, h, w, uniform):
    plain, weighted, focal_search = FUNCTIONS[dim]
    return [
        lambda: plain(grid, *s, *t, uniform),
        lambda: weighted(grid, h, *s, *t, w, uniform),
        lambda: weighted(grid, None, *s, *t, w, uniform),
        lambda: focal_search(grid, *s, *t, w, h, uniform),
        lambda: focal_search(grid, *s, *t, w, None, uniform),
    ]


@pytest.mark.parametrize("dim", [2, 3])
def test_embedded_grid_gives_the_same_results(dim):
    rng = np.random.default_rng(20261208 + dim)
    big = np.zeros(BIG[dim], bool)
    hbig = np.zeros(BIG[dim])
    for case in range(24):
        side = 40 if dim == 2 else 9
        shape = tuple(int(v) for v in rng.integers(2, side + 1, size=dim))
        small = random_grid(rng, shape, rng.uniform(0, 0.35))
        if not small.any():
            continue
        s, t = free_pair(rng, small)
        h = rng.random(shape) * 3
        w, uniform = float(rng.choice([1.0, 1.5, 3.0])), bool(case % 2)
        off = OFFSETS[dim][case % len(OFFSETS[dim])]
        off = tuple(min(o, b - n) for o, b, n in zip(off, BIG[dim], shape))
        window = tuple(slice(o, o + n) for o, n in zip(off, shape))
        big[...] = False
        big[window] = small
        hbig[window] = h
        bs = tuple(a + o for a, o in zip(s, off))
        bt = tuple(a + o for a, o in zip(t, off))
        for want_call, got_call in zip(calls(dim, small, s, t, h, w, uniform),
                                       calls(dim, big, bs, bt, hbig, w, uniform)):
            want, got = want_call(), got_call()
            assert np.array_equal(got[0], want[0] + np.array(off, np.int32)) and got[0].shape == want[0].shape
            assert got[1] == want[1] or (np.isinf(got[1]) and np.isinf(want[1]))
            assert got[2] == want[2]
            assert np.array_equal(got[3][window], want[3]) and got[3].sum() == want[3].sum()
