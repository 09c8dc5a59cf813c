"""Robot costmaps from occupancy grids, as nav2's static and inflation
layers make them, and the cost arrays a `Grid` takes from them.

An occupancy grid (ROS `nav_msgs/OccupancyGrid`, or `io.read_ros_map`) holds
-1 for unknown and 0 (free) to 100 (occupied) per cell. `nav2_costmap` turns
it into nav2's uint8 costs: 0 free, 254 lethal (occupied), 253 inscribed (the
robot's centre there would touch an obstacle), 255 no information, and in
between an exponential decay out to the inflation radius:
`int(252 * exp(-cost_scaling * (d - robot_radius)))` for a cell whose centre
lies d metres from the nearest lethal cell's centre (d <= inflation_radius).
`from_occupancy` gives the planner's costs: `1 + value` (free space costs 1
a cell, inflated cells more), +inf where the robot cannot be (lethal,
inscribed, and unknown unless asked otherwise). NumPy only.
"""

from __future__ import annotations

import math
from typing import Any

import numpy as np
import numpy.typing as npt

from . import _args

__all__ = ["FREE", "INSCRIBED", "LETHAL", "NO_INFORMATION", "from_occupancy", "nav2_costmap"]

FREE = 0
INSCRIBED = 253
LETHAL = 254
NO_INFORMATION = 255


def _occupancy(data: Any) -> npt.NDArray[np.int16]:
    _args._refuse_masked(data, "data")
    array = np.asarray(data)
    if array.dtype.kind not in "iu":
        raise TypeError(f"data must be an integer occupancy grid (-1, 0..100), got dtype {array.dtype}")
    if array.ndim != 2:
        raise ValueError(f"data must be 2D, got shape {array.shape}")
    out = array.astype(np.int16)
    bad = (out < -1) | (out > 100)
    if bad.any():
        r, c = (int(v) for v in np.argwhere(bad)[0])
        raise ValueError(f"data must hold -1 (unknown) or 0..100, got {int(array[r, c])} at ({r}, {c})")
    return out


def _length(value: Any, name: str) -> float:
    v = _args.real(value, name)
    if not (v >= 0.0 and math.isfinite(v)):
        raise ValueError(f"{name} must be >= 0 and finite, got {v}")
    return v


def nav2_costmap(data: npt.ArrayLike, *, resolution: float = 1.0, unknown: str = "unknown", free_below: int = 25,
                 occupied_from: int = 65, inflation_radius: float = 0.0, robot_radius: float = 0.0,
                 cost_scaling: float = 10.0) -> npt.NDArray[np.uint8]:
    """nav2's costs (uint8) of an occupancy grid.

    resolution: metres per cell; the radii are in metres. A cell of
    occupancy >= occupied_from is lethal, below free_below free, and between
    them or -1 unknown (as ROS map_server's thresholds make it). unknown:
    "unknown" (255, no information; inflation writes over it only where it
    reaches the inscribed cost), "free" or "lethal". Lethal cells are
    inflated out to inflation_radius (nav2's inflation layer).
    """
    occ = _occupancy(data)
    res = _length(resolution, "resolution")
    if res == 0.0:
        raise ValueError("resolution must be > 0")
    inflation = _length(inflation_radius, "inflation_radius")
    inscribed = _length(robot_radius, "robot_radius")
    scaling = _length(cost_scaling, "cost_scaling")
    kinds = ("unknown", "free", "lethal")
    treat = kinds[_args.choice(unknown, "unknown", kinds)]
    low = _args.integer(free_below, "free_below", 0, 101)
    high = _args.integer(occupied_from, "occupied_from", 0, 101)
    if low > high:
        raise ValueError(f"free_below ({low}) must not be above occupied_from ({high})")
    out = np.full(occ.shape, FREE, dtype=np.uint8)
    unknown_cells = (occ < 0) | ((occ >= low) & (occ < high))
    lethal = occ >= high
    out[unknown_cells] = {"unknown": NO_INFORMATION, "free": FREE, "lethal": LETHAL}[treat]
    out[lethal] = LETHAL
    sources = out == LETHAL
    reach = int(math.ceil(inflation / res))
    if reach == 0 or not sources.any():
        return out
    # Distance in cells from each cell to the nearest lethal cell within
    # reach, offset by offset over the disc (exact Euclidean distance).
    rows, cols = out.shape
    nearest = np.full(out.shape, np.inf)
    padded = np.zeros((rows + 2 * reach, cols + 2 * reach), bool)
    padded[reach:reach + rows, reach:reach + cols] = sources
    for dr in range(-reach, reach + 1):
        for dc in range(-reach, reach + 1):
            d = math.hypot(dr, dc)
            if d > reach:
                continue
            shifted = padded[reach + dr:reach + dr + rows, reach + dc:reach + dc + cols]
            np.minimum(nearest, np.where(shifted, d, np.inf), out=nearest)
    metres = nearest * res
    cost = np.zeros(out.shape, np.int16)
    cost[metres <= inscribed] = INSCRIBED
    decay = (metres > inscribed) & (nearest <= reach)
    cost[decay] = (float(INSCRIBED - 1) * np.exp(-scaling * (metres[decay] - inscribed))).astype(np.int16)
    cost[nearest == 0] = LETHAL
    old = out.astype(np.int16)
    new = np.where(old == NO_INFORMATION, np.where(cost >= INSCRIBED, cost, old), np.maximum(old, cost))
    return new.astype(np.uint8)


def from_occupancy(data: npt.ArrayLike, *, resolution: float = 1.0, unknown: str = "lethal", free_below: int = 25,
                   occupied_from: int = 65, inflation_radius: float = 0.0, robot_radius: float = 0.0,
                   cost_scaling: float = 10.0) -> npt.NDArray[np.float64]:
    """The planner's float64 costs of an occupancy grid: 1 + nav2's cost
    where the robot may be, +inf on lethal and inscribed cells and on
    unknown ones (unknown="lethal", the default; "free" makes them free,
    "unknown" gives them nav2's no-information cost, 1 + 255). The other
    arguments are `nav2_costmap`'s. `gridsearch.Grid(from_occupancy(...))`
    plans on it."""
    values = nav2_costmap(data, resolution=resolution, unknown=unknown, free_below=free_below,
                          occupied_from=occupied_from, inflation_radius=inflation_radius,
                          robot_radius=robot_radius, cost_scaling=cost_scaling)
    costs = 1.0 + values.astype(np.float64)
    costs[(values == LETHAL) | (values == INSCRIBED)] = np.inf
    return costs
