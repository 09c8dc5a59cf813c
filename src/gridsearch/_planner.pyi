"""Native part of gridsearch.Grid: one converted grid, many searches without the interpreter lock."""

from typing import Any

import numpy as np
import numpy.typing as npt

# (path, cost, expansions, visited or None, status)
_Native = tuple[Any, float, int, Any, str]

class _Planner:
    def __init__(
        self, cells: npt.ArrayLike, connectivity: int, corner_cutting: bool, cost_model: str,
        use_uniform_step_cost: bool, precompute_jumps: bool,
    ) -> None: ...
    @property
    def shape(self) -> tuple[int, ...]: ...
    @property
    def connectivity(self) -> int: ...
    @property
    def min_cost(self) -> float: ...
    def astar(
        self, start: list[int], goal: list[int], w: float, heuristic: object, max_cost: float,
        max_expansions: int, visited: bool, algorithm: int,
    ) -> _Native: ...
    def astar_goals(
        self, start: list[int], goals: npt.NDArray[np.int64], w: float, heuristic: object, max_cost: float,
        max_expansions: int, visited: bool, algorithm: int,
    ) -> _Native: ...
    def astar_batch(
        self, queries: object, w: float, heuristic: object, max_cost: float, max_expansions: int,
        threads: object, visited: bool, algorithm: int,
    ) -> list[_Native]: ...

    def focal(
        self, start: list[int], goal: list[int], w: float, key: object, max_expansions: int, visited: bool,
        with_order: bool,
    ) -> Any: ...
    def focal_batch(
        self, queries: object, w: float, key: object, max_expansions: int, threads: object, visited: bool,
    ) -> list[_Native]: ...
    def distance_field(self, origins: npt.NDArray[np.int64], reverse: bool, max_cost: float) -> npt.NDArray[np.float64]: ...
    def distance_field_batch(
        self, origin_sets: list[npt.NDArray[np.int64]], reverse: bool, max_cost: float, threads: object,
    ) -> npt.NDArray[np.float64]: ...
    def descend(self, field: npt.NDArray[np.float64], start: list[int]) -> npt.NDArray[np.int32]: ...
    def next_steps(self, field: npt.NDArray[np.float64], cells: npt.NDArray[np.int64]) -> npt.NDArray[np.int32]: ...

class Grid2D(_Planner): ...
class Grid3D(_Planner): ...
