"""`solve_problem`: a checked problem through `tourwright.solve` to a friendly `Tour`."""
from __future__ import annotations

import datetime as dt
import math
import numbers
from typing import Union

import tourwright

from .native import native_classes
from .problem import Problem
from .tour import Tour
from .values import MAX_SECONDS

TimeLimit = Union[int, float, dt.timedelta]


class SolveError(RuntimeError):
    """The solver stopped on an internal check (a `tourwright.PanicException`, as an Exception)."""


def solve_problem(problem: Problem, time_limit: TimeLimit | None = None) -> Tour:
    """Solve a checked problem.

    Without `time_limit` the search is one deterministic descent; with one (seconds or a
    `timedelta`, rounded up to whole seconds) it restarts from random tours until the limit
    has passed and returns the best tour found.
    """
    if not isinstance(problem, Problem):
        raise TypeError(f"problem: expected a Problem, got {type(problem).__name__}")
    seconds = None if time_limit is None else limit_seconds(time_limit)
    try:
        output = tourwright.solve(**problem.solve_arguments(), time_limit=seconds)
    except native_classes().PanicException as error:
        raise SolveError(f"the solver stopped: {error}") from error
    return Tour.from_output(output)


def limit_seconds(time_limit: object) -> int:
    """A time limit as whole seconds, rounded up."""
    if isinstance(time_limit, dt.timedelta):
        time_limit = time_limit.total_seconds()
    if isinstance(time_limit, bool) or not isinstance(time_limit, numbers.Real):
        raise TypeError(f"time_limit: expected seconds or a timedelta, got {type(time_limit).__name__}")
    value = float(time_limit)
    if math.isnan(value) or value < 0:
        raise ValueError(f"time_limit: {time_limit} is not a number of seconds >= 0")
    if value > MAX_SECONDS:
        raise ValueError(f"time_limit: {time_limit} is larger than {MAX_SECONDS} seconds")
    return math.ceil(value)
