"""Results of the A* searches: worked examples, tie order, oracle agreement."""

import math

import numpy as np
import pytest

import astar
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


class TestAstar2D:
    def test_single_cell(self):
        path, cost, exp, visited = astar.astar2D(np.ones((1, 1), bool), 0, 0, 0, 0)
        assert path.tolist() == [[0, 0]] and path.dtype == np.int32
        assert cost == 0.0 and exp == 1 and visited.tolist() == [[True]]

    @pytest.mark.parametrize("uniform, cost", [(False, SQRT2 + SQRT2), (True, 2.0)])
    def test_open_diagonal(self, uniform, cost):
        path, c, exp, visited = astar.astar2D(np.ones((3, 3), bool), 0, 0, 2, 2, uniform)
        assert path.tolist() == [[0, 0], [1, 1], [2, 2]]
        assert c == cost and exp == 3
        assert (visited == np.eye(3, dtype=bool)).all()

    def test_diagonal_squeeze(self):
        grid = np.array([[True, False], [False, True]])
        path, cost, exp, _ = astar.astar2D(grid, 0, 0, 1, 1)
        assert path.tolist() == [[0, 0], [1, 1]] and cost == SQRT2 and exp == 2

    def test_row_path_and_uniform_tie_order(self):
        grid = np.ones((5, 5), bool)
        path, cost, exp, _ = astar.astar2D(grid, 0, 0, 0, 4)
        assert path.tolist() == [[0, i] for i in range(5)] and cost == 4.0 and exp == 5
        path, cost, exp, visited = astar.astar2D(grid, 0, 0, 0, 4, True)
        assert path.tolist() == [[0, 0], [1, 1], [2, 2], [1, 3], [0, 4]]
        assert cost == 4.0 and exp == 9
        order = [(0, 0), (1, 1), (0, 1), (2, 2), (0, 2), (1, 2), (1, 3), (0, 3), (0, 4)]
        assert sorted(map(tuple, np.argwhere(visited).tolist())) == sorted(order)
        # The order itself: stopping at each prefix cell as goal expands exactly the prefix.
        for k in range(1, len(order)):
            goal = order[k]
            *_, v = astar.astar2D(grid, 0, 0, *goal, True)
            assert {tuple(c) for c in np.argwhere(v).tolist()} <= set(order[: k + 1]) | {goal}

    def test_walled_goal(self):
        grid = np.ones((3, 3), bool)
        grid[1, :] = False
        path, cost, exp, visited = astar.astar2D(grid, 0, 0, 2, 2)
        assert path.shape == (0, 2) and path.dtype == np.int32 and cost == INF and exp == 3
        assert visited.tolist() == [[True] * 3, [False] * 3, [False] * 3]

    @pytest.mark.parametrize("start, goal", [((0, 0), (1, 1)), ((1, 1), (0, 0))])
    def test_blocked_endpoint(self, start, goal):
        grid = np.ones((3, 4), bool)
        grid[1, 1] = False
        path, cost, exp, visited = astar.astar2D(grid, *start, *goal)
        assert path.shape == (0, 2) and cost == INF and exp == 0
        assert visited.shape == (3, 4) and not visited.any()

    def test_uniform_cost_is_steps(self):
        rng = np.random.default_rng(5)
        grid = random_grid(rng, (30, 30), 0.3)
        s, t = free_pair(rng, grid)
        path, cost, _, _ = astar.astar2D(grid, *s, *t, True)
        assert len(path) > 10 and cost == len(path) - 1


class TestAstar3D:
    def test_single_voxel(self):
        grid = np.ones((2, 3, 4), bool)
        path, cost, exp, visited = astar.astar3D(grid, 1, 2, 3, 1, 2, 3)
        assert path.tolist() == [[1, 2, 3]] and cost == 0.0 and exp == 1 and visited.sum() == 1

    def test_corridor(self):
        path, cost, exp, _ = astar.astar3D(np.ones((5, 1, 1), bool), 0, 0, 0, 4, 0, 0)
        assert len(path) == 5 and cost == 4.0 and exp == 5

    @pytest.mark.parametrize("uniform, cost", [(False, SQRT3 + SQRT3), (True, 2.0)])
    def test_space_diagonal(self, uniform, cost):
        path, c, exp, _ = astar.astar3D(np.ones((3, 3, 3), bool), 0, 0, 0, 2, 2, 2, uniform)
        assert path.tolist() == [[0, 0, 0], [1, 1, 1], [2, 2, 2]] and c == cost and exp == 3

    def test_move_order_and_tie_breaking(self):
        grid = np.ones((3, 3, 3), bool)
        path, cost, exp, visited = astar.astar3D(grid, 0, 0, 0, 0, 0, 2, True)
        assert path.tolist() == [[0, 0, 0], [0, 0, 1], [0, 0, 2]] and cost == 2.0 and exp == 5
        expanded = {(0, 0, 0), (0, 0, 1), (0, 1, 1), (1, 1, 1), (0, 0, 2)}
        assert {tuple(c) for c in np.argwhere(visited).tolist()} == expanded
        path, cost, exp, _ = astar.astar3D(grid, 0, 0, 0, 0, 0, 2)
        assert path.tolist() == [[0, 0, 0], [0, 0, 1], [0, 0, 2]] and cost == 2.0 and exp == 3

    def test_corner_squeeze(self):
        grid = np.zeros((2, 2, 2), bool)
        grid[0, 0, 0] = grid[1, 1, 1] = True
        for uniform, cost in ((False, SQRT3), (True, 1.0)):
            path, c, exp, _ = astar.astar3D(grid, 0, 0, 0, 1, 1, 1, uniform)
            assert path.tolist() == [[0, 0, 0], [1, 1, 1]] and c == cost and exp == 2

    def test_enclosed_goal(self):
        grid = np.ones((5, 5, 5), bool)
        grid[2:5, 2:5, 2:5] = False
        grid[3, 3, 3] = True
        path, cost, exp, visited = astar.astar3D(grid, 0, 0, 0, 3, 3, 3)
        assert path.shape == (0, 3) and cost == INF
        assert exp == 125 - 27 and visited.sum() == exp and not visited[2:, 2:, 2:].any()

    def test_blocked_endpoint(self):
        grid = np.ones((3, 3, 3), bool)
        grid[2, 2, 2] = False
        path, cost, exp, visited = astar.astar3D(grid, 0, 0, 0, 2, 2, 2)
        assert path.shape == (0, 3) and cost == INF and exp == 0
        assert visited.shape == (3, 3, 3) and not visited.any()


def wall_grid_7():
    grid = np.ones((7, 7), bool)
    grid[1:6, 3] = False
    return grid


class TestWeighted2D:
    @pytest.mark.parametrize(
        "w, path, exp",
        [
            (1.0, [(3, 0), (2, 1), (1, 2), (0, 3), (1, 4), (2, 5), (3, 6)], 20),
            (2.0, [(3, 0), (4, 1), (5, 2), (6, 3), (5, 4), (4, 5), (3, 6)], 13),
            (5.0, [(3, 0), (3, 1), (4, 2), (5, 2), (6, 3), (5, 4), (4, 5), (3, 6)], 10),
        ],
    )
    def test_weights(self, w, path, exp):
        p, cost, e, _ = astar.astar2D_heuristic_grid(wall_grid_7(), None, 3, 0, 3, 6, w)
        assert [tuple(r) for r in p.tolist()] == path and e == exp
        check_path(wall_grid_7(), p, cost, (3, 0), (3, 6))

    def test_zero_map_expands_everything(self):
        grid = wall_grid_7()
        _, cost, exp, visited = astar.astar2D_heuristic_grid(grid, np.zeros((7, 7)), 3, 0, 3, 6, 1.0)
        assert cost == 6 * SQRT2 and exp == 44 and visited.sum() == 44

    @pytest.mark.parametrize("w", [1.0, 0.5, 0.0, -3.0])
    def test_matches_plain_astar(self, w):
        rng = np.random.default_rng(11)
        for _ in range(20):
            grid = random_grid(rng, (25, 31), 0.3)
            s, t = free_pair(rng, grid)
            for uniform in (False, True):
                assert same_result(
                    astar.astar2D(grid, *s, *t, uniform),
                    astar.astar2D_heuristic_grid(grid, None, *s, *t, w, uniform),
                )

    @pytest.mark.parametrize("bad", [np.nan, np.inf, -np.inf])
    def test_non_finite_values_come_last(self, bad):
        grid = np.ones((4, 4), bool)
        h = np.zeros((4, 4))
        h[3, 3] = bad  # the goal itself: expanded after every finite entry
        path, cost, exp, visited = astar.astar2D_heuristic_grid(grid, h, 0, 0, 3, 3, 1.0)
        assert tuple(path[-1]) == (3, 3) and exp == 16 and visited.all()

    def test_negative_values_pull_cells_forward(self):
        # With the exact distance as h only the straight row is expanded. Negative
        # values along row 0 draw the search 7 steps away from the goal, further
        # than any cell whose f could stay below the goal's if they counted as 0.
        grid = np.ones((3, 14), bool)
        h = np.abs(np.arange(14) - 13.0)[None, :].repeat(3, axis=0)
        h[[0, 2], :] += 0.5
        _, cost, exp, visited = astar.astar2D_heuristic_grid(grid, h, 1, 7, 1, 13, 1.0)
        assert exp == 7 and not visited[0].any() and cost == 6.0
        h[0, :7] = -100.0
        _, cost, exp, visited = astar.astar2D_heuristic_grid(grid, h, 1, 7, 1, 13, 1.0)
        assert visited[0, :7].all() and cost == 6.0
        h[0, :7] = 0.0
        assert not astar.astar2D_heuristic_grid(grid, h, 1, 7, 1, 13, 1.0)[3][0, :2].any()

    def test_start_is_goal_whatever_the_map(self):
        h = np.full((3, 3), np.nan)
        path, cost, exp, _ = astar.astar2D_heuristic_grid(np.ones((3, 3), bool), h, 1, 1, 1, 1, 4.0)
        assert path.tolist() == [[1, 1]] and cost == 0.0 and exp == 1

    def test_uniform_with_map_changes_steps_only(self):
        grid = np.ones((6, 6), bool)
        path, cost, _, _ = astar.astar2D_heuristic_grid(grid, np.zeros((6, 6)), 0, 0, 5, 3, 1.0, True)
        assert cost == len(path) - 1 == 5


class TestWeighted3D:
    def grid(self):
        g = np.ones((6, 6, 1), bool)
        g[2, 1:5, 0] = False
        return g

    @pytest.mark.parametrize(
        "w, path, exp",
        [
            (1.0, [(0, 2, 0), (1, 1, 0), (2, 0, 0), (3, 0, 0), (4, 1, 0), (5, 2, 0)], 12),
            (1.5, [(0, 2, 0), (1, 1, 0), (2, 0, 0), (3, 1, 0), (4, 2, 0), (5, 2, 0)], 8),
            (3.0, [(0, 2, 0), (1, 1, 0), (2, 0, 0), (3, 1, 0), (4, 2, 0), (5, 2, 0)], 7),
        ],
    )
    def test_weights(self, w, path, exp):
        p, cost, e, _ = astar.astar3D_heuristic_grid(self.grid(), None, 0, 2, 0, 5, 2, 0, w)
        assert [tuple(r) for r in p.tolist()] == path and e == exp
        assert cost == SQRT2 + SQRT2 + 1.0 + SQRT2 + SQRT2

    @pytest.mark.parametrize("w", [1.0, 0.0, -1.0])
    def test_matches_plain_astar(self, w):
        rng = np.random.default_rng(12)
        for _ in range(10):
            grid = random_grid(rng, (7, 8, 9), 0.35)
            s, t = free_pair(rng, grid)
            for uniform in (False, True):
                assert same_result(
                    astar.astar3D(grid, *s, *t, uniform),
                    astar.astar3D_heuristic_grid(grid, None, *s, *t, w, uniform),
                )

    def test_zero_map_is_uniform_cost_search(self):
        grid = np.ones((5, 5, 5), bool)
        _, cost, exp, visited = astar.astar3D_heuristic_grid(grid, np.zeros((5, 5, 5)), 0, 0, 0, 2, 2, 2, 1.0)
        assert cost == 2 * SQRT3
        # Every voxel cheaper than the goal was expanded first.
        assert exp >= 1 + 26 and visited[:2, :2, :2].all()

    def test_non_finite_map_still_finds_path(self):
        rng = np.random.default_rng(3)
        grid = random_grid(rng, (6, 6, 6), 0.2)
        grid[0, 0, 0] = grid[5, 5, 5] = True
        h = rng.choice([0.0, np.nan, np.inf, -np.inf], size=grid.shape)
        path, cost, _, _ = astar.astar3D_heuristic_grid(grid, h, 0, 0, 0, 5, 5, 5, 2.0)
        want = oracle_cost(grid, (0, 0, 0), (5, 5, 5))
        assert (len(path) > 0) == math.isfinite(want)
        if len(path):
            check_path(grid, path, cost, (0, 0, 0), (5, 5, 5))


class TestOracle:
    """Costs agree with SciPy's Dijkstra on seeded random grids."""

    @pytest.mark.parametrize(
        "dims, seed", [(2, 100 + k) for k in range(6)] + [(3, 200 + k) for k in range(4)]
    )
    def test_against_dijkstra(self, dims, seed):
        plain, weighted = (
            (astar.astar2D, astar.astar2D_heuristic_grid) if dims == 2 else (astar.astar3D, astar.astar3D_heuristic_grid)
        )
        rng = np.random.default_rng(seed)
        for _ in range(40 if dims == 2 else 25):
            shape, grid, s, t, uniform = oracle_case(rng, dims, 24 if dims == 2 else 10, 0.45 if dims == 2 else 0.5)
            want = oracle_cost(grid, s, t, uniform)
            path, cost, _, _ = plain(grid, *s, *t, uniform)
            assert_optimal(grid, path, cost, want, s, t, uniform)
            # A zero heuristic grid is still optimal; a weight bounds the excess.
            _, c0, _, _ = weighted(grid, np.zeros(shape), *s, *t, 1.0, uniform)
            assert c0 == pytest.approx(want, rel=1e-9) or c0 == want == INF
            w = float(rng.uniform(1.0, 4.0))
            p, cw, _, _ = weighted(grid, None, *s, *t, w, uniform)
            if math.isfinite(want):
                assert cw <= w * want * (1 + 1e-9)
                check_path(grid, p, cw, s, t, uniform)
