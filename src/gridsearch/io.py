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

ROS map_server maps (`read_ros_map`): a YAML file naming an image (PGM,
or PNG when Pillow is installed) with `resolution`, `origin`, `negate`,
`occupied_thresh`, `free_thresh` and `mode`.

This module needs NumPy only.
"""

from __future__ import annotations

import os
from pathlib import Path
from typing import NamedTuple, Union

import numpy as np
import numpy.typing as npt

__all__ = ["RosMap", "Scenario", "read_map", "read_pgm", "read_ros_map", "read_scenario", "write_map",
           "write_pgm", "write_scenario"]

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


class RosMap(NamedTuple):
    """A ROS map_server map: `occupancy` (int8: -1 unknown, 0 free to 100
    occupied) in ROS order, row i and column j being the cell whose centre is
    at x = origin[0] + (j + 0.5) * resolution, y = origin[1] + (i + 0.5) *
    resolution (so row 0 is the image's bottom row); `resolution` in metres
    per cell; `origin` (x, y, yaw) of cell (0, 0)'s outer corner."""

    occupancy: npt.NDArray[np.int8]
    resolution: float
    origin: tuple[float, float, float]


def _pgm_tokens(data: bytes, path: PathLike) -> tuple[bytes, list[int], int]:
    """The magic, width, height, maxval of a PGM header, and where the pixels start."""
    tokens: list[bytes] = []
    at = 0
    while len(tokens) < 4:
        while at < len(data) and data[at:at + 1].isspace():
            at += 1
        if data[at:at + 1] == b"#":
            while at < len(data) and data[at:at + 1] not in (b"\n", b"\r"):
                at += 1
            continue
        start = at
        while at < len(data) and not data[at:at + 1].isspace():
            at += 1
        if start == at:
            raise ValueError(f"{path}: a PGM header needs a magic number, width, height and maxval")
        tokens.append(data[start:at])
    try:
        values = [int(t) for t in tokens[1:]]
    except ValueError:
        raise ValueError(f"{path}: the PGM header's width, height and maxval must be integers") from None
    return tokens[0], values, at + 1


def read_pgm(path: PathLike) -> npt.NDArray[np.uint16]:
    """A PGM image (P2 text or P5 binary, 8 or 16 bits) as rows from the top."""
    data = Path(path).read_bytes()
    magic, (width, height, maxval), start = _pgm_tokens(data, path)
    if magic not in (b"P2", b"P5"):
        raise ValueError(f"{path}: not a PGM image (magic {magic!r}, expected P2 or P5)")
    if width < 0 or height < 0 or not 0 < maxval < 65536:
        raise ValueError(f"{path}: bad PGM size {width} x {height} or maxval {maxval}")
    n = width * height
    if magic == b"P5":
        dtype = np.dtype(">u2") if maxval > 255 else np.dtype(np.uint8)
        pixels = np.frombuffer(data, dtype=dtype, count=-1, offset=start)
        if len(pixels) < n:
            raise ValueError(f"{path}: the image has {len(pixels)} of {n} pixels")
        image = pixels[:n].astype(np.uint16)
    else:
        try:
            text = np.array(data[start:].split(), dtype=np.int64)[:n]
        except ValueError:
            raise ValueError(f"{path}: the P2 pixels must be integers") from None
        if len(text) < n:
            raise ValueError(f"{path}: the image has {len(text)} of {n} pixels")
        if text.size and (int(text.min()) < 0 or int(text.max()) > maxval):
            raise ValueError(f"{path}: a pixel is outside 0..{maxval}")
        image = text.astype(np.uint16)
    if int(image.max(initial=0)) > maxval:
        raise ValueError(f"{path}: a pixel is above maxval {maxval}")
    return image.reshape(height, width)


def write_pgm(path: PathLike, image: npt.ArrayLike, *, binary: bool = True) -> None:
    """Writes an 8-bit image (rows from the top) as PGM: P5, or P2 text."""
    a = np.asarray(image)
    if a.ndim != 2 or a.dtype.kind not in "iu" or (a.size and (a.min() < 0 or a.max() > 255)):
        raise ValueError("a PGM image here is a 2D array of integers 0..255")
    header = f"{'P5' if binary else 'P2'}\n{a.shape[1]} {a.shape[0]}\n255\n".encode()
    body = a.astype(np.uint8).tobytes() if binary else "\n".join(" ".join(map(str, row)) for row in a.tolist()).encode()
    Path(path).write_bytes(header + body + (b"" if binary else b"\n"))


def _yaml(path: PathLike) -> dict[str, str]:
    """The flat `key: value` lines of a map_server YAML file."""
    out = {}
    for k, line in enumerate(Path(path).read_text().splitlines(), start=1):
        text = line.split("#", 1)[0].strip()
        if not text:
            continue
        if ":" not in text:
            raise ValueError(f"{path}, line {k}: expected 'key: value', got {line!r}")
        key, value = text.split(":", 1)
        out[key.strip()] = value.strip().strip("'\"")
    return out


def read_ros_map(yaml_path: PathLike) -> RosMap:
    """A ROS map_server map: the YAML file and the image it names."""
    meta = _yaml(yaml_path)
    for key in ("image", "resolution", "origin"):
        if key not in meta:
            raise ValueError(f"{yaml_path}: no {key!r}")
    try:
        resolution = float(meta["resolution"])
        origin = tuple(float(v) for v in meta["origin"].strip("[]").split(","))
        negate = int(meta.get("negate", "0"))
        occupied = float(meta.get("occupied_thresh", "0.65"))
        free = float(meta.get("free_thresh", "0.196"))
    except ValueError:
        raise ValueError(f"{yaml_path}: resolution, origin, negate and the thresholds must be numbers") from None
    if len(origin) != 3:
        raise ValueError(f"{yaml_path}: origin must be [x, y, yaw], got {meta['origin']}")
    if not resolution > 0:
        raise ValueError(f"{yaml_path}: resolution must be > 0, got {resolution}")
    mode = meta.get("mode", "trinary")
    if mode not in ("trinary", "scale", "raw"):
        raise ValueError(f"{yaml_path}: mode must be trinary, scale or raw, got {mode!r}")
    image_path = Path(meta["image"])
    if not image_path.is_absolute():
        image_path = Path(yaml_path).parent / image_path
    if not image_path.is_file():
        raise ValueError(f"{yaml_path}: the image {image_path} does not exist")
    if image_path.suffix.lower() in (".pgm", ".pnm"):
        pixels = read_pgm(image_path).astype(np.float64)
        top = 65535.0 if pixels.max(initial=0) > 255 else 255.0
    else:
        try:
            from PIL import Image
        except ImportError:
            raise ValueError(f"{image_path}: reading this image needs Pillow (pip install pillow); "
                             "PGM images need nothing more") from None
        with Image.open(image_path) as im:
            pixels = np.asarray(im.convert("L"), dtype=np.float64)
        top = 255.0
    if mode == "raw":
        occupancy = np.clip(pixels, -1, 100)
    else:
        p = pixels / top if negate else (top - pixels) / top
        occupancy = np.full(p.shape, -1.0)
        occupancy[p > occupied] = 100
        occupancy[p < free] = 0
        if mode == "scale":
            between = (p >= free) & (p <= occupied)
            occupancy[between] = np.rint(99 * (p[between] - free) / (occupied - free))
    # map_server's order: the image's bottom row is y index 0.
    return RosMap(occupancy[::-1].astype(np.int8).copy(), resolution, (origin[0], origin[1], origin[2]))
