"""Argument conversion: coordinates, weights, flags, grids and value maps."""

import numpy as np
import pytest

import astar
import focal
from helpers import same_result

GRID = np.ones((6, 7), bool)
GRID[2, 1:6] = False


def reference():
    return astar.astar2D(GRID, 0, 0, 5, 6)


class Five:
    def __index__(self):
        return 5


@pytest.mark.parametrize("coord", [np.int64(5), np.int32(5), np.uint8(5), Five()])
def test_index_like_coordinates(coord):
    assert same_result(astar.astar2D(GRID, 0, 0, coord, 6), reference())


def test_bool_coordinates_are_0_and_1():
    assert same_result(astar.astar2D(GRID, True, False, 5, 6), astar.astar2D(GRID, 1, 0, 5, 6))


@pytest.mark.parametrize("coord", [5.0, "5", None, 2**31, -(2**31) - 1, np.float64(5.0), [5]])
def test_refused_coordinates(coord):
    with pytest.raises(TypeError):
        astar.astar2D(GRID, 0, 0, coord, 6)


def test_out_of_int32_reaches_no_search():
    with pytest.raises(TypeError):
        focal.focal3D(np.ones((2, 2, 2), bool), 0, 0, 0, 0, 0, 2**40, 1.0)


@pytest.mark.parametrize("flag, uniform", [(None, False), (0, False), (1, True), (np.bool_(True), True), (2.5, True)])
def test_flag_conversion(flag, uniform):
    assert same_result(astar.astar2D(GRID, 0, 0, 5, 6, flag), astar.astar2D(GRID, 0, 0, 5, 6, uniform))


def test_weight_conversion():
    base = astar.astar2D_heuristic_grid(GRID, None, 0, 0, 5, 6, 2.0)
    for w in (2, np.float32(2.0), np.int64(2)):
        assert same_result(astar.astar2D_heuristic_grid(GRID, None, 0, 0, 5, 6, w), base)
    assert same_result(focal.focal2D(GRID, 0, 0, 5, 6, 2), focal.focal2D(GRID, 0, 0, 5, 6, 2.0))
    with pytest.raises(TypeError):
        focal.focal2D(GRID, 0, 0, 5, 6, "2")


def test_keywords_and_required_arguments():
    by_kw = astar.astar2D(grid=GRID, start_x=0, start_y=0, goal_x=5, goal_y=6, use_uniform_step_cost=False)
    assert same_result(by_kw, reference())
    with pytest.raises(TypeError):
        astar.astar2D_heuristic_grid(GRID, 0, 0, 5, 6)  # heuristic_grid has no default
    with pytest.raises(TypeError):
        focal.focal2D(GRID, 0, 0, 5, 6)  # w has no default
    with pytest.raises(TypeError):
        focal.focal3D(grid=np.ones((2, 2, 2), bool), start_x=0, start_y=0, goal_x=1, goal_y=1, w=1.0)
    hg = astar.astar2D_heuristic_grid(GRID, heuristic_grid=None, start_x=0, start_y=0, goal_x=5, goal_y=6)
    assert same_result(hg, reference())


@pytest.mark.parametrize(
    "grid",
    [
        GRID.astype(np.int64),
        GRID.astype(np.float32) * 3.5,
        GRID.tolist(),
        np.asfortranarray(GRID),
        np.ascontiguousarray(GRID.T).T,
    ],
    ids=["int", "float", "list", "fortran", "transposed"],
)
def test_grid_forms(grid):
    assert same_result(astar.astar2D(grid, 0, 0, 5, 6), reference())


def test_strided_grid():
    big = np.zeros((12, 21), bool)
    big[::2, ::3] = GRID
    assert same_result(astar.astar2D(big[::2, ::3], 0, 0, 5, 6), reference())


def test_unconvertible_grid_is_type_error():
    with pytest.raises(TypeError):
        astar.astar2D([[1, 2], [3]], 0, 0, 0, 0)
    # Anything with a truth value converts (to a 0-D grid here).
    with pytest.raises(RuntimeError, match="Grid must be 2D!"):
        astar.astar2D("grid", 0, 0, 0, 0)


class TestValueMaps:
    H = np.add.outer(np.arange(6.0), np.arange(7.0)) % 4

    def run(self, h):
        return astar.astar2D_heuristic_grid(GRID, h, 0, 0, 5, 6, 1.5)

    @pytest.mark.parametrize(
        "form",
        [
            lambda h: h.tolist(),
            lambda h: h.astype(np.float32),
            lambda h: h.astype(np.int16),
            lambda h: np.asfortranarray(h),
            lambda h: np.ascontiguousarray(h.T).T,
        ],
        ids=["list", "float32", "int", "fortran", "transposed"],
    )
    def test_forms_read_in_logical_order(self, form):
        assert same_result(self.run(form(self.H)), self.run(self.H))

    def test_bool_map_reads_as_ones(self):
        ones = np.ones(GRID.shape, bool)
        assert same_result(self.run(ones), self.run(np.ones(GRID.shape)))

    def test_caller_map_unchanged_and_proximity_dtypes(self):
        h = self.H.copy()
        h[0, 1] = np.nan
        before = h.copy()
        self.run(h)
        focal.focal2D(GRID, 0, 0, 5, 6, 1.5, h)
        assert np.array_equal(h, before, equal_nan=True)
        for dtype in (np.float32, np.int32):
            assert same_result(
                focal.focal2D(GRID, 0, 0, 5, 6, 1.5, self.H.astype(dtype)),
                focal.focal2D(GRID, 0, 0, 5, 6, 1.5, self.H.astype(dtype).astype(np.float64)),
            )
