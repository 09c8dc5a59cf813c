"""The planner's argument rules, one parser per kind of argument: a real
number, a bool, a count, a cell, an array of cells, a per-cell map. Every
method of `Grid` reads its arguments through these, so that the same value
is accepted or refused, with the same message naming the argument, wherever
it is given."""

from __future__ import annotations

import decimal
import math
import numbers
import operator
from typing import Any

import numpy as np
import numpy.typing as npt

CELL_LIMIT = 2**31 - 1


def _what(value: Any) -> str:
    """The type and, when short, the value given, for a message."""
    text = repr(value)
    return type(value).__name__ if len(text) > 40 else f"{type(value).__name__} {text}"


def _refuse_masked(value: Any, name: str) -> None:
    if isinstance(value, np.ma.MaskedArray):
        raise ValueError(f"{name} must not be a masked array: fill it first (its mask would be ignored)")


def real(value: Any, name: str) -> float:
    """A real number (not a bool, a string or an array) as a float."""
    if isinstance(value, (bool, np.bool_)) or not isinstance(value, (numbers.Real, decimal.Decimal)):
        raise TypeError(f"{name} must be a real number, got {_what(value)}")
    try:
        return float(value)
    except OverflowError:
        raise ValueError(f"{name} is too large for a float64, got {_what(value)}") from None


def flag(value: Any, name: str) -> bool:
    """True or False (also NumPy's bool), nothing else."""
    if isinstance(value, (bool, np.bool_)):
        return bool(value)
    raise TypeError(f"{name} must be True or False, got {_what(value)}")


def choice(value: Any, name: str, options: tuple[str, ...]) -> int:
    """One of the strings `options`, as its index."""
    if not isinstance(value, str):
        raise TypeError(f"{name} must be one of {', '.join(map(repr, options))}, got {_what(value)}")
    if value not in options:
        raise ValueError(f"{name} must be one of {', '.join(map(repr, options))}, got {value!r}")
    return options.index(value)


def count(value: Any, name: str) -> int:
    """None (no limit: -1) or an integer >= 0, capped at 2**62."""
    if value is None:
        return -1
    if isinstance(value, (bool, np.bool_)):
        raise TypeError(f"{name} must be an integer or None, got {_what(value)}")
    try:
        n = operator.index(value)
    except TypeError:
        raise TypeError(f"{name} must be an integer or None, got {_what(value)}") from None
    if n < 0:
        raise ValueError(f"{name} must be >= 0, got {n}")
    return min(n, 2**62)


def integer(value: Any, name: str, low: int, high: int) -> int:
    """An integer (not a bool) from low to high."""
    if isinstance(value, (bool, np.bool_)):
        raise TypeError(f"{name} must be an integer, got {_what(value)}")
    try:
        n = operator.index(value)
    except TypeError:
        raise TypeError(f"{name} must be an integer, got {_what(value)}") from None
    if not low <= n <= high:
        raise ValueError(f"{name} must be >= {low} and <= {high}, got {n}")
    return n


def time_step(value: Any, name: str) -> int:
    """A time step: an integer from 0 to 2**31 - 2."""
    return integer(value, name, 0, CELL_LIMIT - 1)


def _sequence(value: Any, name: str, what: str) -> None:
    """Refuses what is no ordered sequence of coordinates (a string, a dict, a set, a scalar)."""
    if isinstance(value, (str, bytes, dict, set, frozenset)) or not hasattr(value, "__len__"):
        raise TypeError(f"{name} must be {what}, got {_what(value)}")


def cell(value: Any, name: str, shape: tuple[int, ...]) -> list[int]:
    """One cell: a tuple, list or 1D integer array of len(shape) coordinates
    inside the grid."""
    ndim = len(shape)
    if type(value) is tuple and len(value) == ndim:  # the common case, checked quickly
        if ndim == 2:
            x, y = value
            if type(x) is int and type(y) is int and 0 <= x < shape[0] and 0 <= y < shape[1]:
                return [x, y]
        else:
            out = list(value)
            if all(type(v) is int and 0 <= v < n for v, n in zip(out, shape)):
                return out
    _refuse_masked(value, name)
    what = f"a cell of {ndim} integers"
    _sequence(value, name, what)
    if isinstance(value, np.ndarray):
        if value.dtype.kind not in "iu":
            raise TypeError(f"{name} must hold integers, got dtype {value.dtype}")
        if value.ndim != 1:
            raise ValueError(f"{name} must be {what}, got an array of shape {value.shape}")
    items = list(value)
    if len(items) != ndim:
        raise ValueError(f"{name} must have {ndim} coordinates, got {len(items)}")
    out = []
    for v in items:
        if isinstance(v, (bool, np.bool_)):
            raise TypeError(f"{name} must hold integers, got {v!r}")
        try:
            out.append(operator.index(v))
        except TypeError:
            raise TypeError(f"{name} must hold integers, got {_what(v)}") from None
    if any(not 0 <= v < n for v, n in zip(out, shape)):
        raise ValueError(f"{name} {tuple(out)} lies outside the grid of shape {shape}")
    return out


def cells(value: Any, name: str, shape: tuple[int, ...], *, mask: bool = False) -> npt.NDArray[np.int64]:
    """One cell or an (K, ndim) integer array of cells inside the grid, as
    int64 (K, ndim); with `mask`, also a bool array of the grid's shape (its
    True cells)."""
    ndim = len(shape)
    _refuse_masked(value, name)
    what = f"one cell of {ndim} integers or an (K, {ndim}) array of cells"
    _sequence(value, name, what)
    array = np.asarray(value) if isinstance(value, np.ndarray) else _listed(value, name, shape)
    if array.dtype.kind == "b":
        if not mask:
            raise TypeError(f"{name} must hold integers, got dtype bool")
        if array.shape != shape:
            raise ValueError(f"{name}: a bool mask must have the grid's shape {shape}, got {array.shape}")
        return np.argwhere(array).astype(np.int64)
    if array.size == 0 and array.ndim <= 2 and array.shape[-1:] in ((0,), (ndim,)):
        return np.empty((0, ndim), dtype=np.int64)
    if array.dtype.kind not in "iu":
        raise TypeError(f"{name} must hold integers, got dtype {array.dtype}")
    if array.ndim == 1:
        array = array.reshape(1, -1)
    if array.ndim != 2 or array.shape[1] != ndim:
        raise ValueError(f"{name} must be {what}, got shape {np.shape(value)}")
    bounds = np.array(shape, dtype=np.uint64 if array.dtype.kind == "u" else np.int64)
    outside = ((array < 0) | (array >= bounds)).any(axis=1)
    if outside.any():
        k = int(np.argmax(outside))
        row = tuple(int(v) for v in array[k])
        raise ValueError(f"{name} row {k} {row} lies outside the grid of shape {shape}")
    return np.ascontiguousarray(array, dtype=np.int64)


def _listed(value: Any, name: str, shape: tuple[int, ...]) -> np.ndarray:
    """A list or tuple of cells (or one cell) as an array. NumPy reads True as
    1 beside integers, and makes integers beyond int64 objects: both are
    told apart here, so that a list says what an array would."""
    array = np.asarray(value)
    if array.dtype.kind in "iuO":
        rows = value if array.ndim == 2 else [value]
        for k, row in enumerate(rows):
            for v in row:
                if isinstance(v, (bool, np.bool_)):
                    raise TypeError(f"{name} must hold integers, got {v!r}")
                if array.dtype.kind == "O":
                    try:
                        operator.index(v)
                    except TypeError:
                        raise TypeError(f"{name} must hold integers, got {_what(v)}") from None
            if array.dtype.kind == "O" and any(not 0 <= operator.index(v) < n for v, n in zip(row, shape)):
                raise ValueError(f"{name} row {k} {tuple(operator.index(v) for v in row)} lies outside the grid "
                                 f"of shape {shape}")
    return array


def cell_map(value: Any, name: str, shape: tuple[int, ...]) -> np.ndarray:
    """A real-valued array of the grid's shape. Its values (numbers or +inf;
    NaN and -inf are refused) are checked by the native layer while it copies
    them, in one pass."""
    _refuse_masked(value, name)
    array = np.asarray(value)
    if array.dtype.kind not in "biuf":
        raise TypeError(f"{name} must be a real-valued array, got dtype {array.dtype}")
    if array.shape != shape:
        raise ValueError(f"{name} must have the grid's shape {shape}, got {array.shape}")
    return array


def grid_cells(value: Any) -> np.ndarray:
    """The cells of a Grid: a 2D or 3D bool or real-valued array, not empty,
    of at most CELL_LIMIT cells (checked before any copy is made)."""
    _refuse_masked(value, "cells")
    array = np.asarray(value)
    if array.dtype.kind not in "biuf":
        raise TypeError(f"cells must be a bool or real-valued array, got dtype {array.dtype}")
    if array.ndim not in (2, 3):
        raise ValueError(f"cells must be a 2D or 3D array, got {array.ndim} dimension(s)")
    if array.size == 0:
        raise ValueError(f"cells must not be empty, got shape {array.shape}")
    if math.prod(array.shape) > CELL_LIMIT:
        raise ValueError(f"cells: a grid of at most {CELL_LIMIT} cells is supported, got shape {array.shape} "
                         f"({math.prod(array.shape)} cells)")
    return array
