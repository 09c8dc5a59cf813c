"""Multi-agent solvers (gridsearch.mapf.solve) checked by an independent
plan checker, the validator against plans broken on purpose, and the
benchmark file readers."""

from __future__ import annotations

from pathlib import Path

import numpy as np
import pytest
from scipy.sparse.csgraph import shortest_path

import gridsearch
from gridsearch import io, mapf
from helpers import check_stop, interrupt_child, random_grid
from mapf_model import joint_optimum, plan_faults, sum_of_costs

DATA = Path(__file__).resolve().parents[1] / "data" / "mapf"
MAP = DATA / "random-32-32-10.map"
SCEN = DATA / "random-32-32-10-random-1.scen"
needs_benchmark = pytest.mark.skipif(not MAP.exists(), reason="the MAPF benchmark files are not here")


def distances(cells):
    """All-pairs breadth-first distances on the 4-neighbour graph (SciPy)."""
    from scipy.sparse import coo_matrix

    idx = np.arange(cells.size).reshape(cells.shape)
    a = np.concatenate([idx[:, :-1][cells[:, :-1] & cells[:, 1:]], idx[:-1][cells[:-1] & cells[1:]]])
    b = np.concatenate([idx[:, 1:][cells[:, :-1] & cells[:, 1:]], idx[1:][cells[:-1] & cells[1:]]])
    m = coo_matrix((np.ones(len(a)), (a, b)), shape=(cells.size, cells.size))
    return shortest_path(m, directed=False, unweighted=True)


def check_solution(cells, starts, goals, sol):
    assert sol.status == "solved", sol
    assert sol.paths.dtype == np.int32 and sol.paths.shape == (len(starts), sol.makespan + 1, 2)
    assert plan_faults(cells, starts, goals, sol.paths) == []
    assert sol.sum_of_costs == sum_of_costs(sol.paths, goals)
    d = distances(cells)
    flat = lambda p: np.ravel_multi_index(tuple(np.asarray(p).T), cells.shape)  # noqa: E731
    distance_sum = int(d[flat(starts), flat(goals)].sum())
    # The search-based solvers may report a higher (still valid) bound.
    assert distance_sum <= sol.lower_bound <= sol.sum_of_costs
    assert sol.algorithm in ("ecbs", "cbs") or sol.lower_bound == distance_sum
    assert mapf.validate(gridsearch.Grid(cells, connectivity=4), starts, goals, sol.paths) == []


def random_instance(rng, shape, density, agents):
    while True:
        cells = random_grid(rng, shape, density)
        d = distances(cells)
        free = np.flatnonzero(cells.ravel())
        if len(free) < agents + 2:
            continue
        s = rng.choice(free, agents, replace=False)
        g = rng.choice(free, agents, replace=False)
        if np.isfinite(d[s, g]).all():
            coords = lambda v: np.stack(np.unravel_index(v, cells.shape), axis=1)  # noqa: E731
            return cells, coords(s), coords(g)


@needs_benchmark
@pytest.mark.parametrize("agents", [50, 150])
def test_lacam_on_the_benchmark_scenario(agents):
    cells = io.read_map(MAP)
    scen = io.read_scenario(SCEN, agents)
    sol = mapf.solve(gridsearch.Grid(cells, connectivity=4), scen.starts, scen.goals, time_limit=30,
                     max_iterations=300)
    check_solution(cells, scen.starts, scen.goals, sol)
    # The first plan is timed and came within the call's limit (not a bound on speed).
    assert sol.algorithm == "lacam" and sol.iterations == 300 and 0 <= sol.time_to_first_solution <= 30


@pytest.mark.parametrize("algorithm", ["lacam", "pibt"])
def test_random_instances_give_valid_plans(algorithm):
    rng = np.random.default_rng(11)
    for trial in range(40):
        shape = (int(rng.integers(3, 12)), int(rng.integers(3, 12)))
        cells, s, g = random_instance(rng, shape, 0.2, int(rng.integers(1, 8)))
        sol = mapf.solve(gridsearch.Grid(cells, connectivity=4), s, g, algorithm=algorithm,
                         time_limit=5 if algorithm == "lacam" else 0.2, seed=trial, max_iterations=20)
        if algorithm == "pibt" and sol.status == "timeout":
            assert sol.paths.shape == (len(s), 0, 2) and sol.sum_of_costs == -1
            continue
        if sol.status == "unsolvable":  # LaCAM proves it by running out; so must the joint space
            assert algorithm == "lacam" and len(s) <= 3 and joint_optimum(cells, s, g) is None
            continue
        check_solution(cells, s, g, sol)


def test_cbs_is_optimal_and_ecbs_within_its_bound():
    # Optimum by Dijkstra over the joint space of a few agents on small grids.
    rng = np.random.default_rng(8)
    checked = 0
    for trial in range(60):
        shape = (int(rng.integers(2, 6)), int(rng.integers(3, 6)))
        cells, s, g = random_instance(rng, shape, 0.2, int(rng.integers(2, 4)))
        best = joint_optimum(cells, s, g)
        grid = gridsearch.Grid(cells, connectivity=4)
        cbs = mapf.solve(grid, s, g, algorithm="cbs", time_limit=5)
        if best is None:
            assert cbs.status in ("timeout", "unsolvable")
            continue
        checked += 1
        check_solution(cells, s, g, cbs)
        assert cbs.sum_of_costs == best == cbs.lower_bound, trial
        for w in (1.1, 1.5, 3.0):
            ecbs = mapf.solve(grid, s, g, algorithm="ecbs", suboptimality=w, time_limit=5)
            check_solution(cells, s, g, ecbs)
            assert ecbs.lower_bound <= best <= ecbs.sum_of_costs <= w * ecbs.lower_bound, (trial, w)
    assert checked > 40


@needs_benchmark
def test_ecbs_on_the_benchmark_scenario():
    cells = io.read_map(MAP)
    scen = io.read_scenario(SCEN, 60)
    sol = mapf.solve(gridsearch.Grid(cells, connectivity=4), scen.starts, scen.goals, algorithm="ecbs",
                     suboptimality=1.1, time_limit=60)
    check_solution(cells, scen.starts, scen.goals, sol)
    assert sol.algorithm == "ecbs" and sol.sum_of_costs <= 1.1 * sol.lower_bound


def test_dense_and_narrow_instances():
    # Six agents on a ring of 12 cells: on a cycle agents keep their cyclic
    # order, so turning all of them on by 3 cells is solvable and swapping
    # two goals is not; LaCAM must prove the second by running out. Then two
    # agents on a line that must pass each other through one side pocket.
    ring = np.ones((4, 4), bool)
    ring[1:3, 1:3] = False
    around = [(0, c) for c in range(4)] + [(r, 3) for r in (1, 2)] + [(3, c) for c in (3, 2, 1, 0)] + [(2, 0), (1, 0)]
    grid = gridsearch.Grid(ring, connectivity=4)
    s = np.array(around[0:12:2])
    g = np.array([around[(k + 3) % 12] for k in range(0, 12, 2)])
    sol = mapf.solve(grid, s, g, time_limit=30, max_iterations=50)
    check_solution(ring, s, g, sol)
    g[[0, 1]] = g[[1, 0]]
    assert mapf.solve(grid, s, g, time_limit=60).status == "unsolvable"
    line = np.zeros((2, 7), bool)
    line[0] = True
    line[1, 3] = True
    s = [(0, 0), (0, 6)]
    g = [(0, 6), (0, 0)]
    sol = mapf.solve(gridsearch.Grid(line, connectivity=4), s, g, time_limit=10, max_iterations=200)
    check_solution(line, np.array(s), np.array(g), sol)
    # One waits a step for the other to reach the pocket: 7, and 6 + in and out.
    assert sol.sum_of_costs == joint_optimum(line, s, g) == 15


def test_unsolvable_instances_are_proved():
    # A goal in another component; two agents that must swap in a corridor.
    cells = np.ones((3, 5), bool)
    cells[:, 2] = False
    grid = gridsearch.Grid(cells, connectivity=4)
    sol = mapf.solve(grid, [(0, 0)], [(0, 4)])
    assert sol.status == "unsolvable" and sol.paths.shape == (1, 0, 2) and sol.lower_bound == -1
    corridor = gridsearch.Grid(np.ones((1, 4), bool), connectivity=4)
    sol = mapf.solve(corridor, [(0, 0), (0, 3)], [(0, 3), (0, 0)], time_limit=30)
    assert sol.status == "unsolvable" and sol.sum_of_costs == -1


def test_same_seed_same_result():
    cells = io.read_map(MAP) if MAP.exists() else random_grid(np.random.default_rng(1), (32, 32), 0.1)
    scen_rng = np.random.default_rng(5)
    free = np.argwhere(cells)
    pick = scen_rng.choice(len(free), 160, replace=False)
    s, g = free[pick[:80]], free[pick[80:]]
    grid = gridsearch.Grid(cells, connectivity=4)
    runs = [mapf.solve(grid, s, g, seed=seed, time_limit=60, max_iterations=200, threads=threads)
            for seed, threads in ((3, 1), (3, 1), (3, 2), (4, 1))]
    # The same seed, the same plan; the threads only grow distances, which are exact.
    assert np.array_equal(runs[0].paths, runs[1].paths) and np.array_equal(runs[0].paths, runs[2].paths)
    for r in runs:
        check_solution(cells, s, g, r)
    assert runs[3].sum_of_costs >= runs[0].lower_bound


def test_time_limit_ends_the_improvement():
    # No iteration limit: only the clock ends the call.
    cells = np.ones((24, 24), bool)
    rng = np.random.default_rng(2)
    free = np.argwhere(cells)
    pick = rng.choice(len(free), 200, replace=False)
    s, g = free[pick[:100]], free[pick[100:]]
    import time

    began = time.monotonic()
    sol = mapf.solve(gridsearch.Grid(cells, connectivity=4), s, g, time_limit=0.3)
    # 0.3 s asked for; without the clock check the call would run until 200
    # agents' plan met its lower bound. How far calls overrun the limit is in
    # benchmarks/mapf.md (wall against limit).
    assert time.monotonic() - began < 5.0
    check_solution(cells, s, g, sol)
    # With no time at all there is no plan yet.
    sol = mapf.solve(gridsearch.Grid(cells, connectivity=4), s, g, time_limit=0.0)
    assert sol.status in ("timeout", "solved")


@pytest.mark.parametrize("algorithm", ["lacam", "ecbs"])
def test_ctrl_c_stops_a_solver(algorithm):
    code = """
import signal, sys, time, numpy as np, gridsearch
from gridsearch import mapf
signal.signal(signal.SIGINT, signal.default_int_handler)
cells = np.ones((40, 40), bool)
free = np.argwhere(cells)
rng = np.random.default_rng(0)
pick = rng.choice(len(free), 600, replace=False)
grid = gridsearch.Grid(cells, connectivity=4)
print("ready", flush=True)
try:
    mapf.solve(grid, free[pick[:300]], free[pick[300:]], algorithm=sys.argv[1], time_limit=120)
    print("finished", flush=True)
except KeyboardInterrupt:
    print("interrupted", repr(time.monotonic()), flush=True)
print("next", mapf.solve(grid, [(0, 0)], [(0, 3)]).sum_of_costs, flush=True)
"""
    check_stop(code, "next 3", algorithm)


def test_bad_input_names_the_agent_and_argument():
    grid = gridsearch.Grid(np.array([[1, 1, 1], [1, 0, 1]], bool), connectivity=4)
    with pytest.raises(ValueError, match="agent 1's start"):
        mapf.solve(grid, [(0, 0), (1, 1)], [(0, 1), (0, 2)])
    with pytest.raises(ValueError, match="agent 0's goal .* outside"):
        mapf.solve(grid, [(0, 0)], [(5, 0)])
    with pytest.raises(ValueError, match="agents 0 and 1 share the start"):
        mapf.solve(grid, [(0, 0), (0, 0)], [(0, 1), (0, 2)])
    with pytest.raises(ValueError, match="agents 0 and 1 share the goal"):
        mapf.solve(grid, [(0, 0), (0, 1)], [(0, 2), (0, 2)])
    with pytest.raises(ValueError, match="same number of agents"):
        mapf.solve(grid, [(0, 0), (0, 1)], [(0, 2)])
    with pytest.raises(ValueError, match=r"starts must be an \(agents, 2\)"):
        mapf.solve(grid, [0, 1], [(0, 2)])
    with pytest.raises(TypeError, match="starts must hold integers"):
        mapf.solve(grid, [(0.0, 1.0)], [(0, 2)])
    with pytest.raises(TypeError, match="grid must be a gridsearch.Grid"):
        mapf.solve(np.ones((3, 3), bool), [(0, 0)], [(0, 2)])
    with pytest.raises(ValueError, match="2D"):
        mapf.solve(gridsearch.Grid(np.ones((2, 2, 2), bool)), [(0, 0)], [(0, 1)])
    with pytest.raises(ValueError, match="connectivity=4"):
        mapf.solve(gridsearch.Grid(np.ones((3, 3), bool)), [(0, 0)], [(0, 1)])
    with pytest.raises(ValueError, match="algorithm"):
        mapf.solve(grid, [(0, 0)], [(0, 1)], algorithm="astar")
    with pytest.raises(ValueError, match="suboptimality applies"):
        mapf.solve(grid, [(0, 0)], [(0, 1)], suboptimality=1.5)
    with pytest.raises(ValueError, match="suboptimality must be"):
        mapf.solve(grid, [(0, 0)], [(0, 1)], algorithm="ecbs", suboptimality=0.9)
    with pytest.raises(ValueError, match="time_limit"):
        mapf.solve(grid, [(0, 0)], [(0, 1)], time_limit=-1)
    with pytest.raises(TypeError, match="seed"):
        mapf.solve(grid, [(0, 0)], [(0, 1)], seed=1.5)
    with pytest.raises(ValueError, match="threads"):
        mapf.solve(grid, [(0, 0)], [(0, 1)], threads=0)
    with pytest.raises(TypeError, match="threads"):
        mapf.solve(grid, [(0, 0)], [(0, 1)], threads=2.0)
    empty = mapf.solve(grid, np.zeros((0, 2), int), np.zeros((0, 2), int))
    assert empty.solved and empty.sum_of_costs == 0 and empty.paths.shape == (0, 1, 2)


def test_validate_finds_each_kind_of_fault():
    cells = np.ones((4, 5), bool)
    cells[3, 4] = False
    grid = gridsearch.Grid(cells, connectivity=4)
    s = np.array([(0, 0), (0, 4), (2, 2)])
    g = np.array([(0, 4), (0, 0), (2, 2)])
    sol = mapf.solve(grid, s, g, time_limit=10, max_iterations=10)
    good = sol.paths
    assert mapf.validate(grid, s, g, good) == []

    def kinds(paths, starts=s, goals=g):
        found = mapf.validate(grid, starts, goals, paths)
        assert bool(found) == bool(plan_faults(cells, starts, goals, paths))
        return {(f.kind, f.agents, f.time) for f in found}

    # Two agents in one cell at one time.
    p = np.array([[(1, 1), (1, 2), (2, 2)], [(1, 3), (1, 2), (1, 1)], [(3, 0), (3, 1), (3, 2)]])
    assert ("vertex", (0, 1), 1) in kinds(p, p[:, 0], p[:, -1])
    # A swap.
    p = np.array([[(1, 1), (1, 2)], [(1, 2), (1, 1)], [(3, 0), (3, 0)]])
    assert kinds(p, p[:, 0], p[:, -1]) == {("edge", (0, 1), 1)}
    # Following one another is allowed.
    p = np.array([[(1, 1), (1, 2)], [(1, 2), (1, 3)], [(3, 0), (3, 0)]])
    assert kinds(p, p[:, 0], p[:, -1]) == set()
    # A jump, a blocked cell, a cell outside the grid.
    p = np.array([[(0, 0), (0, 2), (0, 3)], [(3, 3), (3, 4), (3, 3)], [(2, 0), (2, -1), (2, 0)]])
    assert kinds(p, p[:, 0], p[:, -1]) == {("illegal_move", (0,), 1), ("illegal_move", (1,), 1),
                                           ("illegal_move", (2,), 1)}
    # Wrong ends.
    assert kinds(good, s[[1, 0, 2]], g) == {("wrong_start", (0,), 0), ("wrong_start", (1,), 0)}
    assert ("wrong_goal", (2,), good.shape[1] - 1) in kinds(good, s, g[[0, 1, 1]])
    with pytest.raises(ValueError, match="paths must be"):
        mapf.validate(grid, s, g, good[:2])


def test_benchmark_files_round_trip(tmp_path):
    cells = random_grid(np.random.default_rng(4), (7, 11), 0.3)
    io.write_map(tmp_path / "m.map", cells)
    assert np.array_equal(io.read_map(tmp_path / "m.map"), cells)
    s = np.array([(1, 9), (6, 0)])
    g = np.array([(0, 10), (3, 2)])
    io.write_scenario(tmp_path / "m.scen", s, g, map_name="m.map", shape=cells.shape, optimal=[1.5, 4.0])
    text = (tmp_path / "m.scen").read_text().splitlines()
    assert text[1].split("\t")[4:8] == ["9", "1", "10", "0"]  # x is the column, y the row
    scen = io.read_scenario(tmp_path / "m.scen")
    assert np.array_equal(scen.starts, s) and np.array_equal(scen.goals, g)
    assert scen.optimal.tolist() == [1.5, 4.0] and scen.map == "m.map" and scen.shape == (7, 11)
    assert len(io.read_scenario(tmp_path / "m.scen", 1).starts) == 1
    if MAP.exists():
        real = io.read_scenario(SCEN, 3)
        first = SCEN.read_text().splitlines()[1].split("\t")
        assert tuple(real.starts[0]) == (int(first[5]), int(first[4]))
        assert io.read_map(MAP)[tuple(real.starts[0])]


def test_benchmark_files_refuse_malformed_input(tmp_path):
    bad = tmp_path / "bad.map"
    bad.write_text("type octile\nheight 2\nwidth 3\nmap\n...\n..\n")
    with pytest.raises(ValueError, match="bad.map, line 6: the header says 3 columns"):
        io.read_map(bad)
    bad.write_text("type octile\nwidth 3\nmap\n...\n")
    with pytest.raises(ValueError, match="no 'height'"):
        io.read_map(bad)
    scen = tmp_path / "bad.scen"
    scen.write_text("version 1\n0\tm.map\t3\t2\t0\t0\t2\t1\t2.0\n0\tm.map\t3\t2\t0\t0\n")
    with pytest.raises(ValueError, match="bad.scen, line 3: expected 9 fields"):
        io.read_scenario(scen)
    assert len(io.read_scenario(scen, 1).starts) == 1  # only the rows asked for are read
    scen.write_text("version 1\n0\tm.map\t3\t2\t5\t0\t2\t1\t2.0\n")
    with pytest.raises(ValueError, match="line 2: a start or goal lies outside"):
        io.read_scenario(scen)
    with pytest.raises(ValueError, match="2 rows asked for"):
        io.read_scenario(scen.with_name("ok.scen") if False else tmp_path / "m2.scen" if
                         (tmp_path / "m2.scen").write_text("version 1\n0\tm\t3\t2\t0\t0\t2\t1\t2\n") else None, 2)
