"""One set of argument rules for every method of gridsearch.Grid: each bad
value of a kind of argument is refused by every method that takes it, with
the same exception naming the argument; and the private native layer does
not trust its arguments either."""

import math
from decimal import Decimal
from fractions import Fraction

import numpy as np
import pytest

import gridsearch

G = gridsearch.Grid(np.ones((6, 8)))
FIELD = G.distance_field((0, 0), reverse=True)
Q = np.array([[0, 0, 5, 7]])

# Every method taking an argument of each kind, as a call given the value.
REAL = {
    "w": [lambda v: G.astar((0, 0), (5, 7), w=v), lambda v: G.astar_batch(Q, w=v),
          lambda v: G.focal((0, 0), (5, 7), v), lambda v: G.focal_batch(Q, v)],
    "max_cost": [lambda v: G.astar((0, 0), (5, 7), max_cost=v), lambda v: G.astar_batch(Q, max_cost=v),
                 lambda v: G.distance_field((0, 0), max_cost=v), lambda v: G.distance_field_batch([(0, 0)], max_cost=v)],
    "blocked": [lambda v: gridsearch.Grid(np.ones((2, 2)), blocked=v)],
}
FLAG = {
    "visited": [lambda v: G.astar((0, 0), (5, 7), visited=v), lambda v: G.astar_batch(Q, visited=v),
                lambda v: G.focal((0, 0), (5, 7), 1.5, visited=v), lambda v: G.focal_batch(Q, 1.5, visited=v)],
    "reverse": [lambda v: G.distance_field((0, 0), reverse=v), lambda v: G.distance_field_batch([(0, 0)], reverse=v)],
    "corner_cutting": [lambda v: gridsearch.Grid(np.ones((2, 2)), corner_cutting=v)],
    "use_uniform_step_cost": [lambda v: gridsearch.Grid(np.ones((2, 2)), use_uniform_step_cost=v)],
    "precompute_jumps": [lambda v: gridsearch.Grid(np.ones((2, 2)), precompute_jumps=v)],
}
COUNT = {
    "max_expansions": [lambda v: G.astar((0, 0), (5, 7), max_expansions=v),
                       lambda v: G.astar_batch(Q, max_expansions=v),
                       lambda v: G.focal((0, 0), (5, 7), 1.5, max_expansions=v),
                       lambda v: G.focal_batch(Q, 1.5, max_expansions=v)],
}
CELL = {
    "start": [lambda v: G.astar(v, (5, 7)), lambda v: G.focal(v, (5, 7), 1.5), lambda v: G.descend(FIELD, v)],
    "goal": [lambda v: G.astar((0, 0), v), lambda v: G.focal((0, 0), v, 1.5)],
    "origins": [lambda v: G.distance_field(v)],
    "cells": [lambda v: G.next_steps(FIELD, v)],
}
CELLS = {
    "goal": [lambda v: G.astar((0, 0), v)],
    "origins": [lambda v: G.distance_field(v), lambda v: G.distance_field_batch([v])],
    "cells": [lambda v: G.next_steps(FIELD, v)],
}
CHOICE = {
    "algorithm": [lambda v: G.astar((0, 0), (5, 7), algorithm=v), lambda v: G.astar((0, 0), [(5, 7)], algorithm=v),
                  lambda v: G.astar_batch(Q, algorithm=v)],
    "cost_model": [lambda v: gridsearch.Grid(np.ones((2, 2)), cost_model=v)],
}
MAP = {
    "heuristic": [lambda v: G.astar((0, 0), (5, 7), heuristic=v), lambda v: G.astar_batch(Q, heuristic=v)],
    "key": [lambda v: G.focal((0, 0), (5, 7), 1.5, key=v), lambda v: G.focal_batch(Q, 1.5, key=v)],
}


def with_neg_inf():
    m = np.zeros((6, 8))
    m[2, 3] = -np.inf
    return m


def with_nan():
    m = np.zeros((6, 8))
    m[1, 4] = np.nan
    return m


# (kind, bad value, exception, message with {name} for the argument)
BAD = [
    (REAL, "2", TypeError, "{name} must be a real number, got str '2'"),
    (REAL, True, TypeError, "{name} must be a real number, got bool True"),
    (REAL, np.bool_(True), TypeError, "{name} must be a real number, got bool"),
    (REAL, np.array([2.0]), TypeError, "{name} must be a real number, got ndarray"),
    (REAL, [2.0], TypeError, "{name} must be a real number, got list"),
    (REAL, 2**2000, ValueError, "{name} is too large for a float64, got int"),
    (FLAG, "False", TypeError, "{name} must be True or False, got str 'False'"),
    (FLAG, "no", TypeError, "{name} must be True or False, got str 'no'"),
    (FLAG, 1, TypeError, "{name} must be True or False, got int 1"),
    (FLAG, np.array([True]), TypeError, "{name} must be True or False, got ndarray"),
    (COUNT, 1.0, TypeError, "{name} must be an integer or None, got float 1.0"),
    (COUNT, True, TypeError, "{name} must be an integer or None, got bool True"),
    (COUNT, "3", TypeError, "{name} must be an integer or None, got str '3'"),
    (COUNT, -1, ValueError, "{name} must be >= 0, got -1"),
    (CELL, (True, 0), TypeError, "{name} must hold integers, got True"),
    (CELL, (np.True_, 0), TypeError, "{name} must hold integers, got"),
    (CELL, (0.5, 0), TypeError, "{name} must hold integers, got"),
    (CELL, {0: 1, 1: 2}, TypeError, "{name} must be"),
    (CELL, {0, 1}, TypeError, "{name} must be"),
    (CELL, "ab", TypeError, "{name} must be"),
    (CELL, 3, TypeError, "{name} must be"),
    (CELL, np.zeros((1, 1, 2), int), ValueError, "{name} must be"),
    (CELL, np.ma.masked_array([0, 0], mask=[True, False]), ValueError, "{name} must not be a masked array"),
    (CELL, (0, 8), ValueError, "(0, 8) lies outside the grid of shape (6, 8)"),
    (CELL, (-1, 0), ValueError, "(-1, 0) lies outside the grid of shape (6, 8)"),
    (CELL, (2**70, 0), ValueError, "(1180591620717411303424, 0) lies outside the grid of shape (6, 8)"),
    (CELLS, [[True, 1]], TypeError, "{name} must hold integers, got True"),
    (CELLS, [[0, 1], [1, True]], TypeError, "{name} must hold integers, got True"),
    (CELLS, np.array([[0.0, 1.0]]), TypeError, "{name} must hold integers, got dtype float64"),
    (CELLS, np.ma.masked_array([[0, 0]]), ValueError, "{name} must not be a masked array"),
    (CELLS, np.array([[0, 0], [6, 0]]), ValueError, "{name} row 1 (6, 0) lies outside the grid of shape (6, 8)"),
    (CHOICE, "JPS", ValueError, "{name} must be one of "),
    (CHOICE, None, TypeError, "{name} must be one of "),
    (CHOICE, b"astar", TypeError, "{name} must be one of "),
    (MAP, with_neg_inf(), ValueError, "{name} holds -inf at (2, 3); its values must be numbers or +inf"),
    (MAP, with_nan(), ValueError, "{name} holds NaN at (1, 4); its values must be numbers or +inf"),
    (MAP, np.zeros((8, 6)), ValueError, "{name} must have the grid's shape (6, 8), got (8, 6)"),
    (MAP, np.full((6, 8), "a"), TypeError, "{name} must be a real-valued array, got dtype <U1"),
    (MAP, np.ma.masked_array(np.zeros((6, 8))), ValueError, "{name} must not be a masked array"),
]


@pytest.mark.parametrize("kind, value, error, message", BAD,
                         ids=[f"{next(iter(k))}-{type(v).__name__}-{i}" for i, (k, v, _, _) in enumerate(BAD)])
def test_every_method_refuses_a_bad_value_alike(kind, value, error, message):
    for name, calls in kind.items():
        for call in calls:
            with pytest.raises(error) as info:
                call(value)
            text = message.format(name=name)
            # a batch of origin sets names the set
            assert text in str(info.value) or text.replace("origins", "origin_sets[0]") in str(info.value), \
                (name, str(info.value))


def test_good_values_of_every_kind_are_taken():
    assert G.astar((0, 0), (5, 7), w=np.float32(1.5), max_cost=np.int64(100), max_expansions=np.uint8(200),
                   visited=np.True_).found
    assert G.astar(np.array([0, 0]), [np.int64(5), 7]).found
    assert G.astar((0, 0), [(5, 7), (5, 6)]).found
    assert G.distance_field(np.array([[0, 0]], np.uint16), reverse=np.False_)[0, 0] == 0
    assert G.next_steps(FIELD, []).shape == (0, 2)
    assert G.next_steps(FIELD, [range(1, 3)]).shape == (1, 2) and G.next_steps(FIELD, range(1, 3)).shape == (2,)
    assert G.astar((0, 0), (5, 7), w=Decimal("1.5"), max_cost=Fraction(100, 3)).found
    assert G.next_steps(FIELD, np.empty((0, 2), int)).shape == (0, 2)
    assert G.astar((0, 0), (5, 7), max_expansions=2**2000).found  # no limit in practice
    assert G.focal((0, 0), (5, 7), 2, key=np.where(np.ones((6, 8), bool), np.inf, 0)).found  # +inf keys taken


def test_the_native_layer_checks_what_it_is_given():
    native = G._native
    nothing = (1.0, None, math.inf, -1, False, 0)
    with pytest.raises(ValueError, match="field must have the grid's shape"):
        native.descend(np.zeros(1), [5, 7])
    with pytest.raises(ValueError, match="field must have the grid's shape"):
        native.next_steps(np.zeros(1), np.zeros((1, 2), np.int64))
    with pytest.raises(ValueError, match=r"cells must be an \(K, 2\) array of cells"):
        native.next_steps(FIELD, np.zeros((1, 1), np.int64))
    with pytest.raises(ValueError, match=r"goals must be an \(K, 2\) array of cells"):
        native.astar_goals([0, 0], np.zeros((1, 1), np.int64), *nothing)
    with pytest.raises(ValueError, match="lies outside the grid"):
        native.next_steps(FIELD, np.array([[9, 9]], np.int64))
    with pytest.raises(ValueError, match="a cell must have 2 coordinates"):
        native.astar([0], [5, 7], *nothing)
    with pytest.raises(ValueError, match="lies outside the grid"):
        native.astar([0, 2**40], [5, 7], *nothing)
    with pytest.raises(ValueError, match="max_expansions must be >= 0, or -1 for no limit, got -5"):
        native.astar([0, 0], [5, 7], 1.0, None, math.inf, -5, False, 0)
