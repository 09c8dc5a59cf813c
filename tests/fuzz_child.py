"""Throws random arguments at all six functions; run as a child process.

Usage: python fuzz_child.py SEED CALLS
Prints "fuzzed N calls, R results, E errors" and exits 0, or exits non-zero
with the offending call when a call returns something malformed, raises an
unexpected exception type or changes the caller's arrays. A crash kills the
process, which the parent reports.
"""

from __future__ import annotations

import math
import sys
import warnings

import numpy as np

import astar
import focal


class CallerError(Exception):
    pass


class BadIndex:
    def __index__(self):
        raise CallerError("index")


class BadBool:
    def __bool__(self):
        raise CallerError("bool")


class BadFloat:
    def __float__(self):
        raise CallerError("float")


class GoodIndex:
    def __init__(self, v):
        self.v = v

    def __index__(self):
        return self.v


ALLOWED = (TypeError, ValueError, RuntimeError, MemoryError, CallerError)

SIGNATURES = {
    # name: (function, dims, map parameter position or None, has w)
    "astar2D": (astar.astar2D, 2, None, False),
    "astar3D": (astar.astar3D, 3, None, False),
    "astar2D_heuristic_grid": (astar.astar2D_heuristic_grid, 2, "map_first", True),
    "astar3D_heuristic_grid": (astar.astar3D_heuristic_grid, 3, "map_first", True),
    "focal2D": (focal.focal2D, 2, "map_after_w", True),
    "focal3D": (focal.focal3D, 3, "map_after_w", True),
}


def random_array(rng, dims):
    kind = rng.integers(0, 14)
    shape = tuple(int(v) for v in rng.integers(0 if rng.random() < 0.1 else 1, 7, size=dims))
    if kind == 0:
        return np.array(rng.random(shape) > 0.3, dtype=object)
    if kind == 1:
        return np.full(shape, "x", dtype="U1")
    if kind == 2:
        return (rng.random(shape) + 1j * rng.random(shape)).astype(complex)
    if kind == 3:
        return np.zeros(shape, dtype=[("a", "i4"), ("b", "f8")])
    if kind == 4:
        return (rng.random(shape) * 3).astype(np.float16)
    if kind == 5:
        return np.ma.masked_array(rng.random(shape) > 0.3, mask=rng.random(shape) > 0.5)
    if kind == 6:
        a = rng.random(shape) > 0.2
        a.setflags(write=False)
        return a
    if kind == 7:
        return memoryview(np.ascontiguousarray(rng.random(shape) > 0.2).astype(np.uint8))
    if kind == 8:
        return rng.random(shape) * rng.choice([1, np.nan, np.inf, -np.inf, -5])
    if kind == 9:
        return (rng.random(shape) > 0.25).tolist()
    if kind == 10:
        return np.asfortranarray(rng.random(shape) > 0.25)
    if kind == 11:
        base = rng.random(tuple(2 * s for s in shape)) > 0.25
        return base[tuple(slice(None, None, 2) for _ in shape)]
    if kind == 12:
        return np.array([BadBool()] * max(1, int(np.prod(shape))), dtype=object)
    return rng.random(shape) > 0.25


def random_grid(rng, dims):
    r = rng.random()
    if r < 0.6:
        return rng.random(tuple(int(v) for v in rng.integers(1, 9, size=dims))) > 0.25
    if r < 0.85:
        return random_array(rng, int(rng.choice([dims, dims, 1, 4, 2, 3])))
    return random_object(rng)


def random_object(rng):
    choices = [
        lambda: "grid",
        lambda: b"\x01\x00",
        lambda: None,
        lambda: {"a": 1},
        lambda: BadIndex(),
        lambda: BadBool(),
        lambda: BadFloat(),
        lambda: 2**80,
        lambda: -(2**40),
        lambda: math.nan,
        lambda: [[1, 2], [3]],
        lambda: object(),
        lambda: np.array(3.0),
        lambda: np.int64(2),
        lambda: GoodIndex(int(rng.integers(-2, 8))),
    ]
    return choices[int(rng.integers(len(choices)))]()


def random_coord(rng):
    r = rng.random()
    if r < 0.8:
        return int(rng.integers(-1, 8))
    if r < 0.85:
        return np.int64(rng.integers(0, 5))
    return random_object(rng)


def random_weight(rng):
    r = rng.random()
    if r < 0.6:
        return float(rng.uniform(0, 4))
    return [math.nan, math.inf, -math.inf, 0, 2, -1e308, 1e308, np.float32(1.5), "2", None, BadFloat()][
        int(rng.integers(11))
    ]


def random_flag(rng):
    r = rng.random()
    if r < 0.8:
        return bool(rng.integers(2))
    return [None, 0, 1, np.bool_(True), 2.5, "yes", BadBool(), []][int(rng.integers(8))]


def snapshot(obj):
    if isinstance(obj, np.ndarray):
        return obj.copy()
    return None


def unchanged(obj, snap) -> bool:
    if snap is None:
        return True
    if obj.dtype.kind in "fc":
        return np.array_equal(np.asarray(obj), snap, equal_nan=True)
    if obj.dtype.kind == "O":
        return obj.shape == snap.shape and all(a is b for a, b in zip(obj.ravel(), snap.ravel()))
    return np.array_equal(np.asarray(obj), snap)


def well_formed(result, dims) -> bool:
    if not (isinstance(result, tuple) and len(result) == 4):
        return False
    path, cost, exp, visited = result
    return (
        isinstance(path, np.ndarray)
        and path.dtype == np.int32
        and path.ndim == 2
        and path.shape[1] == dims
        and isinstance(cost, float)
        and isinstance(exp, int)
        and exp >= 0
        and isinstance(visited, np.ndarray)
        and visited.dtype == np.bool_
        and visited.ndim == dims
        and int(visited.sum()) == exp
        and (len(path) == 0) == math.isinf(cost)
    )


def main() -> int:
    seed, calls = int(sys.argv[1]), int(sys.argv[2])
    warnings.simplefilter("ignore")
    rng = np.random.default_rng(seed)
    names = list(SIGNATURES)
    results = errors = 0
    for i in range(calls):
        name = names[int(rng.integers(len(names)))]
        fn, dims, map_kind, has_w = SIGNATURES[name]
        grid = random_grid(rng, dims)
        if isinstance(grid, np.ndarray) and grid.ndim == dims and grid.size and rng.random() < 0.75:
            coords = [int(rng.integers(0, n)) for n in grid.shape * 2]
            if rng.random() < 0.2:
                coords[int(rng.integers(len(coords)))] = random_coord(rng)
        else:
            coords = [random_coord(rng) for _ in range(2 * dims)]
        value_map = None
        if map_kind and rng.random() < 0.7:
            value_map = random_array(rng, int(rng.choice([dims, dims, dims, 1, 4]))) if rng.random() < 0.85 else random_object(rng)
            if isinstance(grid, np.ndarray) and rng.random() < 0.5:
                value_map = rng.random(grid.shape) * rng.choice([1, np.nan, -1])
        args = [grid]
        if map_kind == "map_first":
            args.append(value_map)
        args += coords
        if has_w:
            args.append(random_weight(rng))
        if map_kind == "map_after_w":
            args.append(value_map)
        if rng.random() < 0.8:
            args.append(random_flag(rng))
        if rng.random() < 0.3 and isinstance(grid, np.ndarray) and grid.dtype == bool and grid.flags.writeable:
            grid[...] = True
        snaps = [snapshot(a) for a in (grid, value_map)]
        try:
            result = fn(*args)
        except ALLOWED:
            errors += 1
        except Exception as exc:  # anything else is a fault
            print(f"call {i}: {name} raised {type(exc).__name__}: {exc}", file=sys.stderr)
            return 2
        else:
            results += 1
            if not well_formed(result, dims):
                print(f"call {i}: {name} returned a malformed result {result!r}", file=sys.stderr)
                return 3
        for obj, snap in zip((grid, value_map), snaps):
            if not unchanged(obj, snap):
                print(f"call {i}: {name} changed the caller's array", file=sys.stderr)
                return 4
    print(f"fuzzed {calls} calls, {results} results, {errors} errors")
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
