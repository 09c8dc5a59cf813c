"""Results of the focal searches."""

import math

import numpy as np
import pytest

import astar
import focal
from helpers import (
    SQRT2,
    SQRT3,
    assert_optimal,
    check_path,
    free_pair,
    oracle_case,
    oracle_cost,
    random_grid,
    same_result,
)

INF = math.inf


class TestFocal2D:
    def test_start_is_goal(self):
        path, cost, exp, visited = focal.focal2D(np.ones((3, 4), bool), 1, 2, 1, 2, 1.0)
        assert path.tolist() == [[1, 2]] and cost == 0.0 and exp == 1 and visited.sum() == 1

    def test_open_diagonal(self):
        path, cost, exp, _ = focal.focal2D(np.ones((3, 3), bool), 0, 0, 2, 2, 1)
        assert path.tolist() == [[0, 0], [1, 1], [2, 2]] and cost == SQRT2 + SQRT2 and exp == 3

    def test_uniform_prefers_small_h(self):
        path, cost, exp, visited = focal.focal2D(np.ones((5, 5), bool), 0, 0, 0, 4, 1.0, None, True)
        cells = [[0, 0], [1, 1], [2, 2], [1, 3], [0, 4]]
        assert path.tolist() == cells and cost == 4.0 and exp == 5
        assert sorted(np.argwhere(visited).tolist()) == sorted(cells)

    def test_row_preferring_map(self):
        grid = np.ones((5, 5), bool)
        prox = np.abs(np.arange(5) - 2)[:, None] * np.ones((1, 5))
        path, cost, exp, visited = focal.focal2D(grid, 0, 0, 0, 4, 2.0, prox)
        assert path.tolist() == [[0, i] for i in range(5)] and cost == 4.0 and exp == 18
        assert visited[2].all()

    def test_blocked_and_unreachable(self):
        grid = np.ones((4, 4), bool)
        grid[3, 3] = False
        path, cost, exp, visited = focal.focal2D(grid, 0, 0, 3, 3, 1.5)
        assert path.shape == (0, 2) and cost == INF and exp == 0 and not visited.any()
        grid = np.ones((4, 4), bool)
        grid[:, 2] = False
        path, cost, exp, visited = focal.focal2D(grid, 0, 0, 3, 3, 1.5, np.zeros((4, 4)))
        assert path.shape == (0, 2) and cost == INF and exp == 8 and visited[:, :2].all()

    def test_diagonal_squeeze(self):
        grid = np.array([[True, False], [False, True]])
        for uniform, want in ((False, SQRT2), (True, 1.0)):
            _, cost, _, _ = focal.focal2D(grid, 0, 0, 1, 1, 1.0, None, uniform)
            assert cost == want

    def test_low_weight_is_one_and_no_map_is_none(self):
        rng = np.random.default_rng(8)
        grid = random_grid(rng, (20, 20), 0.3)
        s, t = free_pair(rng, grid)
        assert same_result(focal.focal2D(grid, *s, *t, 0.5), focal.focal2D(grid, *s, *t, 1.0))
        assert same_result(focal.focal2D(grid, *s, *t, 1.5), focal.focal2D(grid, *s, *t, 1.5, None))
        by_kw = focal.focal2D(
            grid=grid, start_x=s[0], start_y=s[1], goal_x=t[0], goal_y=t[1], w=2,
            path_proximity_map=np.ones((20, 20)), use_uniform_step_cost=True,
        )
        assert same_result(by_kw, focal.focal2D(grid, *s, *t, 2.0, np.ones((20, 20)), True))

    @pytest.mark.parametrize("start_is_goal", [True, False])
    def test_infinite_weight(self, start_is_goal):
        grid = np.ones((6, 6), bool)
        t = (2, 3) if start_is_goal else (5, 5)
        path, cost, exp, _ = focal.focal2D(grid, 2, 3, *t, math.inf)
        assert tuple(path[0]) == (2, 3) and tuple(path[-1]) == t
        check_path(grid, path, cost, (2, 3), t)
        if start_is_goal:
            assert cost == 0.0 and exp == 1

    def test_nan_weight_bounds_nothing_in(self):
        # A NaN bound admits no entry into FOCAL: nothing is expanded.
        path, cost, exp, visited = focal.focal2D(np.ones((4, 4), bool), 0, 0, 3, 3, math.nan)
        assert path.shape == (0, 2) and cost == math.inf and exp == 0
        assert visited.shape == (4, 4) and not visited.any()

    def test_nan_keys(self):
        grid = np.ones((8, 8), bool)
        prox = np.full((8, 8), np.nan)
        path, cost, _, _ = focal.focal2D(grid, 0, 0, 7, 5, 1.5, prox)
        check_path(grid, path, cost, (0, 0), (7, 5))


class TestFocal3D:
    def test_start_is_goal(self):
        path, cost, exp, visited = focal.focal3D(np.ones((2, 2, 2), bool), 1, 0, 1, 1, 0, 1, 2.0)
        assert path.tolist() == [[1, 0, 1]] and cost == 0.0 and exp == 1 and visited.sum() == 1

    def test_space_diagonal(self):
        path, cost, exp, _ = focal.focal3D(np.ones((3, 3, 3), bool), 0, 0, 0, 2, 2, 2, 1.0)
        assert path.tolist() == [[0, 0, 0], [1, 1, 1], [2, 2, 2]] and cost == SQRT3 + SQRT3 and exp == 3

    def test_blocked(self):
        grid = np.ones((3, 3, 3), bool)
        grid[0, 0, 0] = False
        path, cost, exp, visited = focal.focal3D(grid, 0, 0, 0, 2, 2, 2, 1.0)
        assert path.shape == (0, 3) and cost == INF and exp == 0 and visited.shape == (3, 3, 3)

    def test_corner_squeeze(self):
        grid = np.zeros((2, 2, 2), bool)
        grid[0, 0, 0] = grid[1, 1, 1] = True
        for uniform, want in ((False, SQRT3), (True, 1.0)):
            _, cost, _, _ = focal.focal3D(grid, 0, 0, 0, 1, 1, 1, 1.0, None, uniform)
            assert cost == want

    def test_infinite_weight_start_is_goal(self):
        path, cost, exp, _ = focal.focal3D(np.ones((3, 3, 3), bool), 1, 1, 1, 1, 1, 1, math.inf)
        assert path.tolist() == [[1, 1, 1]] and cost == 0.0 and exp == 1


class TestFocalOptimalAtWeightOne:
    @pytest.mark.parametrize("dims, seed", [(2, 300 + k) for k in range(4)] + [(3, 400 + k) for k in range(3)])
    def test_against_dijkstra(self, dims, seed):
        search = focal.focal2D if dims == 2 else focal.focal3D
        rng = np.random.default_rng(seed)
        for _ in range(30 if dims == 2 else 15):
            shape, grid, s, t, uniform = oracle_case(rng, dims, 20 if dims == 2 else 8, 0.4 if dims == 2 else 0.5)
            prox = rng.random(shape) if rng.integers(2) else None
            want = oracle_cost(grid, s, t, uniform)
            path, cost, _, _ = search(grid, *s, *t, 1.0, prox, uniform)
            assert_optimal(grid, path, cost, want, s, t, uniform)
            if dims == 3:
                if math.isfinite(cost):
                    assert cost == pytest.approx(astar.astar3D(grid, *s, *t, uniform)[1], rel=1e-9)
                continue
            # Valid paths for larger bounds too (their cost is not asserted).
            path, cost, _, _ = search(grid, *s, *t, float(rng.uniform(1, 3)), prox, uniform)
            assert math.isfinite(cost) == math.isfinite(want)
            if math.isfinite(cost):
                check_path(grid, path, cost, s, t, uniform)
