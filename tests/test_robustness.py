"""Hostile input, size limits, memory exhaustion, leaks and threads."""

import gc
import os
import subprocess
import sys
import textwrap

import numpy as np
import pytest

import astar
import focal
from helpers import same_result
from workload import leak_workload, run as run_workload

HERE = os.path.dirname(os.path.abspath(__file__))
SANITIZED = os.environ.get("GRIDSEARCH_SANITIZED") == "1"


def run_child(code: str, timeout: float = 600) -> subprocess.CompletedProcess:
    return subprocess.run(
        [sys.executable, "-c", textwrap.dedent(code)], capture_output=True, text=True, timeout=timeout, cwd=HERE
    )


def test_fuzz_never_crashes():
    calls = int(os.environ.get("GRIDSEARCH_FUZZ_CALLS", "20000"))
    seed = int(os.environ.get("GRIDSEARCH_FUZZ_SEED", "20261208"))
    proc = subprocess.run(
        [sys.executable, os.path.join(HERE, "fuzz_child.py"), str(seed), str(calls)],
        capture_output=True, text=True, timeout=3000,
    )
    assert proc.returncode == 0, f"exit {proc.returncode}\n{proc.stdout}\n{proc.stderr[-3000:]}"
    assert f"fuzzed {calls} calls" in proc.stdout


def endpoints(shape):
    """A grid of that shape, all blocked but two free endpoint cells (untouched pages cost nothing)."""
    grid = np.zeros(shape, bool)
    a, b = (0,) * len(shape), tuple(min(s - 1, 7) for s in shape)
    grid[a] = grid[b] = True
    return grid, a, b


def six_calls(grid, a, b):
    if grid.ndim == 2:
        yield lambda: astar.astar2D(grid, *a, *b)
        yield lambda: astar.astar2D_heuristic_grid(grid, None, *a, *b, 1.0)
        yield lambda: focal.focal2D(grid, *a, *b, 1.5)
    else:
        yield lambda: astar.astar3D(grid, *a, *b)
        yield lambda: astar.astar3D_heuristic_grid(grid, None, *a, *b, 1.0)
        yield lambda: focal.focal3D(grid, *a, *b, 1.5)


class TestSizeLimits:
    @pytest.mark.parametrize(
        "shape, message",
        [
            ((65536, 32768), "cannot create std::vector larger than max_size()"),  # negative 32-bit product
            ((65537, 65536), "cells; at most 2147483647"),  # wraps to 65536
            ((4097, 1024, 1024), "cells; at most 2147483647"),  # wraps to 1048576
            ((2**31, 1), "axis 0 has 2147483648 cells"),
            ((1, 2**32 + 3, 1), "axis 1 has 4294967299 cells"),
        ],
    )
    def test_refused(self, shape, message):
        grid, a, b = endpoints(shape)
        for call in six_calls(grid, a, b):
            with pytest.raises(ValueError, match=message.replace("(", r"\(").replace(")", r"\)")):
                call()
        del grid
        gc.collect()

    def test_blocked_endpoint_on_a_wrapping_grid_is_still_a_result(self):
        grid = np.zeros((65537, 65536), bool)
        path, cost, exp, visited = astar.astar2D(grid, 0, 0, 5, 5)
        assert path.shape == (0, 2) and exp == 0 and visited.shape == (65537, 65536)
        del visited


@pytest.mark.skipif(SANITIZED, reason="an address-space limit cannot coexist with the sanitizer's shadow memory")
def test_memory_exhaustion_is_memory_error():
    proc = run_child(
        """
        import resource, numpy as np, astar, focal
        grid = np.zeros((40000, 40000), bool)   # legal: 1.6e9 cells
        grid[0, 0] = grid[-1, -1] = True
        with open("/proc/self/statm") as f:
            in_use = int(f.read().split()[0]) * resource.getpagesize()
        soft = in_use + 2**30   # less than the 1.6 GB visited map needs
        resource.setrlimit(resource.RLIMIT_AS, (soft, resource.getrlimit(resource.RLIMIT_AS)[1]))
        for call in (lambda: astar.astar2D(grid, 0, 0, 39999, 39999),
                     lambda: focal.focal2D(grid, 0, 0, 39999, 39999, 2.0)):
            try:
                call()
            except MemoryError:
                print("MemoryError")
        small = np.ones((3, 3), bool)
        print(astar.astar2D(small, 0, 0, 2, 2)[1], focal.focal2D(small, 0, 0, 2, 2, 1.0)[2])
        """
    )
    assert proc.returncode == 0, proc.stderr
    assert proc.stdout.split() == ["MemoryError", "MemoryError", "2.8284271247461903", "3"]


def rss_bytes():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


@pytest.mark.skipif(not os.path.exists("/proc/self/statm"), reason="needs /proc")
def test_no_leaks():
    calls, objects = leak_workload()
    refs = [sys.getrefcount(o) for o in objects]
    run_workload(calls, 300)
    gc.collect()
    before = rss_bytes()
    run_workload(calls, int(os.environ.get("GRIDSEARCH_LEAK_ROUNDS", "3000")))
    gc.collect()
    after = rss_bytes()
    assert [sys.getrefcount(o) for o in objects] == refs
    if not SANITIZED:  # the sanitizer's quarantine holds freed memory; its leak check covers this
        assert after - before < 8 * 2**20, f"RSS grew from {before} to {after}"


def leak_check(*args):
    """Runs the workload in a child with the leak checker on; returns its stderr, or None if the checker broke."""
    env = dict(os.environ)
    env["ASAN_OPTIONS"] = env.get("ASAN_OPTIONS", "").replace("detect_leaks=0", "") + ":detect_leaks=1"
    for _ in range(3):
        proc = subprocess.run(
            [sys.executable, os.path.join(HERE, "workload.py"), *args],
            capture_output=True, text=True, timeout=600, env=env,
        )
        assert "workload done" in proc.stdout, proc.stderr[-3000:]
        if "LeakSanitizer has encountered a fatal error" not in proc.stderr:
            return proc
    return None


@pytest.mark.skipif(not SANITIZED, reason="needs the sanitizer build")
def test_leak_checker_finds_nothing_in_the_modules():
    control = leak_check("20", "control")
    if control is None:
        pytest.skip("LeakSanitizer itself fails on this machine")
    assert "detected memory leaks" in control.stderr and "4096 byte" in control.stderr, control.stderr[-3000:]
    proc = leak_check(os.environ.get("GRIDSEARCH_LEAK_ROUNDS", "400"))
    if proc is None:
        pytest.skip("LeakSanitizer itself fails on this machine")
    assert proc.returncode == 0 and "LeakSanitizer" not in proc.stderr, proc.stderr[-5000:]


def test_threads_match_serial_calls():
    proc = run_child(
        """
        import threading, numpy as np, astar, focal
        from helpers import same_result
        rng = np.random.default_rng(9)
        jobs = []
        for k in range(48):
            g3 = rng.random((9, 9, 9)) > 0.25; g3[0, 0, 0] = g3[8, 8, 8] = True
            g2 = rng.random((30, 30)) > 0.25; g2[0, 0] = g2[29, 29] = True
            jobs += [
                lambda g=g3: astar.astar3D(g, 0, 0, 0, 8, 8, 8),
                lambda g=g3: focal.focal3D(g, 0, 0, 0, 8, 8, 8, 1.5),
                lambda g=g3: astar.astar3D_heuristic_grid(g, None, 0, 0, 0, 8, 8, 8, 2.0),
                lambda g=g2: astar.astar2D(g, 0, 0, 29, 29),
                lambda g=g2: astar.astar2D_heuristic_grid(g, None, 0, 0, 29, 29, 2.0),
                lambda g=g2: focal.focal2D(g, 0, 0, 29, 29, 1.5),
            ]
        results = [None] * len(jobs)
        barrier = threading.Barrier(8)
        def worker(t):
            barrier.wait()
            for i in range(t, len(jobs), 8):
                results[i] = jobs[i]()
        threads = [threading.Thread(target=worker, args=(t,)) for t in range(8)]
        for t in threads: t.start()
        for t in threads: t.join()
        serial = [job() for job in jobs]
        print(all(same_result(a, b) for a, b in zip(results, serial)), len(jobs))
        """
    )
    assert proc.returncode == 0, proc.stderr
    assert proc.stdout.split() == ["True", "288"]


def test_caller_data_unchanged():
    rng = np.random.default_rng(6)
    grid = rng.random((12, 13)) > 0.3
    grid[0, 0] = grid[-1, -1] = True
    h = rng.random(grid.shape)
    h[3, 3] = np.nan
    g0, h0 = grid.copy(), h.copy()
    calls = [
        lambda: astar.astar2D_heuristic_grid(grid, h, 0, 0, 11, 12, 3.0),
        lambda: focal.focal2D(grid, 0, 0, 11, 12, 2.0, h),
        lambda: focal.focal2D(grid, 0, 0, 12, 12, 2.0, h),
        lambda: astar.astar2D_heuristic_grid(grid, h[:, :5], 0, 0, 11, 12),
    ]
    for call in calls:
        try:
            path, cost, exp, visited = call()
            visited[...] = True  # the result is the caller's own, not a view of anything
            path[...] = -1
        except RuntimeError:
            pass
        assert np.array_equal(grid, g0) and np.array_equal(h, h0, equal_nan=True)
    a = astar.astar2D(grid, 0, 0, 11, 12)
    assert same_result(a, astar.astar2D(g0, 0, 0, 11, 12))
