"""What a single agent's search in space and time must avoid."""

from __future__ import annotations

from typing import Any

import numpy as np

from . import _args, _planner


class ReservationTable:
    """Cells and moves that a search in space and time must avoid, for the
    grid of `shape` (a 2D `Grid` or its shape).

    Times are whole time steps. `forbid_cell(cell, t)`: no agent in `cell`
    at time t. `forbid_move(from_cell, to_cell, t)`: no move from `from_cell`
    at time t to its 4-neighbour `to_cell` at t + 1. `reserve_from(cell, t)`:
    `cell` is taken from time t on, for ever. `reserve_path(path, start_time)`
    reserves another agent's plan (path[k] at start_time + k): each of its
    cells at its time, the opposite of each of its moves (so that no agent
    swaps places with it), and its last cell from its arrival on.

    A table may be shared by many searches, also on several threads at once;
    changing it while a search reads it raises RuntimeError.
    """

    def __init__(self, shape: Any) -> None:
        dims = getattr(shape, "shape", shape)
        try:
            dims = tuple(int(n) for n in dims)
        except TypeError:
            raise TypeError(f"shape must be a 2D Grid or a shape (rows, cols), got {type(shape).__name__}") from None
        if len(dims) != 2 or min(dims) < 0:
            raise ValueError(f"a reservation table is for a 2D grid, got shape {dims}")
        if dims[0] * dims[1] > _args.CELL_LIMIT:
            raise ValueError(f"a grid of shape {dims} has more than {_args.CELL_LIMIT} cells")
        self._shape = dims
        self._native = _planner.Reservations(*dims)

    @property
    def shape(self) -> tuple[int, int]:
        return self._shape  # type: ignore[return-value]

    def __len__(self) -> int:
        """The number of constraints held (each distinct one once)."""
        return len(self._native)

    def __repr__(self) -> str:
        return f"ReservationTable(shape={self._shape}, constraints={len(self)})"

    def _index(self, cell: Any, name: str) -> int:
        r, c = _args.cell(cell, name, self._shape)
        return r * self._shape[1] + c

    def forbid_cell(self, cell: Any, t: int) -> None:
        self._native.forbid_cell(self._index(cell, "cell"), _args.time_step(t, "t"))

    def forbid_move(self, from_cell: Any, to_cell: Any, t: int) -> None:
        a, b = self._index(from_cell, "from_cell"), self._index(to_cell, "to_cell")
        if abs(a // self._shape[1] - b // self._shape[1]) + abs(a % self._shape[1] - b % self._shape[1]) != 1:
            raise ValueError(f"from_cell {tuple(from_cell)} and to_cell {tuple(to_cell)} are not 4-neighbours")
        self._native.forbid_move(a, b, _args.time_step(t, "t"))

    def reserve_from(self, cell: Any, t: int) -> None:
        self._native.reserve_from(self._index(cell, "cell"), _args.time_step(t, "t"))

    def reserve_path(self, path: Any, start_time: int = 0) -> None:
        cells = _args.cells(path, "path", self._shape) if len(path) else np.zeros((0, 2), np.int64)
        start_time = _args.time_step(start_time, "start_time")
        steps = np.abs(np.diff(cells, axis=0)).sum(axis=1)
        if np.any(steps > 1):
            k = int(np.argmax(steps > 1))
            raise ValueError(f"path step {k} from {tuple(cells[k])} to {tuple(cells[k + 1])} is no move to a "
                             "4-neighbour or wait")
        if start_time + len(cells) >= _args.CELL_LIMIT:
            raise ValueError("path runs past the last time step")
        self._native.reserve_path(np.ascontiguousarray(cells[:, 0] * self._shape[1] + cells[:, 1]), start_time)

    def clear(self) -> None:
        self._native.clear()
