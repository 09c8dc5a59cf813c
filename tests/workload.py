"""A mixed workload of every search, with maps, list inputs and failing calls.

Used in-process by the reference-count/RSS test and, under the sanitizer build,
by a child process whose exit runs the leak check.
"""

import sys

import numpy as np

import astar
import focal
import gridsearch


def leak_workload():
    """Returns (calls, objects): calls that succeed or raise, and the caller objects they use."""
    rng = np.random.default_rng(4)
    g2 = rng.random((40, 40)) > 0.2
    g3 = rng.random((10, 10, 10)) > 0.2
    g2[0, 0] = g2[-1, -1] = g3[0, 0, 0] = g3[-1, -1, -1] = True
    h2, h3 = rng.random(g2.shape), rng.random(g3.shape)
    lst = g2.tolist()
    costs = np.where(g2, 1.0 + 4.0 * h2, np.inf)
    planner = gridsearch.Grid(costs, corner_cutting=False, cost_model="mean")
    calls = [
        lambda: astar.astar2D(g2, 0, 0, 39, 39),
        lambda: astar.astar2D(lst, 0, 0, 39, 39, True),
        lambda: astar.astar2D_heuristic_grid(g2, h2, 0, 0, 39, 39, 2.0),
        lambda: astar.astar2D_heuristic_grid(g2, h2.tolist(), 0, 0, 39, 39, 2.0),
        lambda: astar.astar3D(g3, 0, 0, 0, 9, 9, 9),
        lambda: astar.astar3D_heuristic_grid(g3, h3, 0, 0, 0, 9, 9, 9, 1.5),
        lambda: focal.focal2D(g2, 0, 0, 39, 39, 1.05),
        lambda: focal.focal2D(g2, 0, 0, 39, 39, 1.5, h2),
        lambda: focal.focal3D(g3, 0, 0, 0, 9, 9, 9, 1.5, None, True),
        lambda: astar.astar2D(g2, 0, 0, 40, 0),  # bounds error
        lambda: astar.astar2D_heuristic_grid(g2, h3, 0, 0, 1, 1),  # map error
        lambda: focal.focal2D(g2, 0, 0, 1, 1, 1.0, "x"),  # NumPy error
        lambda: astar.astar3D(g2, 0, 0, 0, 0, 0, 0),  # rank error
        lambda: astar.astar2D(g2, 0, 0, 1.0, 1),  # conversion error
        lambda: gridsearch.Grid(g3, connectivity=18).astar((0, 0, 0), (9, 9, 9), visited=True),
        lambda: planner.astar((0, 0), (39, 39), w=1.5, heuristic=h2, max_expansions=500),
        lambda: planner.astar_batch([[0, 0, 39, 39], [39, 39, 0, 0]], threads=2, visited=True),
        lambda: gridsearch.Grid(np.array([[1.0, np.nan]])),  # cost error
        lambda: planner.astar((0, 0), (40, 0)),  # bounds error
        lambda: planner.astar((0, 0), [(39, 39), (20, 0)], visited=True),
        lambda: planner.descend(planner.distance_field([(39, 39), (0, 39)], reverse=True), (0, 0)),
        lambda: planner.next_steps(planner.distance_field(g2 & (rng.random(g2.shape) < 0.01)), [(1, 1), (5, 5)]),
        lambda: planner.distance_field_batch([(0, 0), [(3, 3), (9, 9)]], threads=2, max_cost=30),
        lambda: planner.descend(np.zeros((3, 3)), (0, 0)),  # field shape error
        lambda: planner.distance_field((0, 99)),  # origin error
        lambda: planner.focal((0, 0), (39, 39), 1.5, key=h2, visited=True),
        lambda: planner.focal_batch([[0, 0, 39, 39], [39, 39, 0, 0]], 2.0, threads=2, max_expansions=300),
        lambda: planner.focal((0, 0), (39, 39), 1.5, key=np.zeros((2, 2))),  # key error
    ]
    return calls, [g2, g3, h2, h3, lst, costs]


def run(calls, rounds: int) -> None:
    for _ in range(rounds):
        for call in calls:
            try:
                call()
            except (RuntimeError, ValueError, TypeError):
                pass


if __name__ == "__main__":
    calls, _ = leak_workload()
    run(calls, int(sys.argv[1]))
    if len(sys.argv) > 2 and sys.argv[2] == "control":
        # A deliberate leak through the C allocator, to show that the leak check is live.
        import ctypes

        libc = ctypes.CDLL(None)
        libc.malloc.restype = ctypes.c_void_p
        libc.malloc(4096)
    print("workload done", flush=True)
