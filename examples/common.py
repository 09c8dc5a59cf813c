"""Helpers shared by the examples: map generation, map files, PNG output."""

from __future__ import annotations

import struct
import zlib
from pathlib import Path

import numpy as np

ROOT = Path(__file__).resolve().parent.parent

def _io() -> dict:
    """The package's map reader, run from the source tree by file (it needs
    NumPy only), so that benchmarks run against any build of the package."""
    import runpy

    return runpy.run_path(str(ROOT / "src" / "gridsearch" / "io.py"))


def read_map(path: str | Path) -> np.ndarray:
    """A map file's walkable cells as a bool array (height, width)."""
    return _io()["read_map"](path)


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
                lo = min(4, room // 4)
                door = j + int(rng.integers(lo, max(room - 12, lo + 1)))
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


def maze_map(size: int = 256, corridor: int = 4, seed: int = 3) -> np.ndarray:
    """A perfect maze (randomised depth-first carving) with corridors `corridor` cells wide."""
    rng = np.random.default_rng(seed)
    cells = max(2, size // (corridor + 1))
    grid = np.zeros((cells * (corridor + 1) + 1,) * 2, dtype=bool)
    seen = np.zeros((cells, cells), dtype=bool)
    stack = [(0, 0)]
    seen[0, 0] = True

    def room(i, j):
        x, y = 1 + i * (corridor + 1), 1 + j * (corridor + 1)
        return slice(x, x + corridor), slice(y, y + corridor)

    grid[room(0, 0)] = True
    while stack:
        i, j = stack[-1]
        options = [(i + di, j + dj) for di, dj in ((1, 0), (-1, 0), (0, 1), (0, -1))
                   if 0 <= i + di < cells and 0 <= j + dj < cells and not seen[i + di, j + dj]]
        if not options:
            stack.pop()
            continue
        ni, nj = options[int(rng.integers(len(options)))]
        seen[ni, nj] = True
        a, b = room(i, j), room(ni, nj)
        grid[min(a[0].start, b[0].start) : max(a[0].stop, b[0].stop),
             min(a[1].start, b[1].start) : max(a[1].stop, b[1].stop)] = True
        stack.append((ni, nj))
    return grid[:size, :size]


def random_map(size: int = 256, density: float = 0.3, seed: int = 4) -> np.ndarray:
    """Independent random obstacles."""
    return np.random.default_rng(seed).random((size, size)) >= density


def largest_region(grid: np.ndarray) -> np.ndarray:
    """The free cells of the largest 8/26-connected region, as a mask."""
    from scipy.ndimage import label

    labels, count = label(grid, structure=np.ones((3,) * grid.ndim))
    if count == 0:
        return np.zeros_like(grid, dtype=bool)
    return labels == 1 + int(np.argmax(np.bincount(labels.ravel())[1:]))


def query_pairs(grid: np.ndarray, n: int, seed: int = 0) -> list[tuple[tuple[int, ...], tuple[int, ...]]]:
    """`n` seeded start/goal pairs of free cells, both in the grid's largest connected region."""
    cells = np.argwhere(largest_region(grid))
    if len(cells) == 0:
        return []
    rng = np.random.default_rng(seed)
    picks = cells[rng.integers(0, len(cells), size=(n, 2))]
    return [(tuple(map(int, a)), tuple(map(int, b))) for a, b in picks]


def guide_mask(shape, waypoints) -> np.ndarray:
    """Cells on a polyline through the waypoints."""
    mask = np.zeros(shape, dtype=bool)
    for (x0, y0), (x1, y1) in zip(waypoints, waypoints[1:]):
        n = max(abs(x1 - x0), abs(y1 - y0)) + 1
        mask[np.linspace(x0, x1, n).round().astype(int), np.linspace(y0, y1, n).round().astype(int)] = True
    return mask


def proximity_to(mask: np.ndarray) -> np.ndarray:
    """Euclidean distance of every cell to the nearest cell of the mask."""
    from scipy.ndimage import distance_transform_edt

    return distance_transform_edt(~mask)


def side_by_side(panels, gap: int = 6) -> np.ndarray:
    """RGB panels of equal height joined left to right with white gaps."""
    spacer = np.full((panels[0].shape[0], gap, 3), 255, dtype=np.uint8)
    out = [panels[0]]
    for p in panels[1:]:
        out += [spacer, p]
    return np.concatenate(out, axis=1)


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


def draw(out: str | Path, panels: list[dict], legend: list[tuple[str, str, str]], title: str | None = None,
         inches: float = 4.2, columns: int | None = None) -> None:
    """A titled row of panels with a legend, written as PNG with Matplotlib.

    Each panel is a dict: "image" (RGB array from render), "title", and
    optionally "lines": (cells (N, 2) as rows/columns, colour, width) drawn
    over the image, "marks": (cells, colour, marker[, size]) drawn as points,
    and "colorbar": (colormap name, lowest, highest, label) for the image.
    `legend` lists (label, colour, kind) with kind "patch", "line" or a marker.
    """
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    from matplotlib.lines import Line2D
    from matplotlib.patches import Patch

    fig, axes = plt.subplots(1, len(panels), figsize=(inches * len(panels), inches + 1.0), squeeze=False)
    for ax, panel in zip(axes[0], panels):
        ax.imshow(panel["image"], interpolation="nearest")
        for cells, colour, width in panel.get("lines", []):
            if len(cells):
                ax.plot(cells[:, 1], cells[:, 0], color=colour, linewidth=width, solid_capstyle="round")
        for cells, colour, marker, *size in panel.get("marks", []):
            if len(cells):
                ax.plot(cells[:, 1], cells[:, 0], linestyle="none", marker=marker, color=colour,
                        markersize=size[0] if size else 5, markeredgecolor="0.2", markeredgewidth=0.4)
        if "colorbar" in panel:
            from matplotlib.cm import ScalarMappable
            from matplotlib.colors import Normalize

            cmap, low, high, label = panel["colorbar"]
            bar = fig.colorbar(ScalarMappable(Normalize(low, high), cmap), ax=ax, fraction=0.046, pad=0.02)
            bar.set_label(label)
        ax.set_title(panel["title"], fontsize=11)
        ax.set_xticks([])
        ax.set_yticks([])
    handles = []
    for label, colour, kind in legend:
        if kind == "patch":
            handles.append(Patch(facecolor=colour, edgecolor="0.5", label=label))
        elif kind == "line":
            handles.append(Line2D([], [], color=colour, linewidth=2.5, label=label))
        else:
            handles.append(Line2D([], [], color=colour, marker=kind, linestyle="none", label=label, markersize=8,
                                  markeredgecolor="0.2", markeredgewidth=0.6))
    fig.legend(handles=handles, loc="lower center", ncol=columns or len(handles), frameon=False, fontsize=10)
    top = 1.0
    if title:
        fig.suptitle(title, fontsize=13)
        top = 1.0 - 0.45 / (inches + 1.0)
    rows = -(-len(handles) // (columns or len(handles)))
    fig.tight_layout(rect=(0, 0.05 + 0.035 * rows, 1, top))
    Path(out).parent.mkdir(parents=True, exist_ok=True)
    fig.savefig(out, dpi=110)
    plt.close(fig)


def distinct_colours(n: int) -> list:
    """n colours that differ from each other (tab10, tab20, then evenly spaced hues)."""
    import matplotlib

    if n <= 10:
        return [matplotlib.colormaps["tab10"](k) for k in range(n)]
    if n <= 20:
        return [matplotlib.colormaps["tab20"](k) for k in range(n)]
    return [matplotlib.colormaps["hsv"](k / n) for k in range(n)]


def rgb(name: str) -> str:
    """A palette colour as a Matplotlib colour string."""
    return "#%02x%02x%02x" % PALETTE[name]


# The legend of a 2D search picture.
SEARCH_LEGEND = [("blocked", rgb("blocked"), "patch"), ("free", rgb("free"), "patch"),
                 ("expanded by the search", rgb("visited"), "patch"), ("path", rgb("path"), "line")]
