"""Optimized 2D A* with PyBind11"""

from typing import SupportsFloat, SupportsIndex, TypeAlias

import numpy as np
import numpy.typing as npt

# Coordinates: integers and whatever has __index__ (NumPy integers); a float is refused.
_Int: TypeAlias = SupportsIndex
_Float: TypeAlias = SupportsFloat | SupportsIndex
_Grid: TypeAlias = npt.ArrayLike
_ValueMap: TypeAlias = npt.ArrayLike | None

# (path, cost, expansions, visited): path is int32 (N, 2) or (N, 3), empty when
# there is none; cost is inf then; visited has the grid's shape.
_Result: TypeAlias = tuple[npt.NDArray[np.int32], float, int, npt.NDArray[np.bool_]]

def astar2D(
    grid: _Grid,
    start_x: _Int,
    start_y: _Int,
    goal_x: _Int,
    goal_y: _Int,
    use_uniform_step_cost: bool = False,
) -> _Result: ...
def astar2D_heuristic_grid(
    grid: _Grid,
    heuristic_grid: _ValueMap,
    start_x: _Int,
    start_y: _Int,
    goal_x: _Int,
    goal_y: _Int,
    w: _Float = 1.0,
    use_uniform_step_cost: bool = False,
) -> _Result: ...
def astar3D(
    grid: _Grid,
    start_x: _Int,
    start_y: _Int,
    start_z: _Int,
    goal_x: _Int,
    goal_y: _Int,
    goal_z: _Int,
    use_uniform_step_cost: bool = False,
) -> _Result: ...
def astar3D_heuristic_grid(
    grid: _Grid,
    heuristic_grid: _ValueMap,
    start_x: _Int,
    start_y: _Int,
    start_z: _Int,
    goal_x: _Int,
    goal_y: _Int,
    goal_z: _Int,
    w: _Float = 1.0,
    use_uniform_step_cost: bool = False,
) -> _Result: ...
