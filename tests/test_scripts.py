"""The project's shell scripts: what they refuse, and checks that must not fail at random."""

import os
import subprocess
import sys
import zipfile

import pytest

SCRIPTS = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "scripts")
pytestmark = pytest.mark.skipif(not os.path.isdir(SCRIPTS), reason="the scripts are not shipped here")

MEMBERS = ["astar.cpython-312-x86_64-linux-gnu.so", "focal.cpython-312-x86_64-linux-gnu.so",
           "gridsearch/_batch.cpython-312-x86_64-linux-gnu.so", "gridsearch/__init__.py", "gridsearch/_batch.pyi",
           "gridsearch/_planner.cpython-312-x86_64-linux-gnu.so", "gridsearch/_planner.pyi", "gridsearch/_grid.py", "gridsearch/_args.py",
           "gridsearch/py.typed", "astar-stubs/__init__.pyi", "focal-stubs/__init__.pyi"]


def fake_wheel(path, members):
    # The members first, then a listing long enough to outlast a pipe's buffer.
    with zipfile.ZipFile(path, "w") as z:
        for name in members + [f"gridsearch-0.1.0.dist-info/filler/{i:05d}.txt" for i in range(3000)]:
            z.writestr(name, b"")
    return str(path)


def check_wheel(wheel):
    env = dict(os.environ, PYTHONUNBUFFERED="1")
    return subprocess.run(["bash", os.path.join(SCRIPTS, "check-wheel.sh"), sys.executable, wheel],
                          capture_output=True, text=True, env=env)


def test_wheel_listing_check_never_fails_on_a_good_wheel(tmp_path):
    wheel = fake_wheel(tmp_path / "good.whl", MEMBERS)
    for _ in range(20):
        done = check_wheel(wheel)
        assert done.returncode == 0, done.stderr


def test_wheel_listing_check_names_a_missing_member(tmp_path):
    done = check_wheel(fake_wheel(tmp_path / "bad.whl", [m for m in MEMBERS if "py.typed" not in m]))
    assert done.returncode == 1 and "gridsearch/py.typed missing" in done.stderr


def test_unsupported_python_version_is_refused_at_once():
    env = dict(os.environ, PYTHON_VERSION="3.9")
    done = subprocess.run(["bash", os.path.join(SCRIPTS, "test.sh")], capture_output=True, text=True, env=env,
                          timeout=30)
    assert done.returncode == 2
    assert "PYTHON_VERSION=3.9 is not supported; supported: 3.10 3.11 3.12 3.13" in done.stderr


def load_digests():
    import runpy

    return runpy.run_path(os.path.join(SCRIPTS, "digests.py"))["digests"]


def test_build_digests_see_one_ulp_and_one_expansion(monkeypatch):
    # The wheels are compared with the native build by these digests: a cost
    # one ulp off, or one expansion more, in one function must show, and only there.
    import math

    import astar
    import focal

    digests = load_digests()
    before = digests(40, seed=5)
    assert digests(40, seed=5) == before
    astar2D, focal3D = astar.astar2D, focal.focal3D

    def ulp_off(*args):
        path, cost, expansions, visited = astar2D(*args)
        return path, math.nextafter(cost, math.inf), expansions, visited

    def one_more(*args):
        path, cost, expansions, visited = focal3D(*args)
        return path, cost, expansions + 1, visited

    monkeypatch.setattr(astar, "astar2D", ulp_off)
    monkeypatch.setattr(focal, "focal3D", one_more)
    after = digests(40, seed=5)
    assert {k for k in before if before[k] != after[k]} == {"astar2D", "focal3D"}


def test_results_equal_the_committed_golden_digests():
    # Digests of 1000 seeded random calls of each search (scripts/digests.py)
    # as the landed builds gave them: a change that alters every build alike
    # (the native build and every wheel) still fails here. The six functions'
    # and their batches' must never change; the planner's only by a change
    # that means to, which then updates the file.
    import json

    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "golden_digests.json")) as f:
        golden = json.load(f)
    got = load_digests()(1000, 2026)
    assert got["inputs"] == golden["inputs"], "the random inputs changed: NumPy's generator or the script"
    assert {k: v for k, v in got.items()} == golden
