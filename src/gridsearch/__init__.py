"""The planner `Grid` (per-cell costs, move sets, limits) and batch queries
for the astar and focal searches.

Each batch function takes the single call's arguments, with one (N, 4) integer array
`queries` (2D: start x, start y, goal x, goal y; 3D: (N, 6)) in place of the
start and goal coordinates, and returns one result tuple per row. The grid and
maps are converted once; the queries run on native threads without the
interpreter lock.
"""

from ._batch import (
    __version__,
    astar2D_batch,
    astar2D_heuristic_grid_batch,
    astar3D_batch,
    astar3D_heuristic_grid_batch,
    focal2D_batch,
    focal3D_batch,
)
from ._grid import Grid, PathResult, WorldPath

__all__ = [
    "Grid",
    "PathResult",
    "WorldPath",
    "__version__",
    "astar2D_batch",
    "astar2D_heuristic_grid_batch",
    "astar3D_batch",
    "astar3D_heuristic_grid_batch",
    "focal2D_batch",
    "focal3D_batch",
]
