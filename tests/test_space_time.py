"""Single-agent search in space and time (Grid.space_time_astar) against a
breadth-first model over (time, cell) layers, and the reservation table."""

from __future__ import annotations

import threading

import numpy as np
import pytest

import gridsearch
from gridsearch.mapf import ReservationTable
from helpers import random_grid
from mapf_model import Constraints, check_timed_path, earliest_arrival, random_constraints


def table_of(grid, cons):
    t = ReservationTable(grid.shape)
    cons.fill(t)
    return t


@pytest.mark.parametrize("algorithm", ["sipp", "astar"])
def test_earliest_arrival_under_random_tables(algorithm):
    rng = np.random.default_rng(7)
    for trial in range(400):
        cells = random_grid(rng, (int(rng.integers(2, 8)), int(rng.integers(2, 8))), 0.2)
        grid = gridsearch.Grid(cells, connectivity=4)
        cons = random_constraints(rng, cells, int(rng.integers(0, 40)), 12)
        free = np.argwhere(cells)
        s, t = (tuple(int(v) for v in free[rng.integers(len(free))]) for _ in range(2))
        start_time = int(rng.integers(3))
        want = earliest_arrival(cells, s, t, cons, start_time)
        r = grid.space_time_astar(s, t, constraints=table_of(cells, cons), start_time=start_time,
                                  algorithm=algorithm)
        if want is None:
            assert r.status == "no_path" and len(r.path) == 0, trial
        else:
            assert r.status == "found", trial
            assert r.cost == want - start_time == len(r.path) - 1, trial
            check_timed_path(cells, r.path, s, t, cons, start_time)


def test_max_time_and_expansion_limits():
    rng = np.random.default_rng(3)
    for trial in range(150):
        cells = random_grid(rng, (6, 6), 0.15)
        grid = gridsearch.Grid(cells, connectivity=4)
        cons = random_constraints(rng, cells, 30, 10)
        free = np.argwhere(cells)
        s, t = (tuple(int(v) for v in free[rng.integers(len(free))]) for _ in range(2))
        want = earliest_arrival(cells, s, t, cons)
        for algorithm in ("sipp", "astar"):
            limit = int(rng.integers(0, 14))
            r = grid.space_time_astar(s, t, constraints=table_of(cells, cons), max_time=limit, algorithm=algorithm)
            if want is not None and want <= limit:
                assert r.status == "found" and r.cost == want
            else:
                assert r.status in ("max_cost", "no_path") and len(r.path) == 0
    # An expansion limit that is hit says so and gives no path.
    grid = gridsearch.Grid(np.ones((30, 30), bool), connectivity=4)
    for algorithm in ("sipp", "astar"):
        r = grid.space_time_astar((0, 0), (29, 29), max_expansions=5, algorithm=algorithm)
        assert r.status == "max_expansions" and r.expansions == 5 and len(r.path) == 0


def test_waits_for_a_passing_agent_and_never_swaps():
    # A corridor: the other agent walks towards us along it and parks in a
    # side pocket; we must step aside and may never swap with it.
    cells = np.array([[1, 1, 1, 1, 1],
                      [0, 1, 0, 0, 0]], bool)
    grid = gridsearch.Grid(cells, connectivity=4)
    table = ReservationTable(grid)
    table.reserve_path([(0, 4), (0, 3), (0, 2), (0, 1), (1, 1)])
    for algorithm in ("sipp", "astar"):
        r = grid.space_time_astar((0, 0), (0, 4), constraints=table, algorithm=algorithm)
        assert r.found and r.cost == 7  # through the corridor once the other has parked
        other = [(0, 4), (0, 3), (0, 2), (0, 1), (1, 1), (1, 1)]  # its cell at t = 0..5 and on
        for k in range(1, len(r.path)):
            assert tuple(r.path[k]) != other[min(k, 5)]
            assert not (tuple(r.path[k]) == other[min(k - 1, 5)] and tuple(r.path[k - 1]) == other[min(k, 5)])
    # The goal is reserved for ever: no plan. Forbidden later: arrive after.
    table.reserve_from((0, 0), 9)
    assert grid.space_time_astar((0, 4), (0, 0), constraints=table).status == "no_path"
    late = ReservationTable(grid)
    late.forbid_cell((0, 2), 20)
    r = grid.space_time_astar((0, 0), (0, 2), constraints=late)
    assert r.cost == 21 and tuple(r.path[20]) != (0, 2)


def test_start_equals_goal_blocked_ends_and_start_time():
    grid = gridsearch.Grid(np.array([[1, 1], [0, 1]], bool), connectivity=4)
    r = grid.space_time_astar((0, 0), (0, 0))
    assert r.found and r.cost == 0 and r.path.tolist() == [[0, 0]]
    assert grid.space_time_astar((1, 0), (0, 0)).status == "no_path"
    table = ReservationTable(grid)
    table.forbid_cell((0, 0), 4)
    assert grid.space_time_astar((0, 0), (1, 1), constraints=table, start_time=4).status == "no_path"
    assert grid.space_time_astar((0, 0), (1, 1), constraints=table, start_time=5).cost == 2


def test_bad_arguments_are_named():
    grid = gridsearch.Grid(np.ones((4, 4), bool), connectivity=4)
    table = ReservationTable(grid)
    with pytest.raises(ValueError, match="connectivity=4"):
        gridsearch.Grid(np.ones((4, 4), bool)).space_time_astar((0, 0), (1, 1))
    with pytest.raises(ValueError, match="cost the same"):
        gridsearch.Grid(np.array([[1.0, 2.0]]), connectivity=4).space_time_astar((0, 0), (0, 1))
    with pytest.raises(ValueError, match="2D"):
        gridsearch.Grid(np.ones((2, 2, 2), bool), connectivity=6).space_time_astar((0, 0, 0), (1, 1, 1))
    with pytest.raises(ValueError, match="start"):
        grid.space_time_astar((0, 9), (1, 1))
    with pytest.raises(TypeError, match="constraints"):
        grid.space_time_astar((0, 0), (1, 1), constraints={(0, 0): 1})
    with pytest.raises(ValueError, match="shape"):
        grid.space_time_astar((0, 0), (1, 1), constraints=ReservationTable((5, 4)))
    with pytest.raises(ValueError, match="max_time"):
        grid.space_time_astar((0, 0), (1, 1), start_time=5, max_time=3)
    with pytest.raises(ValueError, match="start_time"):
        grid.space_time_astar((0, 0), (1, 1), start_time=-1)
    with pytest.raises(TypeError, match="max_time"):
        grid.space_time_astar((0, 0), (1, 1), max_time=2.5)
    with pytest.raises(ValueError, match="algorithm"):
        grid.space_time_astar((0, 0), (1, 1), algorithm="cbs")
    with pytest.raises(ValueError, match="4-neighbours"):
        table.forbid_move((0, 0), (1, 1), 3)
    with pytest.raises(ValueError, match="cell"):
        table.forbid_cell((4, 0), 3)
    with pytest.raises(ValueError, match="t must be"):
        table.reserve_from((0, 0), -2)
    with pytest.raises(ValueError, match="path step 0"):
        table.reserve_path([(0, 0), (2, 0)])
    assert len(table) == 0


def test_table_refuses_changes_while_a_search_reads_it():
    # Searches on one thread, one after the other; changes from this one are
    # refused while a search holds the table, and accepted after.
    from helpers import serpentine

    cells = serpentine(300)
    grid = gridsearch.Grid(cells, connectivity=4)
    goal = tuple(int(v) for v in np.argwhere(cells)[-1])
    table = ReservationTable(grid)
    table.forbid_cell((0, 1), 1)
    stop = threading.Event()
    results = []

    def search():
        while not stop.is_set():
            results.append(grid.space_time_astar((0, 0), goal, constraints=table))

    worker = threading.Thread(target=search)
    worker.start()
    refused = 0
    try:
        for _ in range(200000):
            try:
                table.forbid_cell((0, 1), 1)
            except RuntimeError as e:
                assert "in use by a search" in str(e)
                refused += 1
                if refused == 3:
                    break
    finally:
        stop.set()
        worker.join()
    assert refused == 3 and results and all(r.found and r.cost == results[0].cost for r in results)
    table.forbid_cell((5, 5), 3)  # accepted once no search runs
    assert len(table) == 2


def test_the_last_time_steps():
    # Constraints at the last time step a table takes: no overflow, the two
    # searches agree, and a goal forbidden then can never be stayed at.
    grid = gridsearch.Grid(np.ones((3, 3), bool), connectivity=4)
    last = 2**31 - 2
    table = ReservationTable(grid)
    table.forbid_move((0, 0), (0, 1), last)
    table.forbid_cell((1, 1), last)
    for algorithm in ("sipp", "astar"):
        assert grid.space_time_astar((0, 0), (2, 2), constraints=table, algorithm=algorithm).cost == 4
        assert grid.space_time_astar((0, 0), (1, 1), constraints=table, algorithm=algorithm).status == "no_path"
        # From the last time step on, only staying put fits.
        assert grid.space_time_astar((0, 0), (2, 2), start_time=last, algorithm=algorithm).status == "max_cost"
        assert grid.space_time_astar((2, 2), (2, 2), start_time=last, algorithm=algorithm).cost == 0
    # A plan longer than the cap on returned plans is not searched for.
    late = ReservationTable(grid)
    late.forbid_cell((1, 1), 2**27)
    for algorithm in ("sipp", "astar"):
        assert grid.space_time_astar((0, 0), (1, 1), constraints=late, algorithm=algorithm).status == "max_cost"
