"""The planner: `Grid` holds one converted grid of per-cell costs and answers
many queries with the chosen moves and step cost model."""

from __future__ import annotations

import math
from typing import Any, NamedTuple

import numpy as np
import numpy.typing as npt

from . import _args, _planner
from ._reservations import ReservationTable

COST_MODELS = ("enter", "mean")
ALGORITHMS = ("auto", "astar", "jps")
TIMED_ALGORITHMS = ("sipp", "astar")
_DEFAULT_ASTAR = (1.0, None, math.inf, -1, False, 0)
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

    def __new__(cls, path: Any, cost: float, expansions: int, visited: Any, status: str | None = None) -> PathResult:
        self = super().__new__(cls, path, cost, expansions, visited)
        if status is None:  # not given: what the path says
            status = "found" if len(path) else "no_path"
        elif status not in STATUSES:
            raise ValueError(f"status must be one of {', '.join(map(repr, STATUSES))}, got {status!r}")
        self.status = status
        return self

    def __getnewargs__(self) -> tuple[Any, ...]:
        return (*self, self.status)

    @classmethod
    def _make(cls, iterable: Any, status: str | None = None) -> PathResult:  # type: ignore[override]
        if status is None:
            status = getattr(iterable, "status", None)
        path, cost, expansions, visited = iterable
        return cls(path, cost, expansions, visited, status)

    def _replace(self, **changes: Any) -> PathResult:  # type: ignore[override]
        status = changes.pop("status", self.status)
        path, cost, expansions, visited = super()._replace(**changes)
        return PathResult(path, cost, expansions, visited, status)

    def __copy__(self) -> PathResult:
        return PathResult(self.path, self.cost, self.expansions, self.visited, self.status)

    @property
    def found(self) -> bool:
        return self.status == "found"

    def __repr__(self) -> str:
        visited = "None" if self.visited is None else "<bool map>"
        return (f"PathResult(path=<{len(self.path)} cells>, cost={self.cost!r}, expansions={self.expansions}, "
                f"visited={visited}, status={self.status!r})")


class WorldPath(NamedTuple):
    """A path in world coordinates: `points` (N, 2) float64 (x, y) of the
    cells' centres, `cost` (the grid path's cost times the resolution),
    `status`, and the grid `result` it came from."""

    points: npt.NDArray[np.float64]
    cost: float
    status: str
    result: PathResult


def _frame(resolution: Any, origin: Any, ndim: int) -> tuple[float, float, float] | None:
    """(resolution, x, y) of a world frame, or None."""
    if resolution is None and origin is None:
        return None
    if ndim != 2:
        raise ValueError(f"a world frame (resolution, origin) is for 2D grids, this one is {ndim}D")
    res = 1.0 if resolution is None else _args.real(resolution, "resolution")
    if not (res > 0 and math.isfinite(res)):
        raise ValueError(f"resolution must be > 0 and finite, got {res}")
    if origin is None:
        return res, 0.0, 0.0
    if isinstance(origin, (str, bytes)) or not hasattr(origin, "__len__") or len(origin) not in (2, 3):
        raise ValueError(f"origin must be (x, y) or (x, y, yaw), got {origin!r}")
    values = [_args.real(v, "origin") for v in origin]
    if not all(math.isfinite(v) for v in values):
        raise ValueError(f"origin must be finite, got {origin!r}")
    if len(values) == 3 and values[2] != 0.0:
        raise ValueError(f"origin's yaw must be 0 (a rotated map is not supported), got {values[2]}")
    return res, values[0], values[1]


class Grid:
    """A grid of per-cell costs with a move set, converted and checked once.

    cells: a 2D or 3D array. bool: True = walkable, every walkable cell costs
    1. Real numbers (read as float64): a finite value >= 0 is a walkable cell
    with that cost, +inf a blocked cell; NaN or a negative value is refused.
    Integer arrays are costs too: 0 is a walkable cell that costs nothing
    (for a 0/1 occupancy grid give `occupancy == 0`, or blocked=1).

    connectivity: 4 or 8 in 2D (default 8), 6, 18 or 26 in 3D (default 26).
    corner_cutting: False admits a move that changes two or more axes only when
    every cell it passes beside is walkable.
    cost_model: "enter" (a move of length L into cell b costs L x cost[b]) or
    "mean" (L x (cost[a] + cost[b]) / 2). L is 1, sqrt 2 or sqrt 3 by the number
    of axes the move changes, or 1 for every move with use_uniform_step_cost.
    blocked: a value that marks blocked cells of a real-valued array (e.g.
    254 for a lethal costmap cell, 1 for an occupied cell); every other cell
    costs its value.
    precompute_jumps: compute every cell's jumps once (JPS+), so that jump
    point search looks them up instead of scanning: 16 bytes a cell with 4
    neighbours, 32 with 8. For 2D grids whose walkable cells all cost the same.
    resolution, origin: a world frame for a 2D grid (a robot map): metres per
    cell, and the world (x, y) of cell (0, 0)'s outer corner (a yaw of 0 may
    follow), x along the columns and y along the rows, as in a ROS map from
    `io.read_ros_map`. Then `to_cell`, `to_world` and `astar_world` convert.
    """

    def __init__(self, cells: npt.ArrayLike, *, connectivity: int | None = None, corner_cutting: bool = True,
                 cost_model: str = "enter", use_uniform_step_cost: bool = False,
                 blocked: float | None = None, precompute_jumps: bool = False,
                 resolution: float | None = None, origin: Any = None) -> None:
        array = _args.grid_cells(cells)
        frame = _frame(resolution, origin, array.ndim)
        cost_model = COST_MODELS[_args.choice(cost_model, "cost_model", COST_MODELS)]
        if connectivity is None:
            connectivity = 8 if array.ndim == 2 else 26
        elif isinstance(connectivity, (bool, np.bool_)) or not isinstance(connectivity, (int, np.integer)):
            raise TypeError(f"connectivity must be an integer, got {type(connectivity).__name__}")
        allowed = (4, 8) if array.ndim == 2 else (6, 18, 26)
        if connectivity not in allowed:
            raise ValueError(f"connectivity must be {' or '.join(map(str, allowed))} for a {array.ndim}D grid, "
                             f"got {connectivity}")
        corner_cutting = _args.flag(corner_cutting, "corner_cutting")
        use_uniform_step_cost = _args.flag(use_uniform_step_cost, "use_uniform_step_cost")
        if blocked is not None:
            if math.isnan(_args.real(blocked, "blocked")):
                raise ValueError("blocked must not be NaN (a NaN cost is refused, not a blocked cell)")
            if array.dtype.kind == "b":
                raise TypeError("blocked applies to a real-valued array; a bool grid marks blocked cells False")
            # Compared in the array's own type: as floats, 2**53 + 1 would equal 2**53.
            array = np.where(array == blocked, np.inf, array.astype(np.float64, copy=False))
        native = _planner.Grid2D if array.ndim == 2 else _planner.Grid3D
        precompute_jumps = _args.flag(precompute_jumps, "precompute_jumps")
        self._native = native(array, int(connectivity), corner_cutting, cost_model, use_uniform_step_cost,
                              precompute_jumps)
        self._shape: tuple[int, ...] = tuple(self._native.shape)
        self._walkable: npt.NDArray[np.bool_] | None = None
        self._connectivity = int(connectivity)
        self._corner_cutting = corner_cutting
        self._cost_model = cost_model
        self._uniform = use_uniform_step_cost
        self._frame = frame

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
    def walkable(self) -> npt.NDArray[np.bool_]:
        """The bool map of walkable cells (a read-only array of the grid's shape)."""
        if self._walkable is None:
            self._walkable = self._native.walkable()
            self._walkable.flags.writeable = False
        return self._walkable

    @property
    def min_cost(self) -> float:
        """The smallest cost of a walkable cell (inf when none is walkable)."""
        return float(self._native.min_cost)

    @property
    def resolution(self) -> float | None:
        """Metres per cell, or None without a world frame."""
        return None if self._frame is None else self._frame[0]

    @property
    def origin(self) -> tuple[float, float] | None:
        """The world (x, y) of cell (0, 0)'s outer corner, or None."""
        return None if self._frame is None else (self._frame[1], self._frame[2])

    def _world(self) -> tuple[float, float, float]:
        if self._frame is None:
            raise ValueError("this Grid has no world frame: give resolution= (and origin=) when making it")
        return self._frame

    def to_cell(self, points: npt.ArrayLike) -> npt.NDArray[np.int64]:
        """The cells (row, column) holding world points (x, y): one (2,) point
        or an (N, 2) array. A point outside the map is a ValueError naming it."""
        res, ox, oy = self._world()
        p = np.asarray(points, dtype=np.float64)
        one = p.ndim == 1
        p = p.reshape(-1, 2) if p.size or not one else p.reshape(0, 2)
        if p.ndim != 2 or p.shape[1] != 2:
            raise ValueError(f"points must be (x, y) or an (N, 2) array, got shape {np.shape(points)}")
        cells = np.stack([np.floor((p[:, 1] - oy) / res), np.floor((p[:, 0] - ox) / res)], axis=1)
        inside = np.isfinite(cells).all(axis=1)
        inside &= (cells[:, 0] >= 0) & (cells[:, 0] < self._shape[0]) & (cells[:, 1] >= 0) & (cells[:, 1] < self._shape[1])
        if not inside.all():
            k = int(np.argmin(inside))
            x0, y0, x1, y1 = ox, oy, ox + self._shape[1] * res, oy + self._shape[0] * res
            raise ValueError(f"point {k} ({float(p[k, 0])}, {float(p[k, 1])}) lies outside the map "
                             f"[{x0}, {x1}) x [{y0}, {y1})")
        out = cells.astype(np.int64)
        return out[0] if one else out

    def to_world(self, cells: npt.ArrayLike) -> npt.NDArray[np.float64]:
        """The world (x, y) of cell centres: one (row, column) or an (N, 2) array."""
        res, ox, oy = self._world()
        one = np.ndim(cells) == 1
        c = _args.cells(cells, "cells", self._shape) if np.size(cells) else np.zeros((0, 2), np.int64)
        xy = np.stack([ox + (c[:, 1] + 0.5) * res, oy + (c[:, 0] + 0.5) * res], axis=1)
        return xy[0] if one else xy

    def astar_world(self, start: Any, goal: Any, **options: Any) -> WorldPath:
        """`astar` between world points (x, y): the cells holding them, the
        path's cell centres in metres, and its cost times the resolution
        (metres on a bool grid). `options` are `astar`'s; goal_tolerance is
        in metres here."""
        res = self._world()[0]
        s = tuple(int(v) for v in self.to_cell(start))
        t = tuple(int(v) for v in self.to_cell(goal))
        if options.get("goal_tolerance") is not None:
            options = {**options, "goal_tolerance": _args.real(options["goal_tolerance"], "goal_tolerance") / res}
        r = self.astar(s, t, **options)
        return WorldPath(self.to_world(r.path) if len(r.path) else np.zeros((0, 2)), r.cost * res, r.status, r)

    def __repr__(self) -> str:
        return (f"Grid(shape={self.shape}, connectivity={self.connectivity}, corner_cutting={self.corner_cutting}, "
                f"cost_model={self.cost_model!r}, use_uniform_step_cost={self.use_uniform_step_cost})")

    def astar(self, start: Any, goal: Any, *, w: float = 1.0, heuristic: npt.ArrayLike | None = None,
              max_cost: float = math.inf, max_expansions: int | None = None, visited: bool = False,
              algorithm: str = "auto", goal_tolerance: float | None = None) -> PathResult:
        """A* from start to goal; the cheapest path with w = 1 (and no
        heuristic, or an admissible one), weighted A* (f = g + w h) with w > 1.

        goal: one cell, or an (K, ndim) integer array of cells: the path then
        ends at the cheapest of them (the built-in estimate is the least over
        the goals, or the distance to the box around them for more than 8).
        Blocked goals are ignored.

        heuristic: a float array of the grid's shape giving h per cell instead
        of the built-in estimate (the move distance times the smallest cell
        cost); numbers or inf, NaN and -inf refused. max_cost: cells that cost
        more to reach are not searched. max_expansions: stop after that many
        expansions. A limit that stops the search gives status "max_cost" /
        "max_expansions" and no path. visited: also return the bool map of
        expanded cells.

        algorithm: "auto" answers by jump point search where it finds the
        same optimum (a 2D grid whose walkable cells all cost the same, one
        goal, w = 1, no heuristic map), else by A*; "astar" always A*; "jps"
        jump point search, a ValueError saying why where it does not apply.
        With jump point search, expansions counts the jump points expanded and
        visited marks them; the path is every cell, as with A*.

        goal_tolerance: a distance in cells (centre to centre). The path then
        ends at the reachable cell nearest the goal within it, the cheaper of
        equally near ones (nav2's meaning), rather than at the cheapest cell
        of a set of goals; expansions add up over the searches this takes.
        """
        s = _args.cell(start, "start", self._shape)
        if goal_tolerance is not None:
            return self._near_goal(s, goal, goal_tolerance, w, heuristic, max_cost, max_expansions, visited,
                                   algorithm)
        if _many(goal):
            goals = _args.cells(goal, "goal", self._shape)
            if len(goals) == 0:
                raise ValueError("goal must hold at least one cell, got an empty array")
            args = self._astar_options(w, heuristic, max_cost, max_expansions, visited, algorithm)
            return PathResult(*self._native.astar_goals(s, goals, *args))
        t = _args.cell(goal, "goal", self._shape)
        args = self._astar_options(w, heuristic, max_cost, max_expansions, visited, algorithm)
        return PathResult(*self._native.astar(s, t, *args))

    def _near_goal(self, s: list[int], goal: Any, tolerance: Any, *options: Any) -> PathResult:
        """astar to the reachable cell nearest `goal` within `tolerance`: the
        cells of each distance in turn, nearest first, as several goals."""
        tol = _args.real(tolerance, "goal_tolerance")
        if not (tol >= 0 and math.isfinite(tol)):
            raise ValueError(f"goal_tolerance must be >= 0 and finite, got {tol}")
        if _many(goal):
            raise ValueError("goal_tolerance takes one goal cell, not several")
        t = np.asarray(_args.cell(goal, "goal", self._shape))
        reach = int(math.floor(tol))
        axes = [np.arange(-reach, reach + 1)] * self.ndim
        offsets = np.stack(np.meshgrid(*axes, indexing="ij"), axis=-1).reshape(-1, self.ndim)
        squared = (offsets ** 2).sum(axis=1)
        cells = t + offsets
        keep = (squared <= tol * tol) & np.all((cells >= 0) & (cells < np.asarray(self._shape)), axis=1)
        cells, squared = cells[keep], squared[keep]
        walkable = self.walkable[tuple(cells.T)]
        cells, squared = cells[walkable], squared[walkable]
        args = self._astar_options(*options)
        expansions = 0
        for d in np.unique(squared):
            ring = np.ascontiguousarray(cells[squared == d], dtype=np.int64)
            r = PathResult(*self._native.astar_goals(s, ring, *args))
            expansions += r.expansions
            if r.status != "no_path":  # found, or a limit stopped it
                return r._replace(expansions=expansions)
        return PathResult(np.zeros((0, self.ndim), np.int32), math.inf, expansions,
                          np.zeros(self._shape, bool) if args[4] else None, "no_path")

    def astar_batch(self, queries: npt.ArrayLike, *, w: float = 1.0, heuristic: npt.ArrayLike | None = None,
                    max_cost: float = math.inf, max_expansions: int | None = None, threads: int | None = None,
                    visited: bool = False, algorithm: str = "auto") -> list[PathResult]:
        """`astar` for every row of an (N, 2 x ndim) integer array (start, then
        goal coordinates), on native threads without the interpreter lock; each
        result equals the single call's."""
        args = self._astar_options(w, heuristic, max_cost, max_expansions, visited, algorithm)
        rows = self._native.astar_batch(queries, *args[:4], threads, *args[4:])
        return [PathResult(*r) for r in rows]

    def space_time_astar(self, start: Any, goal: Any, *, constraints: ReservationTable | None = None,
                         start_time: int = 0, max_time: int | None = None, algorithm: str = "sipp",
                         max_expansions: int | None = None) -> PathResult:
        """The earliest plan in space and time from start to goal around a
        reservation table: at each time step the agent moves to a walkable
        4-neighbour or waits; it may not be where `constraints` forbids, and
        it is at the goal from a time on which it can stay there for ever.
        For a 2D grid with connectivity=4 whose walkable cells all cost the
        same (time steps are the costs).

        path[k] is the cell at time start_time + k, the last one the goal;
        cost is len(path) - 1, the time the agent takes. max_time: the latest
        time step of the arrival; a search it stops says "max_cost".
        algorithm: "sipp" (safe interval path planning: one state per cell
        and safe interval) or "astar" (A* over (time, cell)); both give the
        same earliest arrival. expansions counts the states expanded.
        """
        if self.ndim != 2:
            raise ValueError(f"space_time_astar plans on 2D grids, this one is {self.ndim}D")
        s = _args.cell(start, "start", self._shape)
        t = _args.cell(goal, "goal", self._shape)
        if constraints is not None:
            if not isinstance(constraints, ReservationTable):
                raise TypeError(f"constraints must be a ReservationTable or None, got {type(constraints).__name__}")
            if constraints.shape != self._shape:
                raise ValueError(f"constraints are for a grid of shape {constraints.shape}, this one has {self._shape}")
        start_time = _args.time_step(start_time, "start_time")
        last = -1 if max_time is None else _args.time_step(max_time, "max_time")
        algorithm_index = _args.choice(algorithm, "algorithm", TIMED_ALGORITHMS)
        limit = _args.count(max_expansions, "max_expansions")
        table = None if constraints is None else constraints._native
        assert isinstance(self._native, _planner.Grid2D)
        return PathResult(*self._native.space_time(s, t, table, start_time, last, algorithm_index, limit))

    def focal(self, start: Any, goal: Any, w: float, *, key: npt.ArrayLike | None = None,
              max_expansions: int | None = None, visited: bool = False) -> PathResult:
        """Focal search: among the open cells whose f = g + h is at most
        w x the least f, expands the one with the smallest key, then the
        smaller f, then the smaller g; the path costs at most w x the optimum.

        w: the bound, >= 1 and finite (w = 1: an optimal path). key: a float
        array of the grid's shape (NaN and -inf refused, inf allowed), the
        focal key per cell, lower preferred (e.g. how many other agents' paths
        use a cell); None: h, the built-in estimate. max_expansions, visited:
        as in `astar`. h is the built-in estimate (the move distance times the
        smallest cell cost). Closed cells are never reopened.
        """
        s = _args.cell(start, "start", self._shape)
        t = _args.cell(goal, "goal", self._shape)
        return PathResult(*self._native.focal(s, t, *self._focal_options(w, key, max_expansions, visited), False))

    def focal_batch(self, queries: npt.ArrayLike, w: float, *, key: npt.ArrayLike | None = None,
                    max_expansions: int | None = None, threads: int | None = None,
                    visited: bool = False) -> list[PathResult]:
        """`focal` for every row of an (N, 2 x ndim) integer array (start, then
        goal coordinates), on native threads without the interpreter lock; each
        result equals the single call's."""
        w, key, limit, visited = self._focal_options(w, key, max_expansions, visited)
        rows = self._native.focal_batch(queries, w, key, limit, threads, visited)
        return [PathResult(*r) for r in rows]

    def _focal_order(self, start: Any, goal: Any, w: float, key: npt.ArrayLike | None = None
                     ) -> tuple[PathResult, npt.NDArray[np.int32]]:
        """`focal` and the linear indices of the expanded cells in order (for inspection)."""
        s = _args.cell(start, "start", self._shape)
        t = _args.cell(goal, "goal", self._shape)
        result, order = self._native.focal(s, t, *self._focal_options(w, key, None, False), True)
        return PathResult(*result), order

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
        cells = _args.cells(origins, "origins", self._shape, mask=True)
        return self._native.distance_field(cells, _args.flag(reverse, "reverse"), self._max_cost(max_cost))

    def distance_field_batch(self, origin_sets: Any, *, reverse: bool = False, max_cost: float = math.inf,
                             threads: int | None = None) -> npt.NDArray[np.float64]:
        """`distance_field` for every item of a sequence of origin sets (each as
        `origins` there), on native threads without the interpreter lock: a
        float64 array of shape (N, *grid.shape), field k for origin set k."""
        if isinstance(origin_sets, (str, bytes, dict, set, frozenset)) or not hasattr(origin_sets, "__iter__"):
            raise TypeError(f"origin_sets must be a sequence of origin sets, got {type(origin_sets).__name__}")
        reverse = _args.flag(reverse, "reverse")
        max_cost = self._max_cost(max_cost)
        sets = [_args.cells(o, f"origin_sets[{k}]", self._shape, mask=True) for k, o in enumerate(origin_sets)]
        return self._native.distance_field_batch(sets, reverse, max_cost, threads)

    def descend(self, field: npt.ArrayLike, start: Any) -> npt.NDArray[np.int32]:
        """The path from start down a field from `distance_field(...,
        reverse=True)`: at every step the move minimising step cost + the field
        value of the cell it enters (a lower cell first, then the first move
        in move order), until a cell of value 0 (an origin, or a cell from
        which an origin costs nothing more). Across cells of equal value
        (zero-cost cells) each step leads one move nearer to where the field
        falls again, so a correct field always leads to an origin. An int32
        (N, ndim) array; its cost equals field[start] up to rounding.
        ValueError when field[start] is not finite and >= 0, start is
        blocked, or the field does not lead down to 0 from start."""
        values = self._field(field)
        return self._native.descend(values, _args.cell(start, "start", self._shape))

    def next_steps(self, field: npt.ArrayLike, cells: npt.ArrayLike) -> npt.NDArray[np.int32]:
        """The next cell of `descend` from each of many cells at once (the
        per-frame call of a flow field): an (M, ndim) integer array in, an
        int32 (M, ndim) array out (one cell in, one out). A cell at value 0,
        blocked, or from which the field does not lead lower (no move to a
        lower value, nor a level way to one) stays where it is."""
        values = self._field(field)
        at = _args.cells(cells, "cells", self._shape)
        out = self._native.next_steps(values, at)
        return out if _many(cells) else out[0]

    def _max_cost(self, max_cost: Any) -> float:
        value = _args.real(max_cost, "max_cost")
        if math.isnan(value):
            raise ValueError("max_cost must not be NaN")
        return value

    def _field(self, field: Any) -> npt.NDArray[np.float64]:
        return np.ascontiguousarray(_args.cell_map(field, "field", self._shape), dtype=np.float64)

    def _map(self, values: Any, name: str) -> np.ndarray | None:
        return None if values is None else _args.cell_map(values, name, self._shape)

    def _astar_options(self, w: Any, heuristic: Any, max_cost: Any, max_expansions: Any,
                       visited: Any, algorithm: Any) -> tuple[float, Any, float, int, bool, int]:
        if (heuristic is None and max_expansions is None and visited is False and type(w) is float and w == 1.0
                and type(max_cost) is float and max_cost == math.inf and type(algorithm) is str
                and algorithm == "auto"):
            return _DEFAULT_ASTAR  # the defaults, which need no checks
        w = _args.real(w, "w")
        if not w >= 1.0:
            raise ValueError(f"w must be >= 1, got {w}")
        return (w, self._map(heuristic, "heuristic"), self._max_cost(max_cost),
                _args.count(max_expansions, "max_expansions"), _args.flag(visited, "visited"),
                _args.choice(algorithm, "algorithm", ALGORITHMS))

    def _focal_options(self, w: Any, key: Any, max_expansions: Any, visited: Any) -> tuple[float, Any, int, bool]:
        w = _args.real(w, "w")
        if not 1.0 <= w < math.inf:
            raise ValueError(f"w must be >= 1 and finite, got {w}")
        return (w, self._map(key, "key"), _args.count(max_expansions, "max_expansions"),
                _args.flag(visited, "visited"))


def _many(value: Any) -> bool:
    """An array of cells (2D, or a list of sequences, or empty), as opposed to one cell."""
    if isinstance(value, np.ndarray):
        return value.ndim == 2
    if isinstance(value, (list, tuple)):
        first = value[0] if value else None
        return not value or hasattr(first, "__len__") and not isinstance(first, (str, bytes))
    return False

