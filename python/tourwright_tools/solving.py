"""`solve_problem`: a checked problem through the search engine to a friendly `Tour`."""

from __future__ import annotations

import datetime as dt
import math
import numbers
import os
import time
from collections.abc import Callable
from typing import Any, Literal

from . import _engine
from .local_time import zone_name
from .problem import End, Problem
from .tour import Tour
from .values import MAX_SECONDS

TimeLimit = int | float | dt.timedelta
# Called with (elapsed seconds, descents begun, best objective so far or None); the objective
# is (lateness, traveling time, duration, waiting time, distance) with time data, (distance,)
# without. Returning False ends the search with the best tour found so far.
ProgressCallback = Callable[[float, int, tuple[int, ...] | None], bool | None]

Strategy = Literal["iterated", "multistart"]
STRATEGIES = ("iterated", "multistart")
Departure = Literal["latest", "earliest"]
DEPARTURES = ("latest", "earliest")

_U64 = 2**64


class SolveError(RuntimeError):
    """The solver stopped on an internal check, for example time arithmetic beyond its range."""


def solve_problem(
    problem: Problem,
    time_limit: TimeLimit | None = None,
    *,
    start: int | None = None,
    end: End | None = None,
    depot: int | None = None,
    departure: Departure = "latest",
    seed: int | None = None,
    max_descents: int | None = None,
    threads: int | None = 1,
    on_progress: ProgressCallback | None = None,
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

    - `start`: the tour leaves this location, which every descent and kick keeps first.
    - `end`: a location every descent and kick keeps last, where the tour finishes (its job
      done there like any other, late after its last window), or "open": the tour finishes
      with its last job. Without it the tour returns to `start`, and a return after the end
      of the start's last window counts as lateness, like a late job. Distance and every time
      total count only the legs driven. `depot=d` is `start=d, end=d`. Given none of the
      three, those of the problem hold.
    - `departure`: "latest" (the default) leaves at the latest instant that changes neither
      the tour's lateness nor its end, so that it waits on the road only where it must;
      duration and waiting time are counted from there. "earliest" leaves when the first
      window of the first location opens.
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
    entered = time.monotonic()
    if not isinstance(problem, Problem):
        raise TypeError(f"problem: expected a Problem, got {type(problem).__name__}")
    arguments = problem.solve_arguments()
    limit = None if time_limit is None else limit_seconds(time_limit)
    search = search_options(
        max_descents=max_descents,
        seed=seed,
        threads=threads,
        on_progress=on_progress,
        strategy=strategy,
    )
    given = start is not None or end is not None or depot is not None
    first, last = problem.checked_ends(start, end, depot) if given else (problem.start, problem.end)
    if departure not in DEPARTURES:
        choices = ", ".join(map(repr, DEPARTURES))
        raise ValueError(f"departure: expected one of {choices}, got {departure!r}")
    offset = problem.engine_offset()
    if offset:
        arguments["time_windows"] = _shifted(arguments["time_windows"], offset)
    if limit is not None:  # the preparation above counts against the limit too
        limit = max(0.0, limit - (time.monotonic() - entered))
    try:
        output = _engine.solve(
            arguments["distance_matrix"],
            arguments["duration_matrix"],
            arguments["job_durations"],
            arguments["time_windows"],
            arguments["operation_times"],
            time_limit=limit,
            start=first,
            end=None if last == "open" else last,
            open_end=last == "open",
            latest_departure=departure == "latest",
            **search,
        )
    except _engine.EngineError as error:
        raise SolveError(f"the solver stopped: {error}") from error
    tz = None if problem.timezone is None else zone_name(problem.timezone)
    return Tour.from_output(
        output, shift=offset, timezone=tz, names=problem.names, returns=last is None
    )


def search_options(
    *,
    max_descents: object = None,
    seed: object = None,
    threads: object = 1,
    on_progress: object = None,
    strategy: object = "iterated",
) -> dict[str, Any]:
    """The options of `solve_problem` that do not depend on the problem, checked and in the
    engine's terms."""
    if strategy not in STRATEGIES:
        raise ValueError(
            f"strategy: expected one of {', '.join(map(repr, STRATEGIES))}, got {strategy!r}"
        )
    return {
        "max_descents": _count("max_descents", max_descents, 1),
        "seed": None if seed is None else _integer("seed", seed) % _U64,
        "threads": (os.cpu_count() or 1) if threads is None else _count("threads", threads, 1),
        "on_progress": _callable(on_progress),
        "strategy": strategy,
    }


def limit_seconds(time_limit: object) -> float:
    """A time limit in seconds, checked."""
    if isinstance(time_limit, dt.timedelta):
        time_limit = time_limit.total_seconds()
    if isinstance(time_limit, bool) or not isinstance(time_limit, numbers.Real):
        raise TypeError(
            f"time_limit: expected seconds or a timedelta, got {type(time_limit).__name__}"
        )
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


def _count(name: str, value: object, least: int) -> int | None:
    if value is None:
        return None
    count = _integer(name, value)
    if not least <= count < _U64:
        raise ValueError(f"{name}: {count} is not a whole number >= {least}")
    return count


def _shifted(time_windows: Any, offset: int) -> list[list[tuple[int, int]]]:
    """The windows moved by `offset` seconds, into the engine's clock."""
    moved = [[(start + offset, end + offset) for start, end in windows] for windows in time_windows]
    if any(start < 0 for windows in moved for start, _ in windows):
        raise ValueError("timezone: windows this close to 1970 cannot be read in local time")
    return moved


def _callable(on_progress: object) -> ProgressCallback | None:
    if on_progress is not None and not callable(on_progress):
        raise TypeError(f"on_progress: expected a callable, got {type(on_progress).__name__}")
    return on_progress
