"""A checked problem: the data of `tourwright.solve`, validated and normalised when it is built."""

from __future__ import annotations

import dataclasses
import datetime as dt
import math
import operator
from typing import Any, Literal

from ..units import geo, local_time, values
from ..units.matrix import Matrix, fast_matrix, fast_windows
from ..units.values import SECONDS_PER_DAY, clock
from .breaks import Break, check_lengths, read_breaks
from .calendar import CLOCK_CHANGES, Calendar, ClockChanges, pair_bounds
from .horizon import EngineTime, engine_time

Window = tuple[int, int]
End = int | Literal["open"]
WindowRule = Literal["whole", "start"]
WINDOW_RULES = ("whole", "start")

# Instants outside these bounds are far more likely hours, offsets or milliseconds than Unix
# seconds of a real schedule (1973-03-03 and 2100-01-01).
EARLIEST_PLAUSIBLE_INSTANT = 100_000_000
LATEST_PLAUSIBLE_INSTANT = 4_102_444_800
# A single travel leg or job of more than a year suggests milliseconds.
LONGEST_PLAUSIBLE_DURATION = 366 * SECONDS_PER_DAY
# A travel leg longer than a week and than the whole span of the time windows cannot be meant
# (a matrix in milliseconds gives such legs).
LONGEST_PLAUSIBLE_LEG = 7 * SECONDS_PER_DAY
# Opening hours of less than an hour a day suggest hours given where seconds belong.
SHORTEST_PLAUSIBLE_OPENING = 3600

_TIME_DATA = ("duration_matrix", "job_durations", "time_windows")
# The most days a tour's schedule may span (the engine's bound, as its records take time
# to build and convert).
_MOST_WORKING_DAYS = 10_000
_UNITS_HINT = "pass check_units=False if this is really meant"
# The priority classes the engine holds (32-bit signed integers).
PRIORITY_RANGE = (-(2**31), 2**31 - 1)


@dataclasses.dataclass(frozen=True, init=False, repr=False)
class Problem:
    """A TSPTW problem for `solve_problem`, checked up front.

    The arguments are those of `tourwright.solve`. They may be lists, tuples or numpy arrays;
    durations may be `timedelta` or numpy `timedelta64`, window bounds timezone-aware
    `datetime` (numpy `datetime64` with a `timezone`), and operating hours `datetime.time`;
    strings in ISO 8601 are read as such ("PT20M", "2026-12-07T08:00:00+01:00", "08:00").
    Time data is all three of `duration_matrix`, `job_durations` and `time_windows`, or none
    of them.

    Open hours are `hours` (or `operation_times`, one or the other): a pair ("08:00", "17:00")
    every day, several a day [("08:00", "12:00"), ("13:00", "17:00")], one across midnight
    ("22:00", "06:00", `hours` only: an `operation_times` pair stays within one day), or a
    mapping of weekday names ("mon" ... "sun"; those not named are closed) and ISO dates that
    differ, each to a pair, a list of pairs or None (closed). They are local times in the
    `timezone`; `clock_changes` reads a time the clocks skip or show twice: "refuse" (the
    default), or its "earlier" or "later" reading. `breaks`: `Break`s, taken on the days they
    name. `window_rule`: "whole" (the job within a window) or "start" (only its start), or one
    per location.

    `required`: one bool per location (default: all True). A location with False is optional:
    a tour may leave it out, which costs less the lower its class in `priority`, one entry per
    location: an int for an optional location (None there is class 0), None for a required one.
    A tour is as little late as it can be first, then leaves out the least: classes compared
    from the highest (one stop of a higher class outweighs any number of a lower one), within a
    class fewer stops, then less job time. The start, a fixed end and pinned stops are required.

    `names`, `coordinates` (x, y per location) and `places` ((lat, lon) per location, in
    degrees; `from_places` makes the matrices from them) are only used for display. With
    `check_units` (the default) values that look like a unit mistake (milliseconds, hours) are
    refused.

    - `start`: the location every tour leaves from: at the latest instant that changes
      neither lateness nor the end (`solve_problem`'s default `departure="latest"`), or at
      the opening of its first window (`departure="earliest"`, as `tourwright.solve` does).
    - `end`: where it finishes: a location kept last (its job done there like any other),
      or "open" (it finishes with its last job). Without `end` it returns to `start`.
      `depot=d` is `start=d, end=d`. `solve_problem` may override all three.
    - `timezone`: an IANA name, a `ZoneInfo`, a fixed offset ("+01:00" or a
      `datetime.timezone`). Operating hours and datetimes without an offset are then local
      (a `datetime.time` with a zone also gives the problem that zone), and results show
      local times. A local time the clocks skip, or show twice unless a datetime's `fold`
      or an offset says which, is refused.
    """

    distance_matrix: Matrix
    duration_matrix: Matrix | None
    job_durations: tuple[int, ...] | None
    time_windows: tuple[tuple[Window, ...], ...] | None
    operation_times: Window | None
    hours: Calendar | None
    breaks: tuple[Break, ...]
    window_rule: tuple[WindowRule, ...]
    clock_changes: ClockChanges
    names: tuple[str, ...] | None
    coordinates: tuple[tuple[float, float], ...] | None
    check_units: bool
    start: int | None
    end: End | None
    timezone: dt.tzinfo | None
    places: tuple[tuple[float, float], ...] | None
    # Per location: whether every tour serves it, and the class of an optional one (None where
    # it is required).
    required: tuple[bool, ...]
    priority: tuple[int | None, ...]
    # How `from_places` made the matrices, so that `to_dict` writes the places as given.
    place_travel: geo.PlaceTravel | None = dataclasses.field(default=None, compare=False)

    def __init__(
        self,
        distance_matrix: Any,
        duration_matrix: Any = None,
        job_durations: Any = None,
        time_windows: Any = None,
        operation_times: Any = None,
        *,
        hours: Any = None,
        breaks: Any = None,
        window_rule: Any = "whole",
        clock_changes: Any = "refuse",
        names: Any = None,
        coordinates: Any = None,
        check_units: bool = True,
        start: Any = None,
        end: Any = None,
        depot: Any = None,
        timezone: Any = None,
        places: Any = None,
        required: Any = None,
        priority: Any = None,
    ) -> None:
        if not isinstance(check_units, bool):
            raise TypeError(
                f"check_units: expected True or False, got {type(check_units).__name__}"
            )
        given = {
            "duration_matrix": duration_matrix,
            "job_durations": job_durations,
            "time_windows": time_windows,
        }
        present = [name for name in _TIME_DATA if given[name] is not None]
        if present and len(present) < len(_TIME_DATA):
            missing = [name for name in _TIME_DATA if given[name] is None]
            raise ValueError(
                f"partial time data: {' and '.join(present)} given without {' and '.join(missing)}; "
                "time data needs all of duration_matrix, job_durations and time_windows"
            )
        if operation_times is not None and hours is not None:
            raise ValueError("hours: give operation_times or hours, not both")
        for name, given_value in (("operation_times", operation_times), ("hours", hours)):
            if given_value is not None and not present:
                raise ValueError(
                    f"{name}: operating hours need time data "
                    "(duration_matrix, job_durations and time_windows)"
                )
        if breaks is not None and not present:
            raise ValueError("breaks: breaks need time data")
        if clock_changes not in CLOCK_CHANGES:
            raise ValueError(
                f"clock_changes: expected one of {', '.join(CLOCK_CHANGES)}, got {clock_changes!r}"
            )
        distances = _matrix(
            distance_matrix, "distance_matrix", None, values.integer, values.MAX_U64
        )
        n = len(distances)
        set_field = object.__setattr__
        set_field(self, "check_units", check_units)
        set_field(self, "timezone", local_time.zone(timezone))
        set_field(self, "clock_changes", clock_changes)
        # The hours first: a zone they carry is the problem's, for the windows too.
        calendar = self._calendar(operation_times, hours)
        set_field(self, "hours", calendar)
        set_field(self, "operation_times", None if calendar is None else calendar.daily_pair)
        set_field(self, "breaks", () if breaks is None else read_breaks(breaks))
        check_lengths(self.breaks, calendar)
        set_field(self, "distance_matrix", distances)
        set_field(
            self,
            "duration_matrix",
            None
            if duration_matrix is None
            else _matrix(duration_matrix, "duration_matrix", n, self._duration, self._longest),
        )
        set_field(
            self,
            "job_durations",
            None
            if job_durations is None
            else tuple(
                self._duration(value, f"job_durations[{i}]")
                for i, value in enumerate(_located(job_durations, "job_durations", n, "durations"))
            ),
        )
        set_field(
            self, "time_windows", None if time_windows is None else self._windows(time_windows, n)
        )
        set_field(self, "window_rule", _window_rules(window_rule, n))
        set_field(self, "names", None if names is None else _names(names, n))
        set_field(
            self, "coordinates", None if coordinates is None else _coordinates(coordinates, n)
        )
        set_field(self, "places", None if places is None else _places(places, n))
        set_field(self, "required", _required(required, n))
        set_field(self, "priority", _priority(priority, self.required))
        first, last = self.checked_ends(start, end, depot)
        set_field(self, "start", first)
        set_field(self, "end", last)
        if self.check_units:
            self._check_job_lengths()
            self._check_leg_lengths()
        self._check_working_days()
        # Laid out now, so that a calendar that cannot cover the horizon is refused here.
        set_field(self, "_engine_time", engine_time(self))

    @classmethod
    def from_places(
        cls,
        places: Any,
        *,
        speed: float,
        detour: float = geo.DEFAULT_DETOUR,
        unit: Literal["m", "km"] = "m",
        **rest: Any,
    ) -> Problem:
        """A problem whose matrices are made from `places`, (lat, lon) pairs in degrees, by
        `matrices_from_coordinates`: great circles `detour` times longer, travelled at `speed`
        km/h, distances in `unit`. `rest` are the other arguments of `Problem`; the travel
        times are kept where they are time data (with `job_durations` and `time_windows`)."""
        given = sorted({"distance_matrix", "duration_matrix"} & set(rest))
        if given:
            raise ValueError(
                f"{given[0]}: given with a speed; a problem from places has its matrices made "
                "from them"
            )
        distances, durations = geo.matrices_from_coordinates(
            places, speed=speed, detour=detour, unit=unit
        )
        timed = rest.get("job_durations") is not None or rest.get("time_windows") is not None
        problem = cls(distances, durations if timed else None, places=places, **rest)
        object.__setattr__(problem, "place_travel", geo.PlaceTravel(speed, detour, unit))
        return problem

    @property
    def size(self) -> int:
        """The number of locations."""
        return len(self.distance_matrix)

    @property
    def has_time_data(self) -> bool:
        return self.time_windows is not None

    def name(self, location: int) -> str:
        """The location's name, or its index when the problem has no names."""
        return self.names[location] if self.names is not None else str(location)

    def checked_ends(
        self, start: Any = None, end: Any = None, depot: Any = None
    ) -> tuple[int | None, End | None]:
        """`start` and `end` (or `depot` for both) checked: the start a location, the end a
        location or "open" that comes with a start; an end at the start is the return to it."""
        if depot is not None:
            if start is not None or end is not None:
                raise ValueError("depot: give either depot or start and end, not both")
            start = end = depot
        name = "depot" if depot is not None else "start"
        first = None if start is None else self._location(start, name)
        if end is None:
            return first, None
        if first is None:
            raise ValueError("end: an end needs a start (the location the tour leaves from)")
        if end == "open":
            return first, "open"
        if isinstance(end, str):
            raise ValueError(f"end: expected a location or 'open', got {end!r}")
        last = self._location(end, "end")
        return first, None if last == first else last

    def _location(self, value: Any, name: str) -> int:
        location = values.integer(value, name)
        if location >= self.size:
            raise ValueError(
                f"{name}: {location} is not a location of this problem (0 to {self.size - 1})"
            )
        if not self.required[location]:
            raise ValueError(
                f"{name}: {location} is optional (required=False); a tour's start and fixed end "
                "are always served"
            )
        return location

    @property
    def optional(self) -> list[int | None] | None:
        """The engine's `optional` argument: None where every location is required, else per
        location None (required) or the class of an optional one."""
        return None if all(self.required) else list(self.priority)

    @property
    def engine_time(self) -> EngineTime:
        """The time arguments of the engine: the hours, breaks and window rules, and the
        seconds its clock runs ahead of the instants."""
        result: EngineTime = self.__dict__["_engine_time"]
        return result

    def engine_offset(self) -> int:
        """Seconds to add to every instant so that the engine, which counts daily operating
        hours from the midnight of its own clock, counts them from local midnight (0 where the
        hours go to it as instants, or there are none)."""
        return self.engine_time.offset

    def solve_arguments(self) -> dict[str, Any]:
        """Keyword arguments for `tourwright.solve` (without `time_limit`); the matrices as
        buffers, which it reads without a Python object per entry. With a `timezone` the operating
        hours are local, which `solve_problem` accounts for and `solve` does not; a calendar, breaks
        and window rules only `solve_problem` knows."""
        return {
            "distance_matrix": self.distance_matrix.buffer,
            "duration_matrix": None
            if self.duration_matrix is None
            else self.duration_matrix.buffer,
            "job_durations": self.job_durations,
            "time_windows": self.time_windows,
            "operation_times": self.operation_times,
        }

    def to_dict(self) -> dict[str, Any]:
        """The problem as JSON-ready data whose keys are the constructor's parameter names."""
        travel = self.place_travel
        data: dict[str, Any] = (
            {"distance_matrix": self.distance_matrix.tolist()} if travel is None else travel.keys()
        )
        if self.duration_matrix is not None and travel is None:
            data["duration_matrix"] = self.duration_matrix.tolist()
        if self.job_durations is not None:
            data["job_durations"] = list(self.job_durations)
        if self.time_windows is not None:
            data["time_windows"] = [[list(w) for w in ws] for ws in self.time_windows]
        if self.operation_times is not None:
            data["operation_times"] = list(self.operation_times)
        elif self.hours is not None:
            data["hours"] = self.hours.to_data()
        if self.breaks:
            data["breaks"] = [item.to_data() for item in self.breaks]
        if "start" in self.window_rule:
            rules = set(self.window_rule)
            data["window_rule"] = "start" if len(rules) == 1 else list(self.window_rule)
        if self.clock_changes != "refuse":
            data["clock_changes"] = self.clock_changes
        if self.names is not None:
            data["names"] = list(self.names)
        if self.coordinates is not None:
            data["coordinates"] = [list(xy) for xy in self.coordinates]
        if self.places is not None:
            data["places"] = [list(place) for place in self.places]
        if not all(self.required):
            data["required"] = list(self.required)
            # Classes of 0 alone are the default of optional locations.
            if any(self.priority):
                data["priority"] = list(self.priority)
        if not self.check_units:
            data["check_units"] = False
        for key in ("start", "end"):
            if getattr(self, key) is not None:
                data[key] = getattr(self, key)
        if self.timezone is not None:
            data["timezone"] = local_time.zone_name(self.timezone)
        return data

    @classmethod
    def from_dict(cls, data: dict[str, Any]) -> Problem:
        """The problem of `to_dict`'s data; with a "speed" its matrices made from its "places"."""
        if {"speed", "detour", "unit"} & set(data):
            return cls.from_places(**data)
        return cls(**data)

    def __repr__(self) -> str:
        parts = [f"{self.size} locations"]
        if self.time_windows is not None:
            parts.append(f"{sum(map(len, self.time_windows))} time windows")
        if self.operation_times is not None:
            opening, closing = self.operation_times
            zone = "UTC" if self.timezone is None else local_time.zone_name(self.timezone)
            parts.append(f"open {clock(opening)}-{clock(closing)} {zone}")
        elif self.hours is not None:
            zone = "UTC" if self.timezone is None else local_time.zone_name(self.timezone)
            parts.append(f"open {self.hours.describe()} {zone}")
        if self.breaks:
            parts.append(f"{len(self.breaks)} break{'s' if len(self.breaks) > 1 else ''}")
        starts = self.window_rule.count("start")
        if starts:
            parts.append(f"start windows at {starts} location{'s' if starts > 1 else ''}")
        optional = self.required.count(False)
        if optional:
            parts.append(f"{optional} optional")
        if self.names is not None:
            parts.append("names")
        if self.coordinates is not None:
            parts.append("coordinates")
        if self.places is not None:
            parts.append("places")
        return f"Problem({', '.join(parts)})"

    @property
    def _longest(self) -> int:
        return LONGEST_PLAUSIBLE_DURATION if self.check_units else values.MAX_SECONDS

    def _duration(self, value: Any, where: str) -> int:
        seconds = values.seconds(value, where)
        if self.check_units and seconds > LONGEST_PLAUSIBLE_DURATION:
            raise ValueError(
                f"{where}: {seconds} seconds is more than a year; durations are whole seconds "
                f"(milliseconds given?); {_UNITS_HINT}"
            )
        return seconds

    def _windows(self, time_windows: Any, n: int) -> tuple[tuple[Window, ...], ...]:
        earliest, latest = (
            (EARLIEST_PLAUSIBLE_INSTANT, LATEST_PLAUSIBLE_INSTANT)
            if self.check_units
            else (0, values.LATEST_INSTANT)
        )
        fast = fast_windows(time_windows, n, earliest, latest)
        if fast is not None:
            return fast
        result = []
        for location, windows in enumerate(_located(time_windows, "time_windows", n, "windows")):
            where = f"time_windows[{location}]"
            read = [
                self._window(window, f"{where}[{k}]")
                for k, window in enumerate(values.items(windows, where, "a list of windows"))
            ]
            if not read:
                raise ValueError(f"{where}: no window; give at least one (start, end)")
            for k in range(1, len(read)):
                ((start, _), given), ((_, end), given_before) = read[k], read[k - 1]
                if start <= end:
                    raise ValueError(
                        f"{where}[{k}]: starts at {values.written(given[0]) or start}, not after the "
                        f"end {values.written(given_before[1]) or end} of the window before it; give "
                        "a location's windows in time order without overlap"
                    )
            result.append(tuple(pair for pair, _ in read))
        return tuple(result)

    def _window(self, window: Any, where: str) -> tuple[Window, list[Any]]:
        """The window in Unix seconds, and its bounds as given (for messages)."""
        bounds = values.items(window, where, "a (start, end) pair")
        if len(bounds) != 2:
            raise ValueError(f"{where}: expected a (start, end) pair, got {len(bounds)} values")
        start, end = (
            local_time.instant(bound, f"{where}[{i}]", self.timezone)
            for i, bound in enumerate(bounds)
        )
        if end < start:
            raise ValueError(
                f"{where}: ends at {values.written(bounds[1]) or end}, before it starts at "
                f"{values.written(bounds[0]) or start}"
            )
        if self.check_units:
            for bound, instant in zip(bounds, (start, end)):
                if not EARLIEST_PLAUSIBLE_INSTANT <= instant <= LATEST_PLAUSIBLE_INSTANT:
                    text = values.written(bound)
                    fault = (
                        f"{instant} is not a plausible instant in Unix seconds (1973 to 2100); "
                        "milliseconds or an offset given?"
                        if text is None
                        else f"{text} is not a plausible time of a schedule (1973 to 2100);"
                    )
                    raise ValueError(f"{where}: {fault} {_UNITS_HINT}")
        return (start, end), bounds

    def _calendar(self, operation_times: Any, hours: Any) -> Calendar | None:
        """The open hours; an `operation_times` pair is read as it always was (within a day,
        with its checks and messages)."""
        if operation_times is None and hours is None:
            return None
        if isinstance(hours, Calendar):
            return dataclasses.replace(hours, clock_changes=self.clock_changes)
        where = "hours" if hours is not None else "operation_times"
        given = operation_times if hours is None else hours
        if where == "operation_times" and not isinstance(given, dict):
            items = values.items(given, where, "an (opening, closing) pair")
            if not items or isinstance(items[0], (str, bytes)) or not hasattr(items[0], "__len__"):
                return Calendar(((self._hours(given),),) * 7, clock_changes=self.clock_changes)
        calendar = Calendar.read(given, where, self.clock_changes, self._adopt_zone)
        if self.check_units and calendar.longest_day() < SHORTEST_PLAUSIBLE_OPENING:
            raise ValueError(
                f"{where}: open at most {calendar.longest_day()} seconds a day; hours are times "
                f"of day (08:00 is 28800 or '08:00'); {_UNITS_HINT}"
            )
        return calendar

    def _hours(self, operation_times: Any) -> Window:
        where = "operation_times"
        bounds, opening, closing = pair_bounds(
            operation_times, where, self._adopt_zone, values.time_of_day
        )
        given = [values.written(bound) for bound in bounds]
        if closing > SECONDS_PER_DAY:
            raise ValueError(
                f"{where}[1]: {given[1] or closing} is beyond the end of a day (86400 seconds "
                "after midnight)"
            )
        if closing == SECONDS_PER_DAY and opening > 0:
            # The engine reads a closing of 86400 as 00:00 of the same day.
            raise ValueError(
                f"{where}[1]: closing at midnight (86400) is only possible from 0 (open around "
                "the clock); close at 86399 instead"
            )
        # Hours given as times are named as given; plain numbers are seconds after midnight.
        opened, closed = given[0] or str(opening), given[1] or str(closing)
        numbers = given == [None, None]
        if opening >= closing:
            raise ValueError(
                f"{where}: opening {opened} is not before closing {closed}; operating hours are "
                f"{'seconds after midnight' if numbers else 'times of day'} (UTC, or local with a "
                "timezone) within one day"
            )
        if self.check_units and closing - opening < SHORTEST_PLAUSIBLE_OPENING:
            detail = (
                f"{closing - opening} seconds a day; operating hours are seconds after midnight "
                "(08:00 is 28800 or '08:00')"
                if numbers
                else f"{clock(closing - opening)} a day ({opened} to {closed})"
            )
            raise ValueError(f"{where}: open only {detail}; {_UNITS_HINT}")
        return opening, closing

    def _adopt_zone(self, bound: Any, where: str) -> None:
        """A time of day with a zone is read in it: the problem takes that zone."""
        tz = bound.tzinfo if isinstance(bound, dt.time) else None
        if tz is None:
            return
        if self.timezone is None:
            object.__setattr__(self, "timezone", tz)
        elif local_time.zone_name(tz) != local_time.zone_name(self.timezone):
            raise ValueError(
                f"{where}: {bound} is in {local_time.zone_name(tz)}, the problem in "
                f"{local_time.zone_name(self.timezone)}; give the hours in one zone"
            )

    def _check_working_days(self) -> None:
        """Refuses jobs that need more days of work under the operating hours than a schedule
        holds (one record per open day of each job), also without `check_units`: the solver
        could only fail on them, after building tables of that size."""
        if self.job_durations is None or self.hours is None:
            return
        day = self.hours.typical_interval()
        work = sum(self.job_durations)
        days = -(-work // day)
        if days > _MOST_WORKING_DAYS:
            raise ValueError(
                f"job_durations: {work} seconds of work in all need {days} days of {day} seconds "
                f"of operating hours; a schedule holds at most {_MOST_WORKING_DAYS} open days"
            )

    def _check_job_lengths(self) -> None:
        if self.job_durations is None or self.time_windows is None:
            return
        day = SECONDS_PER_DAY if self.hours is None else self.hours.longest_interval()
        for location, (job, windows) in enumerate(zip(self.job_durations, self.time_windows)):
            # A job whose windows bind only its start may run far past them.
            if self.window_rule[location] == "start":
                continue
            if job > day and all(job > end - start for start, end in windows):
                raise ValueError(
                    f"job_durations[{location}]: {job} seconds is longer than every window of its "
                    f"location and than the operating day ({day} seconds): likely a unit mistake "
                    f"(durations are whole seconds; milliseconds given?); {_UNITS_HINT}"
                )

    def _check_leg_lengths(self) -> None:
        if self.duration_matrix is None or self.time_windows is None:
            return
        first = min(start for windows in self.time_windows for start, _ in windows)
        span = max(end for windows in self.time_windows for _, end in windows) - first
        found = self.duration_matrix.first_above(max(span, LONGEST_PLAUSIBLE_LEG))
        if found is not None:
            row, column, leg = found
            raise ValueError(
                f"duration_matrix[{row}][{column}]: a leg of {leg} s = {leg // SECONDS_PER_DAY} "
                f"days is longer than a week and than the whole span of the time windows ({span} s "
                "from the earliest start to the latest end): likely a unit mistake (durations are "
                f"whole seconds; milliseconds given?); {_UNITS_HINT}"
            )


def _window_rules(value: Any, n: int) -> tuple[WindowRule, ...]:
    """One rule per location: the one given for all, or those given one by one."""
    rules = [value] * n if isinstance(value, str) else _located(value, "window_rule", n, "rules")
    for location, rule in enumerate(rules):
        if rule not in WINDOW_RULES:
            where = "window_rule" if isinstance(value, str) else f"window_rule[{location}]"
            raise ValueError(f"{where}: expected 'whole' or 'start', got {rule!r}")
    return tuple(rules)


def _required(value: Any, n: int) -> tuple[bool, ...]:
    if value is None:
        return (True,) * n
    entries = _located(value, "required", n, "bools")
    for location, entry in enumerate(entries):
        # numpy's bools are no `bool`, but read as one.
        if (
            not isinstance(entry, bool)
            and getattr(getattr(entry, "dtype", None), "kind", "") != "b"
        ):
            raise ValueError(
                f"required[{location}]: expected True or False, got {type(entry).__name__} {entry!r}"
            )
    return tuple(bool(entry) for entry in entries)


def _priority(value: Any, required: tuple[bool, ...]) -> tuple[int | None, ...]:
    """The class of each optional location (0 where none is given), None for a required one."""
    given = (
        [None] * len(required)
        if value is None
        else _located(value, "priority", len(required), "classes")
    )
    low, high = PRIORITY_RANGE
    result: list[int | None] = []
    for location, (entry, served) in enumerate(zip(given, required)):
        where = f"priority[{location}]"
        if entry is None:
            result.append(None if served else 0)
            continue
        if served:
            raise ValueError(
                f"{where}: {entry!r} given for a required location; only a location with "
                f"required[{location}]=False has a class (None here)"
            )
        if isinstance(entry, bool) or not hasattr(entry, "__index__"):
            raise ValueError(
                f"{where}: expected an int class, got {type(entry).__name__} {entry!r}"
            )
        number = operator.index(entry)
        if not low <= number <= high:
            raise ValueError(f"{where}: {number} is not a class from {low} to {high}")
        result.append(number)
    return tuple(result)


def _located(value: Any, where: str, n: int, what: str) -> list[Any]:
    """The per-location items of an argument, one per location of the distance matrix."""
    entries = values.items(value, where, f"one entry of {what} per location")
    if len(entries) != n:
        raise ValueError(f"{where}: has {len(entries)} entries, expected {n} (one per location)")
    return entries


def _matrix(value: Any, where: str, n: int | None, convert: Any, largest: int) -> Matrix:
    """A square matrix; n is the required size (None: the number of rows), `convert` checks
    one entry, and no entry may exceed `largest`."""
    fast = fast_matrix(value, n, largest)
    if fast is not None:
        return fast
    # Entry by entry, to name the first one at fault.
    rows = values.items(value, where, "a matrix (a sequence of rows)")
    if not rows:
        raise ValueError(f"{where}: no rows; a problem has at least one location")
    size = len(rows) if n is None else n
    if len(rows) != size:
        raise ValueError(f"{where}: has {len(rows)} rows, expected {size} (one per location)")
    result = []
    for i, row in enumerate(rows):
        entries = values.items(row, f"{where}[{i}]", "a row of numbers")
        if len(entries) != size:
            raise ValueError(
                f"{where}[{i}]: row has {len(entries)} entries, expected {size} "
                "(one row and one column per location)"
            )
        result.append([convert(entry, f"{where}[{i}][{j}]") for j, entry in enumerate(entries)])
    return Matrix.from_rows(result, size)


def _names(value: Any, n: int) -> tuple[str, ...]:
    names = _located(value, "names", n, "names")
    for i, name in enumerate(names):
        if not isinstance(name, str):
            raise TypeError(f"names[{i}]: expected a str, got {type(name).__name__}")
        try:
            name.encode("utf-8")
        except UnicodeEncodeError:
            raise ValueError(
                f"names[{i}]: {name!r} holds a lone surrogate, which no text can hold"
            ) from None
    return tuple(names)


def _places(value: Any, n: int) -> tuple[tuple[float, float], ...]:
    places = geo.checked_places(value, "places")
    if len(places) != n:
        raise ValueError(f"places: {len(places)} (lat, lon) pairs for a matrix of {n} locations")
    return tuple((lat, lon) for lat, lon in places.tolist())


def _coordinates(value: Any, n: int) -> tuple[tuple[float, float], ...]:
    result = []
    for i, point in enumerate(_located(value, "coordinates", n, "(x, y) pairs")):
        where = f"coordinates[{i}]"
        xy = values.items(point, where, "an (x, y) pair")
        if len(xy) != 2:
            raise ValueError(f"{where}: expected an (x, y) pair, got {len(xy)} values")
        try:
            x, y = float(xy[0]), float(xy[1])
        except (TypeError, ValueError):
            raise TypeError(f"{where}: expected two numbers, got {xy!r}") from None
        if not (math.isfinite(x) and math.isfinite(y)):
            raise ValueError(f"{where}: {xy!r} is not a finite point")
        result.append((x, y))
    return tuple(result)
