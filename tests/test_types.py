"""The installed stub packages match the modules and give type checkers precise types."""

import ast
import os
import subprocess
import sys
import sysconfig
import textwrap
from pathlib import Path

import pytest

import astar
import focal

pytest.importorskip("mypy")

MODULES = {"astar": astar, "focal": focal}

# How pybind11 renders each parameter type, and the stub alias that stands for it.
RENDERED = {
    "typing.Annotated[numpy.typing.ArrayLike, numpy.bool]": "_Grid",
    "typing.SupportsInt | typing.SupportsIndex": "_Int",
    "typing.SupportsFloat | typing.SupportsIndex": "_Float",
    "object": "_ValueMap",
    "bool": "bool",
}


def stub_path(module: str) -> Path:
    for key in ("platlib", "purelib"):
        path = Path(sysconfig.get_paths()[key]) / f"{module}-stubs" / "__init__.pyi"
        if path.exists():
            return path
    pytest.fail(f"{module}-stubs is not installed")


def run_mypy(*args: str, cwd) -> subprocess.CompletedProcess:
    return subprocess.run(
        [sys.executable, "-m", *args], capture_output=True, text=True, cwd=cwd, timeout=600,
        env={**os.environ, "MYPY_CACHE_DIR": str(Path(cwd) / ".mypy_cache")},
    )


def test_stubtest_finds_no_drift(tmp_path):
    allowlist = Path(__file__).with_name("stubtest-allowlist.txt")
    proc = run_mypy("mypy.stubtest", "astar", "focal", "gridsearch", "--allowlist", str(allowlist),
                    "--ignore-unused-allowlist", cwd=tmp_path)
    assert proc.returncode == 0, proc.stdout + proc.stderr


def split_params(text: str) -> list[str]:
    """Split a rendered parameter list at top-level commas."""
    parts, depth, cur = [], 0, ""
    for ch in text:
        depth += ch in "[(" 
        depth -= ch in "])"
        if ch == "," and depth == 0:
            parts.append(cur.strip())
            cur = ""
        else:
            cur += ch
    return parts + [cur.strip()] if cur.strip() else parts


@pytest.mark.parametrize("module", MODULES)
def test_stub_signatures_match_the_registrations(module):
    """Names, order, types and defaults of every parameter, against pybind11's rendered signature."""
    tree = ast.parse(stub_path(module).read_text())
    stubs = {f.name: f for f in tree.body if isinstance(f, ast.FunctionDef)}
    runtime = {n for n in dir(MODULES[module]) if not n.startswith("_")}
    assert set(stubs) == runtime
    for name, fn in stubs.items():
        first = getattr(MODULES[module], name).__doc__.splitlines()[0]
        assert first.startswith(name + "(") and first.endswith(") -> tuple")
        want = []
        for p in split_params(first[len(name) + 1 : -len(") -> tuple")]):
            pname, _, rest = p.partition(": ")
            ptype, _, default = rest.partition(" = ")
            want.append((pname, RENDERED[ptype], default or None))
        args = fn.args.args
        defaults = [None] * (len(args) - len(fn.args.defaults)) + [ast.unparse(d) for d in fn.args.defaults]
        got = [(a.arg, ast.unparse(a.annotation), d) for a, d in zip(args, defaults)]
        assert got == want
        assert ast.unparse(fn.returns) == "_Result"


def test_type_checker_sees_precise_types(tmp_path):
    (tmp_path / "use.py").write_text(textwrap.dedent(
        """
        import numpy as np
        import numpy.typing as npt
        import astar
        import focal

        grid = np.ones((8, 8), bool)
        path, cost, expansions, visited = astar.astar2D(grid, 0, 0, 7, 7)
        p: npt.NDArray[np.int32] = path
        c: float = cost
        e: int = expansions
        v: npt.NDArray[np.bool_] = visited
        r = focal.focal3D(np.ones((2, 2, 2), bool), 0, 0, 0, 1, 1, 1, 1.5, path_proximity_map=None)
        h = astar.astar2D_heuristic_grid(grid, None, np.int64(0), 0, 7, 7, w=np.float32(2))
        bad: str = r[2]
        astar.astar3D(grid, "0", 0, 0, 1, 1, 1)
        import gridsearch
        rows = gridsearch.focal2D_batch(grid, np.zeros((3, 4), np.int32), 1.5, threads=2, visited=True)
        first: tuple[npt.NDArray[np.int32], float, int, npt.NDArray[np.bool_] | None] = rows[0]
        gridsearch.astar2D_batch(grid, [[0, 0, 1, 1]], False, 2)
        version: str = gridsearch.__version__
        astar.astar2D(grid, 0.5, 0, 7, 7)
        planner = gridsearch.Grid(np.ones((8, 8)), connectivity=4, cost_model="mean")
        found = planner.astar((0, 0), (7, 7), w=1.5, max_expansions=100)
        status: str = found.status
        fp: npt.NDArray[np.int32] = found.path
        fv: npt.NDArray[np.bool_] | None = found.visited
        many: list[gridsearch.PathResult] = planner.astar_batch(np.zeros((2, 4), int), threads=2)
        planner.astar((0, 0), (7, 7), 1.5)
        """
    ))
    proc = run_mypy("mypy", "--strict", "--no-error-summary", "use.py", cwd=tmp_path)
    errors = [line for line in proc.stdout.splitlines() if ": error:" in line]
    assert [e.split(":")[1] for e in errors] == ["15", "16", "20", "22", "29"], proc.stdout + proc.stderr
    assert 'has type "int"' in errors[0] and 'incompatible type "str"' in errors[1]
    assert "Too many positional arguments" in errors[2] and 'incompatible type "float"' in errors[3]
    assert "Too many positional arguments" in errors[4]
