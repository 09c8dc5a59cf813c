"""The command line (`python -m gridsearch`): its output, exit codes and
messages for bad files, on generated files and the maps of data/."""

from __future__ import annotations

import subprocess
import sys
from pathlib import Path

import numpy as np
import pytest

from gridsearch import io
from oracle import oracle

DATA = Path(__file__).resolve().parents[1] / "data"


def cli(*args, cwd=None):
    return subprocess.run([sys.executable, "-m", "gridsearch", *map(str, args)], capture_output=True, text=True,
                          cwd=cwd, timeout=600)


def test_help_on_every_command():
    for command in ([], ["scen"], ["plan"], ["mapf"]):
        r = cli(*command, "--help")
        assert r.returncode == 0 and "usage: gridsearch" in r.stdout
    assert cli().returncode == 2  # no command


def test_scen_checks_the_files_optimal_lengths(tmp_path):
    cells = io.read_map(DATA / "maps" / "den520d.map")
    free = np.argwhere(cells)
    rng = np.random.default_rng(3)
    starts, goals, best = [], [], []
    while len(starts) < 6:
        s, g = (tuple(int(v) for v in free[rng.integers(len(free))]) for _ in range(2))
        # The Moving AI rule: 8 neighbours, octile steps, no corner cutting (SciPy's Dijkstra).
        cost = oracle(np.where(cells, 1.0, np.inf), s, g, 8, False, "enter", False)[0]
        if np.isfinite(cost):
            starts.append(s)
            goals.append(g)
            best.append(cost)
    (tmp_path / "den520d.map").write_text((DATA / "maps" / "den520d.map").read_text())
    io.write_scenario(tmp_path / "q.scen", starts, goals, map_name="den520d.map", shape=cells.shape, optimal=best,
                      buckets=[0, 0, 0, 1, 1, 1])
    r = cli("scen", tmp_path / "q.scen", "--check")
    assert r.returncode == 0, r.stderr
    lines = r.stdout.splitlines()
    assert lines[0].startswith("q.scen on den520d.map: 6 queries")
    assert [line.split()[:2] for line in lines[2:4]] == [["0", "3"], ["1", "3"]]
    assert lines[-1].endswith(": 0")
    best[4] += 1.0
    io.write_scenario(tmp_path / "q.scen", starts, goals, map_name="den520d.map", shape=cells.shape, optimal=best)
    assert cli("scen", tmp_path / "q.scen", "--algorithm", "astar").returncode == 0  # reported, not checked
    r = cli("scen", tmp_path / "q.scen", "--check", "--map", tmp_path / "den520d.map")
    assert r.returncode == 1 and r.stdout.splitlines()[-1].endswith(": 1")


def test_plan_prints_the_query_and_draws_it(tmp_path):
    r = cli("plan", DATA / "maps" / "den520d.map", "50,50", "200,200", "--png", tmp_path / "p.png")
    assert r.returncode == 0, r.stderr
    assert "status found" in r.stdout and (tmp_path / "p.png").read_bytes()[:4] == b"\x89PNG"
    cells = io.read_map(DATA / "maps" / "den520d.map")
    costs = np.where(cells, 2.0, 1.0)
    np.save(tmp_path / "c.npy", costs)
    four = cli("plan", DATA / "maps" / "den520d.map", "50,50", "200,200", "--connectivity", "4", "--costs",
               tmp_path / "c.npy")
    want = oracle(np.where(cells, 2.0, np.inf), (50, 50), (200, 200), 4, True, "enter", False)[0]
    assert four.returncode == 0 and f"cost {want:.6f}" in four.stdout
    blocked = tuple(int(v) for v in np.argwhere(~cells)[0])
    r = cli("plan", DATA / "maps" / "den520d.map", f"{blocked[0]},{blocked[1]}", "200,200")
    assert r.returncode == 1 and "status no_path" in r.stdout


def test_mapf_solves_and_animates(tmp_path):
    r = cli("mapf", DATA / "mapf" / "random-32-32-10.map", DATA / "mapf" / "random-32-32-10-random-1.scen", "-n", 40,
            "--time-limit", 0.5, "--gif", tmp_path / "a.gif")
    assert r.returncode == 0, r.stderr
    assert "status solved" in r.stdout and (tmp_path / "a.gif").read_bytes()[:6] == b"GIF89a"
    r = cli("mapf", DATA / "mapf" / "random-32-32-10.map", DATA / "mapf" / "random-32-32-10-random-1.scen", "-n", 5,
            "--algorithm", "cbs")
    assert r.returncode == 0 and "cbs" in r.stdout


def test_bad_files_and_arguments_give_one_line_and_status_2(tmp_path):
    bad_map = tmp_path / "bad.map"
    bad_map.write_text("type octile\nheight 2\nwidth 3\nmap\n...\n.\n")
    cases = [
        (("plan", tmp_path / "missing.map", "0,0", "1,1"), "missing.map: no such file"),
        (("plan", bad_map, "0,0", "0,1"), "bad.map, line 6: the header says 3 columns"),
        (("plan", DATA / "maps" / "den520d.map", "0;0", "1,1"), "START must be ROW,COLUMN"),
        (("plan", DATA / "maps" / "den520d.map", "0,0", "900,1"), "GOAL (900, 1) lies outside"),
        (("mapf", DATA / "mapf" / "random-32-32-10.map", DATA / "maps" / "den520d.map", "-n", 3),
         "den520d.map, line 1: expected 'version 1'"),
        (("mapf", DATA / "maps" / "den520d.map", DATA / "mapf" / "random-32-32-10-random-1.scen", "-n", 3),
         "the rows are for a 32 x 32 map"),
        (("scen", tmp_path / "none.scen"), "none.scen: no such file"),
    ]
    for args, message in cases:
        r = cli(*args)
        assert r.returncode == 2, (args, r.stdout, r.stderr)
        assert message in r.stderr and len(r.stderr.strip().splitlines()) == 1, r.stderr
    assert cli("plan", DATA / "maps" / "den520d.map", "0,0").returncode == 2  # argparse: GOAL missing
