"""`SolveOptions`: the options of a search, named, checked and documented once, and passed on
alike by `solve_problem`, `solve_many`, the command line and batches."""

from __future__ import annotations

import argparse
import dataclasses
import datetime as dt
import math
import numbers
import os
from collections.abc import Callable, Iterator, Mapping
from typing import Any, Literal

from ..model.problem import End, Problem
from ..units import values
from ..units.values import MAX_SECONDS
from .routes import route_of

TimeLimit = int | float | dt.timedelta
# Called with (elapsed seconds, descents begun, best objective so far or None); the objective
# is (lateness, traveling time, duration, waiting time, distance) with time data, (distance,)
# without. Returning False ends the search with the best tour found so far.
ProgressCallback = Callable[[float, int, tuple[int, ...] | None], bool | None]

Strategy = Literal["iterated", "multistart"]
STRATEGIES = ("iterated", "multistart")
Departure = Literal["latest", "earliest"]
DEPARTURES = ("latest", "earliest")

# The search that neither a limit nor a count of descents is asked for: a number of descents
# from a fixed seed, so that the tour is the same every time and on every machine. A descent
# costs about as much more as the problem is larger, so the count is two million over the
# number of locations, at least 1000 and at most 10,000: about a second at 100 locations and at
# 1000, some three at 2000.
# Where a location has several windows or the day has hours, a descent costs some thirty times
# as much (its trials are walked in full rather than summed in closed form), so those problems
# make a thirtieth of the count, at least 200 (bench/bench_default_effort.py).
DEFAULT_SEED = 0
DEFAULT_DESCENTS = (1_000, 10_000)
DEFAULT_LOCATION_DESCENTS = 2_000_000
TIMED_DESCENT_COST = 30
TIMED_LEAST_DESCENTS = 200


def default_descents(locations: int, walked: bool) -> int:
    """The descents of the default search of a problem of `locations`; `walked`: its trials
    are walked in full (several windows at a location, or operating hours)."""
    least, most = DEFAULT_DESCENTS
    count = max(least, min(most, DEFAULT_LOCATION_DESCENTS // max(locations, 1)))
    return max(TIMED_LEAST_DESCENTS, count // TIMED_DESCENT_COST) if walked else count


_U64 = 2**64


def _end(text: str) -> int | str:
    if text == "open":
        return text
    try:
        return int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"expected a location or 'open', got {text!r}") from None


def _threads(text: str) -> int:
    try:
        count = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"expected a number of threads, got {text!r}") from None
    if count < 0:
        raise argparse.ArgumentTypeError(f"expected 0 (one per core) or more, got {count}")
    return count


def locations_argument(text: str) -> tuple[int, ...]:
    """Locations written as on a command line: "4,2,7"."""
    try:
        return tuple(int(part) for part in text.split(",") if part.strip())
    except ValueError:
        raise argparse.ArgumentTypeError(
            f"expected locations separated by commas, got {text!r}"
        ) from None


def _option(default: Any, help: str, *, metavar: str | None = None, **command: Any) -> Any:
    """A field of `SolveOptions` with what its command-line option needs: `help`, `metavar`,
    and for argparse `type` or `choices` (no `command` at all: not on the command line)."""
    return dataclasses.field(
        default=default, metadata={"help": help, "metavar": metavar, "command": command}
    )


@dataclasses.dataclass(frozen=True)
class SolveOptions:
    """How `solve_problem` searches; every value is checked when the record is made.

    Without `time_limit` and `max_descents` the "iterated" search makes a number of descents
    that grows with the problem, from a fixed seed (`DEFAULT_SEED` where `seed` is None): the
    same tour every time and on every machine (for the same `threads`), about a second at 100
    locations. "multistart" makes one descent then, exactly that of `tourwright.solve`.
    """

    # Seconds; `solve_problem` and `solve_many` take a timedelta too.
    time_limit: float | None = _option(
        None,
        "seconds of search (fractions count); the default is a search whose length grows with "
        "the problem and gives the same tour every time",
        metavar="S",
        type=float,
    )
    max_descents: int | None = _option(
        None, "stop after N descents (also without a time limit)", metavar="N", type=int
    )
    seed: int | None = _option(
        None,
        "seed the random choices, so that the same problem, seed and --max-descents give the "
        "same tour",
        metavar="N",
        type=int,
    )
    depot: int | None = _option(
        None,
        "start and end the tour at this location (default: the file's; location 0 for a "
        "classic TSPTW file)",
        metavar="LOCATION",
        type=int,
    )
    start: int | None = _option(
        None, "leave from this location (default: the file's)", metavar="LOCATION", type=int
    )
    end: End | None = _option(
        None,
        "finish at this location, or 'open': finish with the last job (default: the file's, "
        "else back at the start)",
        metavar="LOCATION|open",
        type=_end,
    )
    departure: Departure = _option(
        "latest",
        "leave at the latest instant that changes neither lateness nor the end (latest, the "
        "default), or at the opening of the first window (earliest)",
        choices=DEPARTURES,
    )
    threads: int | None = _option(
        1,
        "run the search on N threads (0: one per core; default 1)",
        metavar="N",
        type=_threads,
    )
    strategy: Strategy = _option(
        "iterated",
        "iterated local search (the default) or the multi-start descent of tourwright.solve",
        choices=STRATEGIES,
    )
    pinned: tuple[int, ...] = _option(
        (),
        "keep these stops right after the start, in this order, in every tour searched",
        metavar="L,L,...",
        type=locations_argument,
    )
    on_progress: ProgressCallback | None = _option(
        None, "called about every 100 ms with (elapsed, descents, best); False stops"
    )
    # A route (or a `Tour`) the search begins from; the result is never worse than it.
    initial: tuple[int, ...] | None = _option(None, "")

    def __post_init__(self) -> None:
        if self.time_limit is not None:
            object.__setattr__(self, "time_limit", limit_seconds(self.time_limit))
        # No descent at all times the initial route alone, which `solve_with` requires then.
        for name, least in (("max_descents", 0), ("threads", 1)):
            object.__setattr__(self, name, _count(name, getattr(self, name), least))
        if self.seed is not None:
            object.__setattr__(self, "seed", _integer("seed", self.seed))
        # Locations: whether each is one of the problem's is checked with the problem.
        for name in ("depot", "start", "end"):
            value = getattr(self, name)
            if value is None or (name == "end" and value == "open"):
                continue
            if isinstance(value, str):
                also = " or 'open'" if name == "end" else ""
                raise ValueError(f"{name}: expected a location{also}, got {value!r}")
            object.__setattr__(self, name, values.integer(value, name))
        object.__setattr__(self, "pinned", route_of(self.pinned, "pinned"))
        if self.initial is not None:
            object.__setattr__(self, "initial", route_of(self.initial, "initial"))
        _choice("departure", self.departure, DEPARTURES)
        _choice("strategy", self.strategy, STRATEGIES)
        if self.on_progress is not None and not callable(self.on_progress):
            kind = type(self.on_progress).__name__
            raise TypeError(f"on_progress: expected a callable, got {kind}")

    def effort(self, problem: Problem) -> tuple[int | None, int | None]:
        """(max_descents, seed) the engine is given for `problem`: without a limit or a
        count, the default search's (see the class)."""
        if self.time_limit is not None or self.max_descents is not None:
            return self.max_descents, self.seed
        if self.strategy != "iterated":
            return None, self.seed
        walked = (
            problem.hours is not None
            or bool(problem.breaks)
            or any(len(windows) > 1 for windows in problem.time_windows or ())
        )
        count = default_descents(problem.size, walked)
        return count, DEFAULT_SEED if self.seed is None else self.seed

    def engine_threads(self) -> int:
        return available_cores() if self.threads is None else self.threads

    def replace(self, **changes: Any) -> SolveOptions:
        return dataclasses.replace(self, **changes)


def stoppable(callback: ProgressCallback | None, stopped: Callable[[], bool]) -> ProgressCallback:
    """`callback` (or none) as an `on_progress` that also ends the search once `stopped()`."""

    def check(elapsed: float, descents: int, best: tuple[int, ...] | None) -> bool | None:
        if stopped():
            return False
        return True if callback is None else callback(elapsed, descents, best)

    return check


def available_cores() -> int:
    """The cores this process may run on: those of its affinity (which `taskset` and
    containers narrow), no more than its control group's CPU quota allows."""
    if hasattr(os, "sched_getaffinity"):
        cores = len(os.sched_getaffinity(0)) or 1
    else:
        cores = os.cpu_count() or 1
    return max(1, min(cores, _cgroup_quota() or cores))


def _cgroup_quota() -> int | None:
    """The CPUs a cgroup v2 quota ("max" or "QUOTA PERIOD" in cpu.max) grants, rounded up."""
    try:
        with open("/sys/fs/cgroup/cpu.max", encoding="ascii") as file:
            quota, period = file.read().split()[:2]
        return math.ceil(int(quota) / int(period)) if quota != "max" else None
    except (OSError, ValueError, ZeroDivisionError):
        return None


def command_line_fields() -> Iterator[dataclasses.Field[Any]]:
    """The fields of `SolveOptions` that the command line takes, in order."""
    return (field for field in dataclasses.fields(SolveOptions) if field.metadata["command"])


# The options that place a tour's ends: a problem file holds them as its own "start", "end" and
# "depot", beside its data.
END_OPTIONS = frozenset({"depot", "start", "end"})


def file_option_names() -> tuple[str, ...]:
    """The options a problem file may hold under "options", in order: those of the command line
    but the ends, which it holds beside its data."""
    return tuple(field.name for field in command_line_fields() if field.name not in END_OPTIONS)


def flag(name: str) -> str:
    """The command-line option of a field."""
    return "--" + name.replace("_", "-")


def add_arguments(parser: argparse.ArgumentParser, default: Any = None) -> None:
    """One option per field of `command_line_fields`, left at `default` where not given (so
    that a command's own parser can leave alone what was given before its name)."""
    for field in command_line_fields():
        parser.add_argument(
            flag(field.name),
            dest=field.name,
            default=default,
            metavar=field.metadata["metavar"],
            help=field.metadata["help"],
            **field.metadata["command"],
        )


def given_arguments(args: argparse.Namespace) -> dict[str, Any]:
    """The options given on a command line, as keywords of `SolveOptions`."""
    given = {
        field.name: getattr(args, field.name)
        for field in command_line_fields()
        if getattr(args, field.name, None) is not None
    }
    if given.get("threads") == 0:
        given["threads"] = None
    return given


def from_arguments(args: argparse.Namespace, base: Mapping[str, Any] | None = None) -> SolveOptions:
    """The record of the options given on a command line over those of `base` (a file's), each
    fault of the command line named by its option."""
    given = given_arguments(args)
    try:
        SolveOptions(**given)
    except (TypeError, ValueError) as error:
        raise type(error)(command_line_message(str(error))) from None
    return SolveOptions(**{**(base or {}), **given})


def command_line_message(message: str) -> str:
    """A message about a field, as it reads on the command line: "--max-descents: ..."."""
    name, colon, rest = message.partition(":")
    if colon and name in {field.name for field in command_line_fields()}:
        return flag(name) + colon + rest
    return message


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


def _choice(name: str, value: object, choices: tuple[str, ...]) -> None:
    if value not in choices:
        raise ValueError(f"{name}: expected one of {', '.join(map(repr, choices))}, got {value!r}")
