"""Helpers shared by the examples: map generation, map files, PNG output."""

from __future__ import annotations

import struct
import zlib
from pathlib import Path

import numpy as np

FREE_CHARS = frozenset(".GS")


def read_map(path: str | Path) -> np.ndarray:
    """Read a map in the usual text format (header, then 'map', then rows).

    '.', 'G' and 'S' are free; every other character is blocked.
    Returns a bool array of shape (height, width), True where walkable.
    """
    lines = Path(path).read_text().splitlines()
    header = {}
    i = 0
    while lines[i].strip() != "map":
        key, _, value = lines[i].partition(" ")
        header[key] = value.strip()
        i += 1
    height, width = int(header["height"]), int(header["width"])
    rows = lines[i + 1 : i + 1 + height]
    grid = np.zeros((height, width), dtype=bool)
    for r, row in enumerate(rows):
        grid[r, : len(row)] = [c in FREE_CHARS for c in row[:width]]
    return grid


def rooms_map(size: int = 512, room: int = 64, obstacles: float = 0.12, seed: int = 1) -> np.ndarray:
    """A grid of rooms joined by doors, with scattered square obstacles."""
    rng = np.random.default_rng(seed)
    grid = np.ones((size, size), dtype=bool)
    for k in range(room, size, room):
        grid[k, :] = False
        grid[:, k] = False
    for k in range(room, size, room):
        for j in range(0, size, room):
            for horizontal in (True, False):
                door = j + int(rng.integers(4, room - 12))
                width = int(rng.integers(3, 8))
                if horizontal:
                    grid[k, door : door + width] = True
                else:
                    grid[door : door + width, k] = True
    n = int(obstacles * size * size / 9)
    xs, ys = rng.integers(0, size - 3, n), rng.integers(0, size - 3, n)
    for x, y in zip(xs, ys):
        grid[x : x + 3, y : y + 3] = False
    return grid


def voxel_world(size: int = 48, density: float = 0.2, seed: int = 2) -> np.ndarray:
    """Random voxel obstacles with a few solid floors that have holes."""
    rng = np.random.default_rng(seed)
    world = rng.random((size, size, size)) >= density
    for z in range(size // 4, size, size // 4):
        world[:, :, z] = False
        for _ in range(6):
            x, y = rng.integers(0, size - 4, 2)
            world[x : x + 4, y : y + 4, z] = True
    return world


def free_cell_near(grid: np.ndarray, cell) -> tuple[int, ...]:
    """The free cell closest (in index space) to `cell`."""
    free = np.argwhere(grid)
    d = np.abs(free - np.asarray(cell)).sum(axis=1)
    return tuple(int(v) for v in free[int(np.argmin(d))])


PALETTE = {
    "blocked": (40, 40, 48),
    "free": (245, 245, 240),
    "visited": (150, 200, 235),
    "path": (220, 40, 40),
    "guide": (40, 170, 70),
}


def render(grid: np.ndarray, visited=None, path=None, guide=None) -> np.ndarray:
    """An RGB image of a 2D grid with the expanded cells, a guide and a path."""
    img = np.empty(grid.shape + (3,), dtype=np.uint8)
    img[...] = PALETTE["free"]
    img[~grid] = PALETTE["blocked"]
    if visited is not None:
        img[visited] = PALETTE["visited"]
    if guide is not None:
        img[guide] = PALETTE["guide"]
    if path is not None and len(path):
        img[path[:, 0], path[:, 1]] = PALETTE["path"]
    return img


def write_png(path: str | Path, rgb: np.ndarray, scale: int = 1) -> None:
    """Write an RGB uint8 image as PNG using only the standard library."""
    rgb = np.ascontiguousarray(np.repeat(np.repeat(rgb, scale, axis=0), scale, axis=1), dtype=np.uint8)
    h, w, _ = rgb.shape
    raw = b"".join(b"\x00" + rgb[r].tobytes() for r in range(h))

    def chunk(tag: bytes, data: bytes) -> bytes:
        return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 6)) + chunk(b"IEND", b"")
    Path(path).parent.mkdir(parents=True, exist_ok=True)
    Path(path).write_bytes(png)
