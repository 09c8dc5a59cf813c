"""The planner: `Grid` holds one converted grid of per-cell costs and answers
many queries with the chosen moves and step cost model."""

from __future__ import annotations

import math
import operator
from typing import Any, NamedTuple

import numpy as np
import numpy.typing as npt

from . import _planner

COST_MODELS = ("enter", "mean")
STATUSES = ("found", "no_path", "max_cost", "max_expansions")


class _PathFields(NamedTuple):
    path: npt.NDArray[np.int32]
    cost: float
    expansions: int
    visited: npt.NDArray[np.bool_] | None


class PathResult(_PathFields):
    """A search's result: (path, cost, expansions, visited), unpacking like the
    four-tuple of the other searches, and how the search ended in `status`:
    "found", "no_path" (the goal cannot be reached, or start or goal is
    blocked), "max_cost" or "max_expansions" (a limit stopped it first).

    path: int32 (N, ndim) from start to goal, empty without a path; cost: the
    sum of the path's step costs, inf without a path; expansions: cells
    expanded; visited: the bool map of expanded cells when asked, else None.
    """

    status: str

    def __new__(cls, path: Any, cost: float, expansions: int, visited: Any, status: str = "found") -> PathResult:
        self = super().__new__(cls, path, cost, expansions, visited)
        self.status = status
        return self

    def __getnewargs__(self) -> tuple[Any, ...]:
        return (*self, self.status)

    @property
    def found(self) -> bool:
        return self.status == "found"

    def __repr__(self) -> str:
        visited = "None" if self.visited is None else "<bool map>"
        return (f"PathResult(path=<{len(self.path)} cells>, cost={self.cost!r}, expansions={self.expansions}, "
                f"visited={visited}, status={self.status!r})")


class Grid:
    """A grid of per-cell costs with a move set, converted and checked once.

    cells: a 2D or 3D array. bool: True = walkable, every walkable cell costs
    1. Real numbers (read as float64): a finite value >= 0 is a walkable cell
    with that cost, +inf a blocked cell; NaN or a negative value is refused.

    connectivity: 4 or 8 in 2D (default 8), 6, 18 or 26 in 3D (default 26).
    corner_cutting: False admits a move that changes two or more axes only when
    every cell it passes beside is walkable.
    cost_model: "enter" (a move of length L into cell b costs L x cost[b]) or
    "mean" (L x (cost[a] + cost[b]) / 2). L is 1, sqrt 2 or sqrt 3 by the number
    of axes the move changes, or 1 for every move with use_uniform_step_cost.
    """

    def __init__(self, cells: npt.ArrayLike, *, connectivity: int | None = None, corner_cutting: bool = True,
                 cost_model: str = "enter", use_uniform_step_cost: bool = False) -> None:
        if isinstance(cells, np.ma.MaskedArray):
            raise ValueError("cells must not be a masked array: fill it first, e.g. cells.filled(np.inf)")
        array = np.asarray(cells)
        if array.dtype.kind not in "biuf":
            raise TypeError(f"cells must be a bool or real-valued array, got dtype {array.dtype}")
        if array.ndim not in (2, 3):
            raise ValueError(f"cells must be a 2D or 3D array, got {array.ndim} dimension(s)")
        if array.size == 0:
            raise ValueError(f"cells must not be empty, got shape {array.shape}")
        if cost_model not in COST_MODELS:
            raise ValueError(f"cost_model must be one of {', '.join(map(repr, COST_MODELS))}, got {cost_model!r}")
        if connectivity is None:
            connectivity = 8 if array.ndim == 2 else 26
        elif isinstance(connectivity, bool) or not isinstance(connectivity, (int, np.integer)):
            raise TypeError(f"connectivity must be an integer, got {type(connectivity).__name__}")
        allowed = (4, 8) if array.ndim == 2 else (6, 18, 26)
        if connectivity not in allowed:
            raise ValueError(f"connectivity must be {' or '.join(map(str, allowed))} for a {array.ndim}D grid, "
                             f"got {connectivity}")
        native = _planner.Grid2D if array.ndim == 2 else _planner.Grid3D
        self._native = native(array, int(connectivity), bool(corner_cutting), cost_model,
                              bool(use_uniform_step_cost))
        self._shape: tuple[int, ...] = tuple(self._native.shape)
        self._connectivity = int(connectivity)
        self._corner_cutting = bool(corner_cutting)
        self._cost_model = cost_model
        self._uniform = bool(use_uniform_step_cost)

    @property
    def shape(self) -> tuple[int, ...]:
        return self._shape

    @property
    def ndim(self) -> int:
        return len(self._shape)

    @property
    def connectivity(self) -> int:
        return self._connectivity

    @property
    def corner_cutting(self) -> bool:
        return self._corner_cutting

    @property
    def cost_model(self) -> str:
        return self._cost_model

    @property
    def use_uniform_step_cost(self) -> bool:
        return self._uniform

    @property
    def min_cost(self) -> float:
        """The smallest cost of a walkable cell (inf when none is walkable)."""
        return float(self._native.min_cost)

    def __repr__(self) -> str:
        return (f"Grid(shape={self.shape}, connectivity={self.connectivity}, corner_cutting={self.corner_cutting}, "
                f"cost_model={self.cost_model!r}, use_uniform_step_cost={self.use_uniform_step_cost})")

    def astar(self, start: Any, goal: Any, *, w: float = 1.0, heuristic: npt.ArrayLike | None = None,
              max_cost: float = math.inf, max_expansions: int | None = None, visited: bool = False) -> PathResult:
        """A* from start to goal; the cheapest path with w = 1 (and no
        heuristic, or an admissible one), weighted A* (f = g + w h) with w > 1.

        goal: one cell, or an (K, ndim) integer array of cells: the path then
        ends at the cheapest of them (the built-in estimate is the least over
        the goals, or the distance to the box around them for more than 8).
        Blocked goals are ignored.

        heuristic: a float array of the grid's shape giving h per cell instead
        of the built-in estimate (the move distance times the smallest cell
        cost). max_cost: cells that cost more to reach are not searched.
        max_expansions: stop after that many expansions. A limit that stops the
        search gives status "max_cost" / "max_expansions" and no path.
        visited: also return the bool map of expanded cells.
        """
        s = self._cell(start, "start")
        if np.ndim(goal) == 2:
            goals = self._cells(goal, "goal", mask=False)
            if len(goals) == 0:
                raise ValueError("goal must hold at least one cell, got an empty array")
            args = self._options(w, heuristic, max_cost, max_expansions)
            return PathResult(*self._native.astar_goals(s, goals, *args, bool(visited)))
        t = self._cell(goal, "goal")
        args = self._options(w, heuristic, max_cost, max_expansions)
        return PathResult(*self._native.astar(s, t, *args, bool(visited)))

    def astar_batch(self, queries: npt.ArrayLike, *, w: float = 1.0, heuristic: npt.ArrayLike | None = None,
                    max_cost: float = math.inf, max_expansions: int | None = None, threads: int | None = None,
                    visited: bool = False) -> list[PathResult]:
        """`astar` for every row of an (N, 2 x ndim) integer array (start, then
        goal coordinates), on native threads without the interpreter lock; each
        result equals the single call's."""
        args = self._options(w, heuristic, max_cost, max_expansions)
        rows = self._native.astar_batch(queries, *args, threads, bool(visited))
        return [PathResult(*r) for r in rows]

    def focal(self, start: Any, goal: Any, w: float, *, key: npt.ArrayLike | None = None,
              max_expansions: int | None = None, visited: bool = False) -> PathResult:
        """Focal search: among the open cells whose f = g + h is at most
        w x the least f, expands the one with the smallest key, then the
        smaller f, then the smaller g; the path costs at most w x the optimum.

        w: the bound, >= 1 and finite (w = 1: an optimal path). key: a float
        array of the grid's shape (NaN refused, inf allowed), the focal key per
        cell, lower preferred (e.g. how many other agents' paths use a cell);
        None: h, the built-in estimate. max_expansions, visited: as in `astar`.
        h is the built-in estimate (the move distance times the smallest cell
        cost). Closed cells are never reopened.
        """
        s = self._cell(start, "start")
        t = self._cell(goal, "goal")
        w, key = self._focal_options(w, key)
        return PathResult(*self._native.focal(s, t, w, key, self._limit(max_expansions), bool(visited), False))

    def focal_batch(self, queries: npt.ArrayLike, w: float, *, key: npt.ArrayLike | None = None,
                    max_expansions: int | None = None, threads: int | None = None,
                    visited: bool = False) -> list[PathResult]:
        """`focal` for every row of an (N, 2 x ndim) integer array (start, then
        goal coordinates), on native threads without the interpreter lock; each
        result equals the single call's."""
        w, key = self._focal_options(w, key)
        rows = self._native.focal_batch(queries, w, key, self._limit(max_expansions), threads, bool(visited))
        return [PathResult(*r) for r in rows]

    def _focal_order(self, start: Any, goal: Any, w: float, key: npt.ArrayLike | None = None
                     ) -> tuple[PathResult, npt.NDArray[np.int32]]:
        """`focal` and the linear indices of the expanded cells in order (for inspection)."""
        w, key = self._focal_options(w, key)
        result, order = self._native.focal(self._cell(start, "start"), self._cell(goal, "goal"), w, key, -1,
                                           False, True)
        return PathResult(*result), order

    def _focal_options(self, w: Any, key: Any) -> tuple[float, Any]:
        if isinstance(w, (bool, np.bool_)) or not isinstance(w, (int, float, np.integer, np.floating)):
            raise TypeError(f"w must be a real number, got {type(w).__name__}")
        w = float(w)
        if not 1.0 <= w < math.inf:
            raise ValueError(f"w must be >= 1 and finite, got {w}")
        return w, None if key is None else self._map(key, "key")

    def distance_field(self, origins: npt.ArrayLike, *, reverse: bool = False,
                       max_cost: float = math.inf) -> npt.NDArray[np.float64]:
        """The cost of the cheapest path from the nearest origin to every cell
        (reverse=True: from every cell to its nearest origin, which is what
        `descend`, `next_steps` and a heuristic need; the two differ only with
        cost_model="enter"), as a float64 array of the grid's shape: 0 at the
        origins, inf where no origin is reachable within max_cost.

        origins: one cell, an (K, ndim) integer array of cells, or a bool mask
        of the grid's shape. Origins on blocked cells are ignored; with none
        left every value is inf. Runs without the interpreter lock.
        """
        cells = self._cells(origins, "origins", mask=True)
        return self._native.distance_field(cells, bool(reverse), self._max_cost(max_cost))

    def distance_field_batch(self, origin_sets: Any, *, reverse: bool = False, max_cost: float = math.inf,
                             threads: int | None = None) -> npt.NDArray[np.float64]:
        """`distance_field` for every item of a sequence of origin sets (each as
        `origins` there), on native threads without the interpreter lock: a
        float64 array of shape (N, *grid.shape), field k for origin set k."""
        if isinstance(origin_sets, (str, bytes)) or not hasattr(origin_sets, "__iter__"):
            raise TypeError(f"origin_sets must be a sequence of origin sets, got {type(origin_sets).__name__}")
        sets = [self._cells(o, f"origin_sets[{k}]", mask=True) for k, o in enumerate(origin_sets)]
        return self._native.distance_field_batch(sets, bool(reverse), self._max_cost(max_cost), threads)

    def descend(self, field: npt.ArrayLike, start: Any) -> npt.NDArray[np.int32]:
        """The path from start down a field from `distance_field(...,
        reverse=True)`: at every step the move minimising step cost + the field
        value of the cell it enters (ties to the first move in move order),
        until a cell of value 0 (an origin, or a cell from which an origin
        costs nothing more). An int32 (N, ndim) array; its cost equals
        field[start] up to rounding. ValueError when field[start] is not
        finite, or the field does not lead down to 0 from start."""
        values = self._field(field)
        return self._native.descend(values, self._cell(start, "start"))

    def next_steps(self, field: npt.ArrayLike, cells: npt.ArrayLike) -> npt.NDArray[np.int32]:
        """The next cell of `descend` from each of many cells at once (the
        per-frame call of a flow field): an (M, ndim) integer array in, an
        int32 (M, ndim) array out (one cell in, one out). A cell at value 0,
        blocked, or with no move to a finite value stays where it is."""
        values = self._field(field)
        one = np.ndim(cells) == 1
        out = self._native.next_steps(values, self._cells(cells, "cells", mask=False))
        return out[0] if one else out

    def _max_cost(self, max_cost: Any) -> float:
        value = float(max_cost)
        if math.isnan(value):
            raise ValueError("max_cost must not be NaN")
        return value

    def _field(self, field: Any) -> npt.NDArray[np.float64]:
        if isinstance(field, np.ma.MaskedArray):
            raise ValueError("field must not be a masked array")
        array = np.asarray(field)
        if array.dtype.kind not in "biuf":
            raise TypeError(f"field must be a real-valued array, got dtype {array.dtype}")
        if array.shape != self._shape:
            raise ValueError(f"field must have the grid's shape {self._shape}, got {array.shape}")
        return np.ascontiguousarray(array, dtype=np.float64)

    def _cells(self, value: Any, name: str, *, mask: bool) -> npt.NDArray[np.int64]:
        """One cell or an (K, ndim) integer array of cells, checked; with
        `mask`, also a bool array of the grid's shape (its True cells)."""
        if isinstance(value, np.ma.MaskedArray):
            raise ValueError(f"{name} must not be a masked array")
        array = np.asarray(value)
        ndim = self.ndim
        if array.dtype.kind == "b":
            if not mask:
                raise TypeError(f"{name} must hold integers, got dtype bool")
            if array.shape != self._shape:
                raise ValueError(f"{name}: a bool mask must have the grid's shape {self._shape}, got {array.shape}")
            return np.argwhere(array).astype(np.int64)
        if array.size == 0 and array.ndim <= 2 and array.shape[-1:] in ((0,), (ndim,)):
            return np.empty((0, ndim), dtype=np.int64)
        if array.dtype.kind not in "iu":
            raise TypeError(f"{name} must hold integers, got dtype {array.dtype}")
        if array.ndim == 1:
            array = array.reshape(1, -1)
        if array.ndim != 2 or array.shape[1] != ndim:
            raise ValueError(f"{name} must be one cell of {ndim} integers or an (K, {ndim}) array of cells, "
                             f"got shape {np.shape(value)}")
        outside = ((array < 0) | (array >= np.array(self._shape, dtype=np.uint64 if array.dtype.kind == "u"
                                                    else np.int64))).any(axis=1)
        if outside.any():
            k = int(np.argmax(outside))
            row = tuple(int(v) for v in array[k])
            raise ValueError(f"{name} row {k} {row} lies outside the grid of shape {self._shape}")
        return np.ascontiguousarray(array, dtype=np.int64)

    def _cell(self, value: Any, name: str) -> list[int]:
        shape = self._shape
        if type(value) is tuple and len(value) == len(shape):  # the common case, checked quickly
            out = list(value)
            if all(type(v) is int and 0 <= v < n for v, n in zip(out, shape)):
                return out
        if isinstance(value, (str, bytes)) or not hasattr(value, "__len__") and not hasattr(value, "__iter__"):
            raise TypeError(f"{name} must be a sequence of {self.ndim} integers, got {type(value).__name__}")
        items = list(np.asarray(value).ravel()) if isinstance(value, np.ndarray) else list(value)
        if len(items) != self.ndim:
            raise ValueError(f"{name} must have {self.ndim} coordinates, got {len(items)}")
        out = []
        for v in items:
            if isinstance(v, (bool, np.bool_)):
                raise TypeError(f"{name} must hold integers, got {v!r}")
            try:
                out.append(operator.index(v))
            except TypeError:
                raise TypeError(f"{name} must hold integers, got {v!r}") from None
        if any(not 0 <= v < n for v, n in zip(out, shape)):
            raise ValueError(f"{name} {tuple(out)} lies outside the grid of shape {shape}")
        return out

    def _options(self, w: Any, heuristic: Any, max_cost: Any, max_expansions: Any) -> tuple[float, Any, float, int]:
        w = float(w)
        if not w >= 1.0:
            raise ValueError(f"w must be >= 1, got {w}")
        max_cost = float(max_cost)
        if math.isnan(max_cost):
            raise ValueError("max_cost must not be NaN")
        if heuristic is not None:
            heuristic = self._map(heuristic, "heuristic")
        return w, heuristic, max_cost, self._limit(max_expansions)

    @staticmethod
    def _limit(max_expansions: Any) -> int:
        if max_expansions is None:
            return -1
        if isinstance(max_expansions, bool):
            raise TypeError("max_expansions must be an integer or None, got bool")
        limit = operator.index(max_expansions)
        if limit < 0:
            raise ValueError(f"max_expansions must be >= 0, got {limit}")
        return min(limit, 2**62)

    def _map(self, values: Any, name: str) -> npt.NDArray[np.float64]:
        """A per-cell float map of the grid's shape without NaN."""
        if isinstance(values, np.ma.MaskedArray):
            raise ValueError(f"{name} must not be a masked array")
        array = np.asarray(values)
        if array.dtype.kind not in "biuf":
            raise TypeError(f"{name} must be a real-valued array, got dtype {array.dtype}")
        array = array.astype(np.float64, copy=False)
        if array.shape != self.shape:
            raise ValueError(f"{name} must have the grid's shape {self.shape}, got {array.shape}")
        if np.isnan(array).any():
            raise ValueError(f"{name} holds NaN at {tuple(int(i) for i in np.argwhere(np.isnan(array))[0])}")
        return array
