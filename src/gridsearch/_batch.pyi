"""Batch calls of the astar and focal searches, run on native threads."""

from typing import SupportsFloat, SupportsIndex, TypeAlias

import numpy as np
import numpy.typing as npt

_Grid: TypeAlias = npt.ArrayLike
# (N, 4) integer rows (start x, start y, goal x, goal y); (N, 6) in 3D.
_Queries: TypeAlias = npt.ArrayLike
_ValueMap: TypeAlias = npt.ArrayLike | None
_Float: TypeAlias = SupportsFloat | SupportsIndex
_Threads: TypeAlias = SupportsIndex | None
# As the single call's result, but visited is None unless visited=True.
_Result: TypeAlias = tuple[npt.NDArray[np.int32], float, int, npt.NDArray[np.bool_] | None]

__version__: str

def astar2D_batch(
    grid: _Grid, queries: _Queries, use_uniform_step_cost: bool = False, *, threads: _Threads = None,
    visited: bool = False,
) -> list[_Result]: ...
def astar3D_batch(
    grid: _Grid, queries: _Queries, use_uniform_step_cost: bool = False, *, threads: _Threads = None,
    visited: bool = False,
) -> list[_Result]: ...
def astar2D_heuristic_grid_batch(
    grid: _Grid, heuristic_grid: _ValueMap, queries: _Queries, w: _Float = 1.0, use_uniform_step_cost: bool = False,
    *, threads: _Threads = None, visited: bool = False,
) -> list[_Result]: ...
def astar3D_heuristic_grid_batch(
    grid: _Grid, heuristic_grid: _ValueMap, queries: _Queries, w: _Float = 1.0, use_uniform_step_cost: bool = False,
    *, threads: _Threads = None, visited: bool = False,
) -> list[_Result]: ...
def focal2D_batch(
    grid: _Grid, queries: _Queries, w: _Float, path_proximity_map: _ValueMap = None,
    use_uniform_step_cost: bool = False, *, threads: _Threads = None, visited: bool = False,
) -> list[_Result]: ...
def focal3D_batch(
    grid: _Grid, queries: _Queries, w: _Float, path_proximity_map: _ValueMap = None,
    use_uniform_step_cost: bool = False, *, threads: _Threads = None, visited: bool = False,
) -> list[_Result]: ...
