"""Moving AI benchmark files: maps (.map) and scenarios (.scen).

A map file has a header (`type octile`, `height H`, `width W`), a line
`map`, then H rows of W characters: '.', 'G' and 'S' are walkable, every
other character ('@', 'O', 'T', 'W') is blocked. A scenario file starts with
`version 1` and has one query per line: bucket, map file, map width, map
height, start x, start y, goal x, goal y, optimal length, separated by tabs,
where x is the COLUMN and y the ROW. The arrays here are (row, column), as
every `Grid` method takes them, so a scenario's start is (start y, start x).
The same files serve single-agent queries and multi-agent instances (the
first N rows: N agents).

This module needs NumPy only.
"""

from __future__ import annotations

import os
from pathlib import Path
from typing import NamedTuple, Union

import numpy as np
import numpy.typing as npt

__all__ = ["Scenario", "read_map", "read_scenario", "write_map", "write_scenario"]

PathLike = Union[str, "os.PathLike[str]"]
WALKABLE = frozenset(".GS")


def read_map(path: PathLike) -> npt.NDArray[np.bool_]:
    """The map's walkable cells: a bool array of shape (height, width)."""
    lines = Path(path).read_text().splitlines()
    try:
        body = next(i for i, line in enumerate(lines) if line.strip() == "map")
    except StopIteration:
        raise ValueError(f"{path}: not a map file (no line 'map')") from None
    header = {}
    for k, line in enumerate(lines[:body]):
        parts = line.split()
        if len(parts) == 2:
            header[parts[0]] = parts[1]
        elif parts:
            raise ValueError(f"{path}, line {k + 1}: expected 'name value', got {line!r}")
    try:
        height, width = int(header["height"]), int(header["width"])
    except KeyError as e:
        raise ValueError(f"{path}: the header has no {e.args[0]!r} line") from None
    except ValueError:
        raise ValueError(f"{path}: height and width must be integers") from None
    if height < 0 or width < 0:
        raise ValueError(f"{path}: height and width must be >= 0, got {height} and {width}")
    rows = lines[body + 1:body + 1 + height]
    if len(rows) < height:
        raise ValueError(f"{path}: the header says {height} rows, the file has {len(rows)}")
    grid = np.zeros((height, width), dtype=bool)
    for r, row in enumerate(rows):
        if len(row) < width:
            raise ValueError(f"{path}, line {body + 2 + r}: the header says {width} columns, the row has {len(row)}")
        grid[r] = [c in WALKABLE for c in row[:width]]
    return grid


def write_map(path: PathLike, walkable: npt.ArrayLike) -> None:
    """Writes a bool array (True = walkable) as a map file ('.' and '@')."""
    grid = np.asarray(walkable, dtype=bool)
    if grid.ndim != 2:
        raise ValueError(f"a map is 2D, got an array of shape {grid.shape}")
    rows = ["".join(".@"[0 if v else 1] for v in row) for row in grid]
    text = f"type octile\nheight {grid.shape[0]}\nwidth {grid.shape[1]}\nmap\n" + "".join(r + "\n" for r in rows)
    Path(path).write_text(text)


class Scenario(NamedTuple):
    """The rows of a scenario file: starts and goals as int64 (N, 2) arrays
    of (row, column), the optimal lengths (float64), the buckets, and the
    map file named by each row with its (height, width)."""

    starts: npt.NDArray[np.int64]
    goals: npt.NDArray[np.int64]
    optimal: npt.NDArray[np.float64]
    buckets: npt.NDArray[np.int64]
    map: str
    shape: tuple[int, int]


def read_scenario(path: PathLike, agents: int | None = None) -> Scenario:
    """The queries of a scenario file (the first `agents` rows when given)."""
    lines = Path(path).read_text().splitlines()
    if not lines or not lines[0].startswith("version"):
        raise ValueError(f"{path}, line 1: expected 'version 1', got {lines[0]!r}" if lines
                         else f"{path}: the file is empty")
    if agents is not None and (isinstance(agents, bool) or not isinstance(agents, int) or agents < 0):
        raise ValueError(f"agents must be an integer >= 0 or None, got {agents!r}")
    rows: list[tuple[int, int, int, int, float, int]] = []
    names: set[str] = set()
    shape = (0, 0)
    for k, line in enumerate(lines[1:], start=2):
        if agents is not None and len(rows) == agents:
            break
        if not line.strip():
            continue
        parts = line.split("\t") if "\t" in line else line.split()
        if len(parts) != 9:
            raise ValueError(f"{path}, line {k}: expected 9 fields, got {len(parts)}")
        try:
            bucket, width, height, sx, sy, gx, gy = (int(parts[i]) for i in (0, 2, 3, 4, 5, 6, 7))
            optimal = float(parts[8])
        except ValueError:
            raise ValueError(f"{path}, line {k}: fields 1 and 3-8 must be integers, field 9 a number") from None
        if not (0 <= sx < width and 0 <= gx < width and 0 <= sy < height and 0 <= gy < height):
            raise ValueError(f"{path}, line {k}: a start or goal lies outside the {width} x {height} map")
        names.add(parts[1])
        shape = (height, width)
        rows.append((sy, sx, gy, gx, optimal, bucket))
    if agents is not None and len(rows) < agents:
        raise ValueError(f"{path}: {agents} rows asked for, the file has {len(rows)}")
    table = np.array([r[:4] for r in rows], dtype=np.int64).reshape(-1, 4)
    return Scenario(table[:, 0:2].copy(), table[:, 2:4].copy(), np.array([r[4] for r in rows], dtype=np.float64),
                    np.array([r[5] for r in rows], dtype=np.int64), names.pop() if len(names) == 1 else "", shape)


def write_scenario(path: PathLike, starts: npt.ArrayLike, goals: npt.ArrayLike, *, map_name: str,
                   shape: tuple[int, int], optimal: npt.ArrayLike | None = None,
                   buckets: npt.ArrayLike | None = None) -> None:
    """Writes queries as a scenario file (starts and goals as (row, column))."""
    s = np.asarray(starts, dtype=np.int64).reshape(-1, 2)
    g = np.asarray(goals, dtype=np.int64).reshape(-1, 2)
    if len(s) != len(g):
        raise ValueError(f"starts and goals must have the same length, got {len(s)} and {len(g)}")
    best = np.zeros(len(s)) if optimal is None else np.asarray(optimal, dtype=np.float64).reshape(-1)
    bucket = np.zeros(len(s), np.int64) if buckets is None else np.asarray(buckets, dtype=np.int64).reshape(-1)
    height, width = shape
    out = ["version 1"]
    for (sr, sc), (gr, gc), o, b in zip(s, g, best, bucket):
        out.append(f"{b}\t{map_name}\t{width}\t{height}\t{sc}\t{sr}\t{gc}\t{gr}\t{o:.8f}")
    Path(path).write_text("\n".join(out) + "\n")
