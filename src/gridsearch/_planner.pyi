"""Native part of gridsearch.Grid: one converted grid, many searches without the interpreter lock."""

from typing import Any

import numpy.typing as npt

# (path, cost, expansions, visited or None, status)
_Native = tuple[Any, float, int, Any, str]

class _Planner:
    def __init__(
        self, cells: npt.ArrayLike, connectivity: int, corner_cutting: bool, cost_model: str,
        use_uniform_step_cost: bool,
    ) -> None: ...
    @property
    def shape(self) -> tuple[int, ...]: ...
    @property
    def connectivity(self) -> int: ...
    @property
    def min_cost(self) -> float: ...
    def astar(
        self, start: list[int], goal: list[int], w: float, heuristic: object, max_cost: float,
        max_expansions: int, visited: bool,
    ) -> _Native: ...
    def astar_batch(
        self, queries: object, w: float, heuristic: object, max_cost: float, max_expansions: int,
        threads: object, visited: bool,
    ) -> list[_Native]: ...

class Grid2D(_Planner): ...
class Grid3D(_Planner): ...
