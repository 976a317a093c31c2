"""`solve_problem`: a checked problem through the search engine to a friendly `Tour`."""

from __future__ import annotations

import time
from collections.abc import Sequence
from typing import Any

from .. import _engine
from ..model.problem import End, Problem
from ..units.local_time import zone_name
from .options import (
    Departure,
    ProgressCallback,
    SolveOptions,
    Strategy,
    TimeLimit,
    limit_seconds,
)
from .routes import checked_pinned, checked_route, route_of
from .tour import Tour

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
    initial: Sequence[int] | Tour | None = None,
    pinned: Sequence[int] = (),
) -> Tour:
    """Solve a checked problem.

    `strategy="iterated"` (the default) descends over moves between near neighbours, then
    kicks its tour a little and descends again, keeping a tour no worse than the last;
    `strategy="multistart"` is the search of `tourwright.solve`: independent descents, the
    first from the order 0, 1, ..., n - 1, the others from random tours.

    Without `time_limit` or `max_descents` the "iterated" search makes a number of descents
    that grows with the problem from a fixed seed (`SolveOptions.effort`): the same tour every
    time and on every machine, in about a second at 100 locations;
    "multistart" makes one descent, exactly the one `tourwright.solve` makes. With
    `time_limit` (seconds, fractions too, or a `timedelta`) the search goes on until the limit
    has passed; with `max_descents` it stops after that many descents; given both, whichever
    comes first. Where the limit ends the search before its first descent has finished, the
    tour is at least the one the search begins from, and its `cut_short` says so.

    - `start`: the tour leaves this location, which every descent and kick keeps first.
    - `end`: a location every descent and kick keeps last, where the tour finishes (its job
      done there like any other, late after its last window), or "open": the tour finishes
      with its last job. Without it the tour returns to `start`, and a return after the end
      of the start's last window counts as lateness, like a late job. Distance and every time
      total count only the legs driven. `depot=d` is `start=d, end=d`. Given none of the
      three, those of the problem hold; an `end` given alone leaves from the problem's start.
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
      one search per 8 locations, and no more than the cores unless the search is a seeded
      "iterated" one; they run on at most one OS thread per core (a seeded "iterated" search's
      searches in turn, which gives the same tour). A thread that cannot be started raises
      `SolveError`.
    - `on_progress(elapsed, descents, best)`: called from the solving thread about every
      100 ms; returning False ends the search with the best tour found so far. An exception it
      raises ends the search and propagates.
    - `initial`: a route (or a `Tour` of this problem) the search begins from, as given: the
      result is never worse than that route timed alone (`evaluate_route`), and with
      `max_descents=0` it is that route.
    - `pinned`: stops that follow the start in this order in every tour the search tries (a
      start is needed); the search orders the others.
    """
    entered = time.monotonic()
    options = SolveOptions(
        time_limit=None if time_limit is None else limit_seconds(time_limit),
        start=start,
        end=end,
        depot=depot,
        departure=departure,
        seed=seed,
        max_descents=max_descents,
        threads=threads,
        on_progress=on_progress,
        strategy=strategy,
        initial=None if initial is None else route_of(initial, "initial"),
        pinned=tuple(pinned),
    )
    return solve_with(problem, options, entered=entered)


def solve_with(problem: Problem, options: SolveOptions, *, entered: float | None = None) -> Tour:
    """`solve_problem` with its options as one record; the time limit counts from `entered`
    (a `time.monotonic()` instant; default: now)."""
    entered = time.monotonic() if entered is None else entered
    if not isinstance(problem, Problem):
        raise TypeError(f"problem: expected a Problem, got {type(problem).__name__}")
    arguments, keywords, offset = _engine_arguments(problem)
    first, last = ends_of(problem, options)
    pinned = checked_pinned(problem, options.pinned, first, last)
    initial = None
    if options.initial is not None:
        initial = checked_route(problem, options.initial, first, last, pinned, where="initial")
    elif options.max_descents == 0:
        raise ValueError("max_descents: 0 descents search nothing; give an initial route")
    max_descents, seed = options.effort(problem)
    limit = options.time_limit
    if limit is not None:  # the preparation above counts against the limit too
        limit = max(0.0, limit - (time.monotonic() - entered))
    try:
        output, descended = _engine.solve(
            *arguments,
            time_limit=limit,
            start=first,
            end=None if last == "open" else last,
            open_end=last == "open",
            latest_departure=options.departure == "latest",
            max_descents=max_descents,
            seed=None if seed is None else seed % _U64,
            threads=options.engine_threads(),
            on_progress=options.on_progress,
            strategy=options.strategy,
            initial=None if initial is None else list(initial),
            pinned=list(pinned) or None,
            **keywords,
        )
    except _engine.EngineError as error:
        raise SolveError(f"the solver stopped: {error}") from error
    # No descent asked for, the initial route is the answer asked for, not a cut-short search.
    cut_short = not descended and options.max_descents != 0
    return _tour(output, problem, offset, last, cut_short=cut_short)


def evaluate_route(
    problem: Problem,
    route: Sequence[int] | Tour,
    *,
    start: int | None = None,
    end: End | None = None,
    depot: int | None = None,
    departure: Departure = "latest",
) -> Tour:
    """The `Tour` of exactly `route`, timed as a search that ended on it would time it: the same
    totals, schedule and lateness, with `iterations == 0`.

    `route` visits each location of the problem once (a `Tour` of it will do), but optional ones
    it may leave out, beginning with the start and, where the tour has a fixed end, finishing
    with it; `start`, `end`, `depot` and `departure` mean what they mean to `solve_problem`. A
    route that is no such order raises a ValueError that names its first fault. `Tour.stops(problem)` then tells stop by stop when the
    van arrives, waits, works and leaves, and why a late stop is late.
    """
    if not isinstance(problem, Problem):
        raise TypeError(f"problem: expected a Problem, got {type(problem).__name__}")
    options = SolveOptions(start=start, end=end, depot=depot, departure=departure)
    first, last = ends_of(problem, options)
    order = checked_route(problem, route_of(route, "route"), first, last)
    return timed_route(problem, order, options)


def timed_route(problem: Problem, route: Sequence[int], options: SolveOptions) -> Tour:
    """The `Tour` of exactly `route` with the ends and departure of `options`: what a search
    that ended on it reports (but `iterations` and `time_taken_microseconds`, which are 0)."""
    arguments, keywords, offset = _engine_arguments(problem)
    first, last = ends_of(problem, options)
    try:
        output = _engine.evaluate(
            *arguments,
            list(route),
            start=first,
            end=None if last == "open" else last,
            open_end=last == "open",
            latest_departure=options.departure == "latest",
            **keywords,
        )
    except _engine.EngineError as error:
        raise SolveError(f"the solver stopped: {error}") from error
    return _tour(output, problem, offset, last)


def _engine_arguments(
    problem: Problem,
) -> tuple[tuple[Any, Any, Any, Any, Any], dict[str, Any], int]:
    """The problem's arguments of the engine, in its order, its keywords of open hours,
    breaks, window rules and optional locations, and the seconds its clock runs ahead (see
    `Problem.engine_offset`)."""
    arguments = problem.solve_arguments()
    time = problem.engine_time
    offset = time.offset
    if offset:
        arguments["time_windows"] = _shifted(arguments["time_windows"], offset)
    given = (
        arguments["distance_matrix"],
        arguments["duration_matrix"],
        arguments["job_durations"],
        arguments["time_windows"],
        time.operation_times,
    )
    keywords = time.keywords()
    if problem.optional is not None:  # only then, as for the other keywords of the engine
        keywords["optional"] = problem.optional
    return given, keywords, offset


def _tour(
    output: Any, problem: Problem, offset: int, last: End | None, cut_short: bool = False
) -> Tour:
    tz = None if problem.timezone is None else zone_name(problem.timezone)
    # Without breaks the engine takes none.
    breaks = _engine.breaks_of(output) if problem.engine_time.breaks else ()
    skipped: tuple[int, ...] = ()
    if not all(problem.required):
        served = set(output.route)
        skipped = tuple(location for location in range(problem.size) if location not in served)
    return Tour.from_output(
        output,
        shift=offset,
        timezone=tz,
        names=problem.names,
        returns=last is None,
        cut_short=cut_short,
        breaks=breaks,
        skipped=skipped,
        skipped_classes=tuple(problem.priority[location] or 0 for location in skipped),
    )


def ends_of(problem: Problem, options: SolveOptions) -> tuple[int | None, End | None]:
    """The start and end the options give, checked; none given: the problem's own, and an end
    given alone keeps the problem's start."""
    if options.start is None and options.depot is None:
        if options.end is None:
            return problem.start, problem.end
        if problem.start is not None:
            return problem.checked_ends(problem.start, options.end)
    return problem.checked_ends(options.start, options.end, options.depot)


def _shifted(time_windows: Any, offset: int) -> list[list[tuple[int, int]]]:
    """The windows moved by `offset` seconds, into the engine's clock."""
    moved = [[(start + offset, end + offset) for start, end in windows] for windows in time_windows]
    if any(start < 0 for windows in moved for start, _ in windows):
        raise ValueError("timezone: windows this close to 1970 cannot be read in local time")
    return moved
