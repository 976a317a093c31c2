"""`solve_problem`: a checked problem through the search engine to a friendly `Tour`."""
from __future__ import annotations

import datetime as dt
import math
import numbers
import os
from typing import Callable, Literal, Optional, Union

from . import _engine
from .problem import Problem
from .tour import Tour
from .values import MAX_SECONDS

TimeLimit = Union[int, float, dt.timedelta]
# Called with (elapsed seconds, descents begun, best objective so far or None); the objective
# is (lateness, traveling time, duration, waiting time, distance) with time data, (distance,)
# without. Returning False ends the search with the best tour found so far.
ProgressCallback = Callable[[float, int, Optional[tuple[int, ...]]], Optional[bool]]

Strategy = Literal["iterated", "multistart"]
STRATEGIES = ("iterated", "multistart")

_U64 = 2**64


class SolveError(RuntimeError):
    """The solver stopped on an internal check, for example time arithmetic beyond its range."""


def solve_problem(
    problem: Problem,
    time_limit: TimeLimit | None = None,
    *,
    depot: Optional[int] = None,
    seed: Optional[int] = None,
    max_descents: Optional[int] = None,
    threads: Optional[int] = 1,
    on_progress: Optional[ProgressCallback] = None,
    strategy: Strategy = "iterated",
) -> Tour:
    """Solve a checked problem.

    `strategy="iterated"` (the default) descends over moves between near neighbours, then
    kicks its tour a little and descends again, keeping a tour no worse than the last;
    `strategy="multistart"` is the search of `tourwright.solve`: independent descents, the
    first from the order 0, 1, ..., n - 1, the others from random tours.

    Without `time_limit` or `max_descents` the search is one deterministic descent (with
    "multistart", exactly the one `tourwright.solve` makes). With `time_limit` (seconds,
    fractions too, or a `timedelta`) it goes on until the limit has passed; with
    `max_descents` it stops after that many descents; given both, whichever comes first.

    - `depot`: the tour starts at this location at the opening of its first window, every
      descent keeps it first, and the tour ends with the return to it; a return after the end
      of its last window counts as lateness, like a late job.
    - `seed`: makes the random choices reproducible. With "multistart", descent d starts from
      a tour drawn from stream d of a generator seeded with it, so the same problem, seed and
      `max_descents` give the same tour on any number of threads. With "iterated", thread t
      draws from stream t and makes its share of `max_descents`, so the same problem, seed,
      `max_descents` and `threads` give the same tour. A time limit still makes the number of
      descents depend on the machine.
    - `threads`: searches run on that many threads at once (None: one per core): independent
      descents with "multistart", independent iterated searches with "iterated"; the best
      tour wins, and between equal tours the one of the earliest descent (or thread). At most
      one thread per 8 locations is started, and no more than the cores unless the search is
      a seeded "iterated" one; a thread that cannot be started raises `SolveError`.
    - `on_progress(elapsed, descents, best)`: called from the solving thread about every
      100 ms; returning False ends the search with the best tour found so far. An exception it
      raises ends the search and propagates.
    """
    if not isinstance(problem, Problem):
        raise TypeError(f"problem: expected a Problem, got {type(problem).__name__}")
    arguments = problem.solve_arguments()
    limit = None if time_limit is None else limit_seconds(time_limit)
    descents = _count("max_descents", max_descents, 1)
    start = _depot(problem, depot)
    seeded = None if seed is None else _integer("seed", seed) % _U64
    workers = (os.cpu_count() or 1) if threads is None else _count("threads", threads, 1)
    callback = _callable(on_progress)
    if strategy not in STRATEGIES:
        raise ValueError(f"strategy: expected one of {', '.join(map(repr, STRATEGIES))}, got {strategy!r}")
    try:
        output = _engine.solve(
            arguments["distance_matrix"], arguments["duration_matrix"], arguments["job_durations"],
            arguments["time_windows"], arguments["operation_times"], time_limit=limit,
            max_descents=descents, depot=start, seed=seeded, threads=workers, on_progress=callback,
            strategy=strategy)
    except _engine.EngineError as error:
        raise SolveError(f"the solver stopped: {error}") from error
    return Tour.from_output(output)


def limit_seconds(time_limit: object) -> float:
    """A time limit in seconds, checked."""
    if isinstance(time_limit, dt.timedelta):
        time_limit = time_limit.total_seconds()
    if isinstance(time_limit, bool) or not isinstance(time_limit, numbers.Real):
        raise TypeError(f"time_limit: expected seconds or a timedelta, got {type(time_limit).__name__}")
    value = float(time_limit)
    if math.isnan(value) or value < 0:
        raise ValueError(f"time_limit: {time_limit} is not a number of seconds >= 0")
    if value > MAX_SECONDS:
        raise ValueError(f"time_limit: {time_limit} is larger than {MAX_SECONDS} seconds")
    return value


def _integer(name: str, value: object) -> int:
    if isinstance(value, bool) or not isinstance(value, numbers.Integral):
        raise TypeError(f"{name}: expected an int, got {type(value).__name__}")
    return int(value)


def _count(name: str, value: object, least: int) -> Optional[int]:
    if value is None:
        return None
    count = _integer(name, value)
    if not least <= count < _U64:
        raise ValueError(f"{name}: {count} is not a whole number >= {least}")
    return count


def _depot(problem: Problem, depot: object) -> Optional[int]:
    if depot is None:
        return None
    location = _integer("depot", depot)
    n = len(problem.distance_matrix)
    if not 0 <= location < n:
        raise ValueError(f"depot: {location} is not a location of this problem (0 to {n - 1})")
    if problem.time_windows is not None and not problem.time_windows[location]:
        raise ValueError(f"depot: location {location} has no time window for the tour to start in")
    return location


def _callable(on_progress: object) -> Optional[ProgressCallback]:
    if on_progress is not None and not callable(on_progress):
        raise TypeError(f"on_progress: expected a callable, got {type(on_progress).__name__}")
    return on_progress
