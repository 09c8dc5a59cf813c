"""Costmaps from occupancy grids (nav2's static and inflation layers) and
ROS map_server files."""

from __future__ import annotations

import math

import numpy as np
import pytest

import gridsearch
from gridsearch import costmap, io


def inflated(occ, res, inflation, robot, scaling, unknown="unknown"):
    """nav2's rule, cell by cell: the distance to every lethal cell's centre,
    the nearest one within ceil(inflation / res) cells, and the cost formula."""
    rows, cols = occ.shape
    base = np.zeros(occ.shape, int)
    base[occ < 0] = {"unknown": 255, "free": 0, "lethal": 254}[unknown]
    base[occ >= 65] = 254
    between = (occ >= 25) & (occ < 65)
    base[between] = {"unknown": 255, "free": 0, "lethal": 254}[unknown]
    lethal = [(r, c) for r in range(rows) for c in range(cols) if base[r, c] == 254]
    reach = math.ceil(inflation / res)
    out = base.copy()
    for r in range(rows):
        for c in range(cols):
            d = min((math.hypot(r - a, c - b) for a, b in lethal), default=math.inf)
            if d > reach:
                continue
            if d == 0:
                cost = 254
            elif d * res <= robot:
                cost = 253
            else:
                cost = int(252 * math.exp(-scaling * (d * res - robot)))
            old = base[r, c]
            out[r, c] = (cost if cost >= 253 else old) if old == 255 else max(old, cost)
    return out


def test_inflation_follows_nav2_cell_for_cell():
    occ = np.zeros((7, 9), np.int8)
    occ[3, 4] = 100
    occ[0, 0] = -1
    got = costmap.nav2_costmap(occ, resolution=0.05, inflation_radius=0.2, robot_radius=0.05, cost_scaling=3.0)
    # Written out: 254 at the obstacle, 253 within the robot's radius (one
    # cell, 0.05 m), 252 exp(-3 (d - 0.05)) beyond: 236 at a diagonal
    # neighbour (d = 0.0707 m), 160 four cells away (0.2 m); nothing beyond
    # 4 cells; the unknown corner stays 255.
    want = np.array([
        [255, 0, 170, 182, 186, 182, 170, 0, 0],
        [0, 170, 191, 209, 216, 209, 191, 170, 0],
        [0, 182, 209, 236, 253, 236, 209, 182, 0],
        [160, 186, 216, 253, 254, 253, 216, 186, 160],
        [0, 182, 209, 236, 253, 236, 209, 182, 0],
        [0, 170, 191, 209, 216, 209, 191, 170, 0],
        [0, 0, 170, 182, 186, 182, 170, 0, 0]])
    assert np.array_equal(got, want)
    rng = np.random.default_rng(2)
    for trial in range(30):
        occ = rng.choice([-1, 0, 0, 0, 0, 30, 100], size=(int(rng.integers(1, 12)), int(rng.integers(1, 12))))
        res = float(rng.choice([0.05, 0.1, 1.0]))
        args = dict(resolution=res, inflation_radius=float(rng.uniform(0, 6 * res)),
                    robot_radius=float(rng.uniform(0, 2 * res)), cost_scaling=float(rng.uniform(0.5, 12)))
        for unknown in ("unknown", "free", "lethal"):
            got = costmap.nav2_costmap(occ, unknown=unknown, **args)
            assert got.dtype == np.uint8
            assert np.array_equal(got, inflated(occ, unknown=unknown, res=res, inflation=args["inflation_radius"],
                                                robot=args["robot_radius"], scaling=args["cost_scaling"])), trial


def test_planner_costs_block_what_the_robot_cannot_touch():
    occ = np.zeros((20, 20), np.int8)
    occ[5:15, 10] = 100
    occ[0, :] = -1
    costs = costmap.from_occupancy(occ, resolution=0.1, inflation_radius=0.5, robot_radius=0.15)
    values = costmap.nav2_costmap(occ, resolution=0.1, inflation_radius=0.5, robot_radius=0.15, unknown="lethal")
    assert np.array_equal(np.isinf(costs), values >= 253)
    assert np.array_equal(costs[~np.isinf(costs)], 1.0 + values[~np.isinf(costs)])
    assert np.isinf(costs[0]).all() and costs[19, 0] == 1.0
    r = gridsearch.Grid(costs).astar((10, 2), (10, 18))
    assert r.found and not (np.abs(r.path[:, 1] - 10) <= 1)[(r.path[:, 0] >= 4) & (r.path[:, 0] <= 15)].any()
    assert np.isfinite(costmap.from_occupancy(occ, unknown="free")[0]).all()


def test_bad_occupancy_and_arguments():
    with pytest.raises(TypeError, match="integer occupancy"):
        costmap.nav2_costmap(np.zeros((2, 2)))
    with pytest.raises(ValueError, match="101 at \\(0, 1\\)"):
        costmap.nav2_costmap(np.array([[0, 101]]))
    with pytest.raises(ValueError, match="2D"):
        costmap.nav2_costmap(np.zeros(3, int))
    with pytest.raises(ValueError, match="inflation_radius"):
        costmap.nav2_costmap(np.zeros((2, 2), int), inflation_radius=-1)
    with pytest.raises(ValueError, match="resolution must be > 0"):
        costmap.nav2_costmap(np.zeros((2, 2), int), resolution=0)
    with pytest.raises(ValueError, match="free_below"):
        costmap.nav2_costmap(np.zeros((2, 2), int), free_below=70, occupied_from=60)
    with pytest.raises(ValueError, match="unknown"):
        costmap.nav2_costmap(np.zeros((2, 2), int), unknown="maybe")


def write_map(tmp_path, image, *, binary, negate=0, mode=None, name="m"):
    io.write_pgm(tmp_path / f"{name}.pgm", image, binary=binary)
    lines = [f"image: {name}.pgm", "resolution: 0.050000", "origin: [-10.0, -5.5, 0.0]", f"negate: {negate}",
             "occupied_thresh: 0.65", "free_thresh: 0.196  # map_server's default"]
    if mode:
        lines.append(f"mode: {mode}")
    (tmp_path / f"{name}.yaml").write_text("\n".join(lines) + "\n")
    return tmp_path / f"{name}.yaml"


@pytest.mark.parametrize("binary", [True, False])
def test_ros_maps_in_both_pgm_forms(tmp_path, binary):
    # Image rows from the top: black (0) occupied, white (254) free, grey (205) unknown.
    image = np.array([[0, 254, 205],
                      [254, 254, 0]])
    m = io.read_ros_map(write_map(tmp_path, image, binary=binary))
    assert m.resolution == 0.05 and m.origin == (-10.0, -5.5, 0.0)
    # ROS order: the image's bottom row is row 0.
    assert m.occupancy.dtype == np.int8 and m.occupancy.tolist() == [[0, 0, 100], [100, 0, -1]]
    negated = io.read_ros_map(write_map(tmp_path, image, binary=binary, negate=1, name="n"))
    assert negated.occupancy.tolist() == [[100, 100, 0], [0, 100, 100]]  # negated, grey 205 is 0.80: occupied
    scaled = io.read_ros_map(write_map(tmp_path, np.array([[100]]), binary=binary, mode="scale", name="s"))
    p = (255 - 100) / 255
    assert scaled.occupancy.tolist() == [[round(99 * (p - 0.196) / (0.65 - 0.196))]]
    assert np.isfinite(costmap.from_occupancy(m.occupancy, resolution=m.resolution)).sum() == 3


def test_ros_map_files_refused_with_their_names(tmp_path):
    yaml = write_map(tmp_path, np.array([[0]]), binary=True)
    yaml.write_text("image: none.pgm\nresolution: 0.05\norigin: [0, 0, 0]\n")
    with pytest.raises(ValueError, match="none.pgm does not exist"):
        io.read_ros_map(yaml)
    yaml.write_text("image: m.pgm\nresolution: 0.05\n")
    with pytest.raises(ValueError, match="no 'origin'"):
        io.read_ros_map(yaml)
    yaml.write_text("image: m.pgm\nresolution: 0.05\norigin: [0, 0]\n")
    with pytest.raises(ValueError, match=r"origin must be \[x, y, yaw\]"):
        io.read_ros_map(yaml)
    (tmp_path / "m.pgm").write_bytes(b"P5\n4 4\n255\n\x00\x00")
    yaml.write_text("image: m.pgm\nresolution: 0.05\norigin: [0, 0, 0]\n")
    with pytest.raises(ValueError, match="m.pgm: the image has 2 of 16 pixels"):
        io.read_ros_map(yaml)
    (tmp_path / "m.pgm").write_bytes(b"P6\n1 1\n255\n\x00\x00\x00")
    with pytest.raises(ValueError, match="not a PGM image"):
        io.read_ros_map(yaml)
