"""The modules themselves: docstrings, registrations, signatures."""

import subprocess
import sys

import astar
import focal

INT = "typing.SupportsInt | typing.SupportsIndex"
GRID = "typing.Annotated[numpy.typing.ArrayLike, numpy.bool]"
FLOAT = "typing.SupportsFloat | typing.SupportsIndex"


def test_module_docs():
    assert astar.__doc__ == "Optimized 2D A* with PyBind11"
    assert focal.__doc__ == "Bounded suboptimal focal search for 2D grids"


def test_registration_order():
    names = [n for n in vars(astar) if not n.startswith("__")]
    assert names == ["astar2D", "astar2D_heuristic_grid", "astar3D", "astar3D_heuristic_grid"]
    assert [n for n in vars(focal) if not n.startswith("__")] == ["focal2D", "focal3D"]


def test_astar_signatures():
    assert astar.astar2D.__doc__ == (
        f"astar2D(grid: {GRID}, start_x: {INT}, start_y: {INT}, goal_x: {INT}, goal_y: {INT}, "
        "use_uniform_step_cost: bool = False) -> tuple\n\n"
        "Run optimized A* on a 2D grid and return the path, cost, and expansion count.\n"
    )
    assert astar.astar3D_heuristic_grid.__doc__ == (
        f"astar3D_heuristic_grid(grid: {GRID}, heuristic_grid: object, start_x: {INT}, start_y: {INT}, "
        f"start_z: {INT}, goal_x: {INT}, goal_y: {INT}, goal_z: {INT}, w: {FLOAT} = 1.0, "
        "use_uniform_step_cost: bool = False) -> tuple\n\n"
        "Run weighted A* on a 3D grid; uses per-voxel heuristic grid if provided, otherwise octile distance.\n"
    )
    assert astar.astar2D_heuristic_grid.__doc__.endswith(
        "Run weighted A* on a 2D grid; uses per-cell heuristic grid if provided, otherwise octile distance.\n"
    )
    assert astar.astar3D.__doc__.endswith(
        "Run optimized A* on a 3D grid and return the path, cost, and expansion count.\n"
    )


def test_focal_docstrings():
    sig2, _, doc2 = focal.focal2D.__doc__.partition("\n\n")
    assert sig2 == (
        f"focal2D(grid: {GRID}, start_x: {INT}, start_y: {INT}, goal_x: {INT}, goal_y: {INT}, w: {FLOAT}, "
        "path_proximity_map: object = None, use_uniform_step_cost: bool = False) -> tuple"
    )
    # pybind11 appends the docstring after a blank line and a trailing newline.
    for fn, n, lines in ((focal.focal2D, 645, 16), (focal.focal3D, 668, 16)):
        doc = fn.__doc__.split(") -> tuple\n\n", 1)[1][:-1]
        assert len(doc) == n and doc.count("\n") == lines - 1
        assert doc.startswith("\nRun focal search on a") and doc.endswith("\n")
    assert "\t\t  Movement costs: straight=1, face-diagonal=sqrt(2), space-diagonal=sqrt(3).\n" in focal.focal3D.__doc__


def test_nothing_but_the_functions_at_import():
    code = ("import astar, focal, gridsearch\n"
            "for m in (astar, focal, gridsearch): print(sorted(k for k in vars(m) if not k.startswith('_')))")
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True).stdout
    assert out.splitlines() == [
        "['astar2D', 'astar2D_heuristic_grid', 'astar3D', 'astar3D_heuristic_grid']",
        "['focal2D', 'focal3D']",
        "['Grid', 'PathResult', 'WorldPath', 'astar2D_batch', 'astar2D_heuristic_grid_batch', 'astar3D_batch', "
        "'astar3D_heuristic_grid_batch', 'focal2D_batch', 'focal3D_batch']",
    ]
