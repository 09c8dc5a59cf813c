"""Validation messages, exception types and the order of the checks."""

import numpy as np
import pytest

import astar
import focal

G2 = np.ones((4, 5), bool)
G3 = np.ones((4, 5, 3), bool)


# Each entry: (function, grid dims, takes a map, calling convention).
def call(name, grid, start, goal, value_map=None):
    if name == "astar2D":
        return astar.astar2D(grid, *start, *goal)
    if name == "astar3D":
        return astar.astar3D(grid, *start, *goal)
    if name == "astar2D_heuristic_grid":
        return astar.astar2D_heuristic_grid(grid, value_map, *start, *goal, 1.0)
    if name == "astar3D_heuristic_grid":
        return astar.astar3D_heuristic_grid(grid, value_map, *start, *goal, 1.0)
    if name == "focal2D":
        return focal.focal2D(grid, *start, *goal, 1.5, value_map)
    return focal.focal3D(grid, *start, *goal, 1.5, value_map)


FUNCS = {
    "astar2D": (2, None),
    "astar3D": (3, None),
    "astar2D_heuristic_grid": (2, "Heuristic grid"),
    "astar3D_heuristic_grid": (3, "Heuristic grid"),
    "focal2D": (2, "Path proximity map"),
    "focal3D": (3, "Path proximity map"),
}
ALL = list(FUNCS)
MAPPED = [n for n, (_, m) in FUNCS.items() if m]


def grid_for(dim):
    return G2 if dim == 2 else G3


def origin(dim):
    return (0,) * dim


@pytest.mark.parametrize("name, ndim", [(n, d) for n in ALL for d in (0, 1, 2, 3, 4) if d != FUNCS[n][0]])
def test_grid_dimensions(name, ndim):
    dim, _ = FUNCS[name]
    grid = np.ones((3,) * ndim, bool)
    with pytest.raises(RuntimeError, match=f"^Grid must be {dim}D!$"):
        call(name, grid, origin(dim), origin(dim))


@pytest.mark.parametrize("name", ALL)
def test_bounds(name):
    dim, _ = FUNCS[name]
    grid = grid_for(dim)
    last = tuple(s - 1 for s in grid.shape)
    assert call(name, grid, origin(dim), last)[0].shape[0] > 0
    for axis in range(dim):
        for bad in (-1, grid.shape[axis]):
            p = list(last)
            p[axis] = bad
            for start, goal in ((p, last), (last, p)):
                with pytest.raises(RuntimeError, match="^Start/goal outside grid bounds!$"):
                    call(name, grid, start, goal)


@pytest.mark.parametrize("name", ALL)
def test_bounds_checked_before_blocked_start(name):
    dim, _ = FUNCS[name]
    grid = grid_for(dim).copy()
    grid[origin(dim)] = False
    goal = list(origin(dim))
    goal[0] = grid.shape[0]
    with pytest.raises(RuntimeError, match="outside grid bounds"):
        call(name, grid, origin(dim), goal)


@pytest.mark.parametrize("name", MAPPED)
def test_map_checks_and_their_order(name):
    dim, label = FUNCS[name]
    grid = grid_for(dim)
    shape = grid.shape
    rank = f"^{label} must be {dim}D!$"
    mismatch = f"^{label} must match grid shape!$"
    with pytest.raises(RuntimeError, match=rank):
        call(name, grid, origin(dim), origin(dim), 3.0)  # a plain number is 0-D
    with pytest.raises(RuntimeError, match=rank):
        call(name, grid, origin(dim), origin(dim), np.zeros((2,) * (5 - dim)))
    for axis in range(dim):
        wrong = list(shape)
        wrong[axis] += 1
        with pytest.raises(RuntimeError, match=mismatch):
            call(name, grid, origin(dim), origin(dim), np.zeros(wrong))
    transposed = np.zeros(shape[::-1])
    with pytest.raises(RuntimeError, match=mismatch):
        call(name, grid, origin(dim), origin(dim), transposed)
    # A map error wins over bad coordinates and over a blocked endpoint.
    with pytest.raises(RuntimeError, match=mismatch):
        call(name, grid, (-1,) * dim, origin(dim), np.zeros(wrong))
    blocked = grid.copy()
    blocked[origin(dim)] = False
    with pytest.raises(RuntimeError, match=mismatch):
        call(name, blocked, origin(dim), origin(dim), np.zeros(wrong))
    # A bad grid wins over a map that cannot even be converted.
    with pytest.raises(RuntimeError, match=f"^Grid must be {dim}D!$"):
        call(name, np.ones((2,) * (5 - dim), bool), origin(dim), origin(dim), "not a number")
    # NumPy's own error comes through unchanged.
    with pytest.raises(ValueError, match="could not convert"):
        call(name, grid, origin(dim), origin(dim), "not a number")


@pytest.mark.parametrize("name", MAPPED)
def test_empty_array_is_not_absent(name):
    dim, label = FUNCS[name]
    with pytest.raises(RuntimeError, match=label):
        call(name, grid_for(dim), origin(dim), origin(dim), np.array([]))


def test_zero_extent_grid_fails_bounds():
    with pytest.raises(RuntimeError, match="outside grid bounds"):
        astar.astar2D(np.ones((0, 4), bool), 0, 0, 0, 0)
    with pytest.raises(RuntimeError, match="outside grid bounds"):
        focal.focal3D(np.ones((2, 0, 2), bool), 0, 0, 0, 0, 0, 0, 1.0)
