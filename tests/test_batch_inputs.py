"""Batch calls read their own copy of the inputs: other threads, interpreter
exit and unusual memory layouts cannot change or break a running batch."""

import subprocess
import sys
import threading

import numpy as np
import pytest

import astar
import gridsearch
from helpers import same_result

SERPENTINE = """
import numpy as np
g = np.ones((2000, 2000), bool); g[1::2] = False; g[1::4, -1] = True; g[3::4, 0] = True
"""


def run_child(code: str, timeout: float = 120) -> subprocess.CompletedProcess:
    return subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=timeout)


@pytest.mark.parametrize("search", ["gridsearch.astar2D_batch(g, [[0, 0, 1998, 0]] * 40)",
                                    "gridsearch.Grid(g).distance_field_batch([(0, 0)] * 8, threads=2)",
                                    "[gridsearch.Grid(g).astar((0, 0), (1998, 0), algorithm=\"astar\") for _ in range(40)]"])
def test_a_search_running_at_interpreter_exit_ends_cleanly(search):
    # A daemon thread inside a search (the interpreter lock released) when the
    # interpreter exits: the process must still exit with 0.
    code = SERPENTINE + f"""
import threading, time, gridsearch
threading.Thread(target=lambda: {search}, daemon=True).start()
time.sleep(0.5)
"""
    for _ in range(5):
        done = run_child(code)
        assert done.returncode == 0 and "FATAL" not in done.stderr, (done.returncode, done.stderr[-2000:])


def test_an_exit_handler_may_wait_for_a_thread_in_a_search():
    # A handler registered before the package (so it runs after the
    # package's own) joins a daemon thread that is inside a search: the
    # search stops, the thread finishes, the process exits.
    code = SERPENTINE + """
import atexit, threading, time
worker = []
atexit.register(lambda: worker[0].join())
import gridsearch
worker.append(threading.Thread(target=lambda: [gridsearch.Grid(g).astar((0, 0), (1998, 0), algorithm="astar")
                                               for _ in range(40)],
                               daemon=True))
worker[0].start()
time.sleep(0.5)
"""
    done = run_child(code, timeout=60)
    assert done.returncode == 0 and "Search interrupted!" in done.stderr, (done.returncode, done.stderr[-2000:])


def test_a_child_forked_during_a_batch_exits():
    # The batch's thread waits for the interpreter lock now and then (its
    # Ctrl-C check); a child forked meanwhile has no such thread and must not
    # wait for it at exit.
    code = SERPENTINE + """
import os, sys, threading, time, warnings, gridsearch
warnings.simplefilter("ignore", DeprecationWarning)  # fork() of a threaded process
threading.Thread(target=lambda: gridsearch.astar2D_batch(g, [[0, 0, 1998, 0]] * 400), daemon=True).start()
time.sleep(0.2)
for _ in range(10):
    t = time.perf_counter()
    while time.perf_counter() - t < 0.01:  # busy, so that the batch's thread waits for the lock
        pass
    pid = os.fork()
    if pid == 0:
        sys.exit(0)  # runs the atexit callbacks
    for _ in range(300):
        if os.waitpid(pid, os.WNOHANG)[0]:
            break
        time.sleep(0.01)
    else:
        os.kill(pid, 9)
        sys.exit("a forked child did not exit")
"""
    done = run_child(code)
    assert done.returncode == 0, done.stderr[-2000:]


def test_a_grid_resized_by_another_thread_does_not_crash_the_batch():
    code = SERPENTINE + """
import threading, time, gridsearch
def shrink():
    time.sleep(0.2)
    g.resize((10, 10), refcheck=False)
threading.Thread(target=shrink).start()
rows = gridsearch.astar2D_batch(g, [[0, 0, 1998, 0]] * 6, threads=2)
print(len(rows), rows[0][1])
"""
    done = run_child(code)
    assert done.returncode == 0, done.stderr[-2000:]
    assert done.stdout.split() == ["6", "1999827.5986976419"]


def test_a_grid_written_during_a_batch_gives_every_row_one_grid():
    # A wall with one gap that another thread opens and closes all the time:
    # every row of one batch must see the same grid, the one of the call.
    grid = np.ones((300, 300), bool)
    grid[150, :] = False
    queries = np.array([[0, 0, 299, 299]] * 200)
    open_cost = astar.astar2D(np.where(np.arange(300) == 7, True, grid), 0, 0, 299, 299)[1]
    stop = threading.Event()

    def toggle():
        while not stop.is_set():
            grid[150, 7] = not grid[150, 7]

    writer = threading.Thread(target=toggle)
    writer.start()
    try:
        for _ in range(3):
            rows = gridsearch.astar2D_batch(grid, queries, threads=2)
            assert len({r[1] for r in rows}) == 1, sorted({r[1] for r in rows})
            assert rows[0][1] in (open_cost, np.inf)
    finally:
        stop.set()
        writer.join()


def unaligned(values: np.ndarray) -> np.ndarray:
    """A C-contiguous copy of `values` at an odd address."""
    buf = np.zeros(values.nbytes + 1, np.uint8)
    out = np.frombuffer(buf.data, dtype=values.dtype, count=values.size, offset=1).reshape(values.shape)
    out[...] = values
    assert out.flags.c_contiguous and not out.flags.aligned
    return out


def test_unaligned_maps_and_queries_give_the_aligned_results():
    rng = np.random.default_rng(3)
    grid = rng.random((40, 50)) > 0.25
    grid[0, 0] = grid[39, 49] = True
    h = rng.random(grid.shape) * 3
    queries = np.array([[0, 0, 39, 49], [39, 49, 0, 0]], np.int64)
    for bad_h, bad_q in ((unaligned(h), queries), (h, unaligned(queries)), (unaligned(h), unaligned(queries))):
        got = gridsearch.astar2D_heuristic_grid_batch(grid, bad_h, bad_q, 1.5, visited=True)
        want = gridsearch.astar2D_heuristic_grid_batch(grid, h, queries, 1.5, visited=True)
        assert all(same_result(a, b) for a, b in zip(got, want))
        got = gridsearch.focal2D_batch(grid, bad_q, 1.5, bad_h, visited=True)
        want = gridsearch.focal2D_batch(grid, queries, 1.5, h, visited=True)
        assert all(same_result(a, b) for a, b in zip(got, want))
    single = astar.astar2D_heuristic_grid(grid, unaligned(h), 0, 0, 39, 49, 1.5)
    assert same_result(single, astar.astar2D_heuristic_grid(grid, h, 0, 0, 39, 49, 1.5))
