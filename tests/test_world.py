"""World coordinates on a Grid (resolution, origin): conversions both ways,
queries between world points, and a ROS map's frame."""

from __future__ import annotations

import numpy as np
import pytest

import gridsearch
from gridsearch import costmap, io


def test_round_trips_hold_to_half_a_cell():
    rng = np.random.default_rng(4)
    for trial in range(50):
        shape = (int(rng.integers(1, 40)), int(rng.integers(1, 40)))
        res = float(rng.choice([0.05, 0.1, 0.37, 1.0, 2.5]))
        origin = (float(rng.uniform(-50, 50)), float(rng.uniform(-50, 50)))
        g = gridsearch.Grid(np.ones(shape, bool), resolution=res, origin=origin)
        cells = np.stack([rng.integers(0, shape[0], 30), rng.integers(0, shape[1], 30)], axis=1)
        assert np.array_equal(g.to_cell(g.to_world(cells)), cells)
        # Points strictly inside the map, away from its far edges by rounding.
        x = origin[0] + rng.uniform(0, shape[1] * res * (1 - 1e-9), 30)
        y = origin[1] + rng.uniform(0, shape[0] * res * (1 - 1e-9), 30)
        points = np.stack([x, y], axis=1)
        back = g.to_world(g.to_cell(points))
        assert (np.abs(back - points) <= res / 2 + 1e-9).all()
        # x runs along the columns, y along the rows.
        assert tuple(g.to_world((0, 0))) == pytest.approx((origin[0] + res / 2, origin[1] + res / 2))
        if shape[1] > 1:
            assert g.to_world((0, 1))[0] == pytest.approx(origin[0] + 1.5 * res)


def test_queries_between_world_points():
    occupancy = np.zeros((60, 80), np.int8)
    occupancy[10:50, 40] = 100
    costs = costmap.from_occupancy(occupancy, resolution=0.05, inflation_radius=0.2, robot_radius=0.05)
    g = gridsearch.Grid(costs, resolution=0.05, origin=(-1.0, 2.0, 0.0))
    w = g.astar_world((-0.5, 3.5), (2.5, 3.5))
    s, t = tuple(g.to_cell((-0.5, 3.5))), tuple(g.to_cell((2.5, 3.5)))
    plain = g.astar(s, t)
    assert w.status == "found" and w.cost == plain.cost * 0.05 and np.array_equal(w.result.path, plain.path)
    assert np.allclose(w.points, g.to_world(plain.path))
    assert g.resolution == 0.05 and g.origin == (-1.0, 2.0)


def test_a_ros_maps_frame(tmp_path):
    image = np.full((4, 6), 254)
    image[0, 5] = 0  # the image's top right: the map's last row and column
    io.write_pgm(tmp_path / "m.pgm", image)
    (tmp_path / "m.yaml").write_text("image: m.pgm\nresolution: 0.5\norigin: [1.0, -2.0, 0.0]\nnegate: 0\n"
                                     "occupied_thresh: 0.65\nfree_thresh: 0.196\n")
    m = io.read_ros_map(tmp_path / "m.yaml")
    g = gridsearch.Grid(costmap.from_occupancy(m.occupancy, resolution=m.resolution), resolution=m.resolution,
                        origin=m.origin)
    # The occupied pixel's centre in the world: x = 1 + 5.5 * 0.5, y = -2 + 3.5 * 0.5.
    assert tuple(g.to_cell((3.75, -0.25))) == (3, 5) and m.occupancy[3, 5] == 100
    assert not g.walkable[3, 5]


def test_bad_frames_and_points():
    with pytest.raises(ValueError, match="resolution must be > 0"):
        gridsearch.Grid(np.ones((2, 2), bool), resolution=0)
    with pytest.raises(ValueError, match="yaw must be 0"):
        gridsearch.Grid(np.ones((2, 2), bool), resolution=1, origin=(0, 0, 0.5))
    with pytest.raises(ValueError, match="origin must be"):
        gridsearch.Grid(np.ones((2, 2), bool), resolution=1, origin=(0,))
    with pytest.raises(ValueError, match="2D"):
        gridsearch.Grid(np.ones((2, 2, 2), bool), resolution=1)
    with pytest.raises(ValueError, match="no world frame"):
        gridsearch.Grid(np.ones((2, 2), bool)).to_cell((0, 0))
    g = gridsearch.Grid(np.ones((2, 3), bool), resolution=0.5, origin=(1, 1))
    with pytest.raises(ValueError, match=r"point 1 \(3.0, 1.0\) lies outside the map \[1.0, 2.5\) x \[1.0, 2.0\)"):
        g.to_cell([(1.1, 1.1), (3.0, 1.0)])
    with pytest.raises(ValueError, match="point 0"):
        g.astar_world((0.0, 0.0), (1.2, 1.2))
    with pytest.raises(ValueError, match="outside"):
        g.to_cell((float("nan"), 1.2))


def test_goal_tolerance_takes_the_nearest_reachable_cell():
    from helpers import random_grid
    from oracle import oracle

    rng = np.random.default_rng(9)
    for trial in range(60):
        cells = random_grid(rng, (int(rng.integers(3, 14)), int(rng.integers(3, 14))), 0.3)
        grid = gridsearch.Grid(cells, corner_cutting=bool(rng.integers(2)))
        free = np.argwhere(cells)
        s = tuple(int(v) for v in free[rng.integers(len(free))])
        t = (int(rng.integers(cells.shape[0])), int(rng.integers(cells.shape[1])))
        tol = float(rng.uniform(0, 4))
        _, dist = oracle(np.where(cells, 1.0, np.inf), s, s, 8, grid.corner_cutting, "enter", False)
        near = [(((r - t[0]) ** 2 + (c - t[1]) ** 2), dist[r, c]) for r, c in np.argwhere(cells)
                if (r - t[0]) ** 2 + (c - t[1]) ** 2 <= tol * tol and np.isfinite(dist[r, c])]
        r = grid.astar(s, t, goal_tolerance=tol)
        if not near:
            assert r.status == "no_path" and len(r.path) == 0
            continue
        best = min(near)
        end = tuple(int(v) for v in r.path[-1])
        assert r.found and ((end[0] - t[0]) ** 2 + (end[1] - t[1]) ** 2, r.cost) == pytest.approx(best), trial
    # In metres on a world frame, and bad tolerances.
    g = gridsearch.Grid(np.ones((10, 10), bool), resolution=0.5)
    w = g.astar_world((0.25, 0.25), (4.75, 4.75), goal_tolerance=0.8)
    assert np.hypot(*(w.points[-1] - (4.75, 4.75))) <= 0.8 and w.status == "found"
    with pytest.raises(ValueError, match="goal_tolerance must be"):
        g.astar((0, 0), (1, 1), goal_tolerance=-1)
    with pytest.raises(ValueError, match="one goal"):
        g.astar((0, 0), [(1, 1), (2, 2)], goal_tolerance=1)
