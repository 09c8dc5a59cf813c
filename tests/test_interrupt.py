"""Ctrl-C stops a long search: KeyboardInterrupt soon after the signal, memory
released, and the next call works."""

import os
import subprocess
import sys
import textwrap

import pytest

from helpers import check_stop

HERE = os.path.dirname(os.path.abspath(__file__))
SANITIZED = os.environ.get("GRIDSEARCH_SANITIZED") == "1"

# Searches that run for many seconds: the goal is walled in, so everything
# reachable is expanded first.
SETUP = """
import numpy as np, astar, focal
import signal
# Python leaves SIGINT ignored when it starts with it ignored (as in a shell's
# background job); the test needs its usual handler.
signal.signal(signal.SIGINT, signal.default_int_handler)
def walled(grid):
    grid[0, 0] = True
    grid[-2:, -2:] = False
    grid[-1, -1] = True
    return grid
LONG = {
    "focal2D": lambda: (walled(np.random.default_rng(1).random((1024, 1024)) >= 0.2),
                        lambda g: focal.focal2D(g, 0, 0, 1023, 1023, 1.5)),
    "astar2D": lambda: (walled(np.ones((8000, 8000), bool)), lambda g: astar.astar2D(g, 0, 0, 7999, 7999)),
}
"""

CHILD = SETUP + """
import sys, time
grid, call = LONG[sys.argv[1]]()
print("ready", flush=True)
try:
    call(grid)
    print("finished", flush=True)
except KeyboardInterrupt:
    print("interrupted", repr(time.monotonic()), flush=True)
small = np.ones((3, 3), bool)
print("next", astar.astar2D(small, 0, 0, 2, 2)[1], focal.focal2D(small, 0, 0, 2, 2, 1.0)[2], flush=True)
"""


@pytest.mark.parametrize("name", ["focal2D", "astar2D"])
def test_sigint_stops_a_long_search(name):
    check_stop(CHILD, "next 2.8284271247461903 3", name)


@pytest.mark.skipif(not os.path.exists("/proc/self/statm"), reason="needs /proc")
def test_interrupted_searches_release_their_memory():
    code = SETUP + textwrap.dedent(
        """
        import os, signal
        def rss():
            with open("/proc/self/statm") as f:
                return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")
        grid, call = LONG["focal2D"]()
        # A timer signal whose handler raises KeyboardInterrupt, as SIGINT's does.
        signal.signal(signal.SIGALRM, signal.default_int_handler)
        sizes = []
        for _ in range(6):
            signal.setitimer(signal.ITIMER_REAL, 0.3)
            try:
                call(grid)
            except KeyboardInterrupt:
                sizes.append(rss())
        print(len(sizes), sizes[-1] - sizes[0])
        """
    )
    proc = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=300, cwd=HERE)
    assert proc.returncode == 0, proc.stderr[-3000:]
    count, growth = map(int, proc.stdout.split())
    assert count == 6
    if not SANITIZED:  # the sanitizer's quarantine holds freed memory; its leak check covers this
        assert growth < 16 * 2**20, growth
