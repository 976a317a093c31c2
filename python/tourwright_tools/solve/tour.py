"""The friendly result: a plain, picklable, JSON-ready record of a solved tour."""

from __future__ import annotations

import dataclasses
import datetime as dt
import json
import operator
from collections.abc import Mapping, Sequence
from typing import TYPE_CHECKING, Any, Literal, cast

import tourwright

from ..model.problem import Problem
from ..units import local_time
from ..units.values import UNIX_EPOCH, looks_dated, utc_day_and_time

if TYPE_CHECKING:
    from .._classes import PyEvent_Travel, PyEvent_Wait, PyEvent_Work, PyWork
    from ..render.itinerary import Stop

EventKind = Literal["work", "wait", "travel", "break"]
EVENT_KINDS = ("work", "wait", "travel", "break")
# Sums and counts of a tour: never negative, and within the engine's 64 bits.
TOTALS = (
    "distance",
    "lateness",
    "duration",
    "working_time",
    "waiting_time",
    "traveling_time",
    "break_time",
    "iterations",
    "time_taken_microseconds",
)
# What a tour has only where its problem has time data.
TIME_VALUES = (
    "lateness",
    "duration",
    "working_time",
    "waiting_time",
    "traveling_time",
    "break_time",
    "start_time",
    "end_time",
)
# Keys of a tour's record that are not its fields: `to_dict(readable=True)`'s, and the batch's.
NOT_FIELDS = frozenset({"readable", "batch"})


def to_datetime(unix_seconds: int | None) -> dt.datetime | None:
    """A UTC `datetime` of Unix seconds (None stays None)."""
    if unix_seconds is None:
        return None
    try:
        return UNIX_EPOCH + dt.timedelta(seconds=unix_seconds)
    except OverflowError:
        raise ValueError(f"{unix_seconds} is after the year 9999, where datetime ends") from None


@dataclasses.dataclass(frozen=True)
class Event:
    """One entry of a schedule: work at `location`, a wait, travel `from_location` →
    `to_location`, or a break: at `location` where the van waits, or (`location` None) on the
    leg `from_location` → `to_location`, which it pauses.

    `start` and `end` are Unix seconds.
    """

    kind: EventKind
    start: int
    end: int
    location: int | None = None
    from_location: int | None = None
    to_location: int | None = None

    def __post_init__(self) -> None:
        if self.kind not in EVENT_KINDS:
            kinds = ", ".join(map(repr, EVENT_KINDS))
            raise ValueError(f"kind: expected one of {kinds}, got {self.kind!r}")
        _check_whole(self, ("start", "end"), ("location", "from_location", "to_location"))
        if self.end < self.start:
            raise ValueError(f"end: {self.end} is before the start {self.start}")

    def __setstate__(self, state: Any) -> None:
        _construct_again(self, state)

    @property
    def length(self) -> int:
        """Seconds from start to end."""
        return self.end - self.start

    @property
    def start_datetime(self) -> dt.datetime:
        return cast(dt.datetime, to_datetime(self.start))

    @property
    def end_datetime(self) -> dt.datetime:
        return cast(dt.datetime, to_datetime(self.end))


@dataclasses.dataclass(frozen=True, repr=False)
class Tour:
    """A solved tour with the attributes of `tourwright.PyOutput`, as plain values.

    The time attributes are None for a problem without time data. Durations are seconds
    (`duration` is `working_time + traveling_time + waiting_time + break_time`),
    `start_time` and `end_time` Unix seconds (`start_datetime`, `end_datetime` give UTC
    datetimes, `start_local`, `end_local` those in the problem's `timezone`). With `returns`
    the tour goes back to its first location after the last; otherwise it ends there.
    `names` are the problem's names of the locations, where it has them. `cut_short`: the time
    limit ended the search before its first descent finished, so the tour is only partly improved.
    `skipped`: the optional locations the route leaves out, ascending, and `skipped_classes`
    the priority class of each.

    A Tour checks on its own only what needs no problem: a route without repeats, totals from 0
    to 2**64, events at locations of its route. One read from outside (`from_dict`, `from_json`,
    unpickling) is checked against its problem only where one is at hand: the resume of
    `tourwright batch` does that before it keeps an earlier result.
    """

    route: tuple[int, ...]
    distance: int
    lateness: int | None
    duration: int | None
    working_time: int | None
    waiting_time: int | None
    traveling_time: int | None
    start_time: int | None
    end_time: int | None
    iterations: int
    time_taken_microseconds: int
    schedule: tuple[Event, ...] | None
    returns: bool = True
    timezone: str | None = None
    names: tuple[str, ...] | None = None
    # True when the time limit (or a stop) ended the search before its first descent reached
    # a local optimum: the tour is then only partly improved.
    cut_short: bool = False
    # The breaks' seconds (0 where a time problem has none).
    break_time: int | None = None
    skipped: tuple[int, ...] = ()
    skipped_classes: tuple[int, ...] = ()

    def __post_init__(self) -> None:
        if self.break_time is None and self.duration is not None:
            object.__setattr__(self, "break_time", 0)
        route = tuple(
            _whole(location, f"route[{index}]")
            for index, location in enumerate(_sequence(self.route, "route"))
        )
        if any(location < 0 for location in route):
            raise ValueError(f"route: {route} holds a negative location")
        if len(set(route)) != len(route):
            raise ValueError(f"route: {route} visits a location twice")
        object.__setattr__(self, "route", route)
        self._check_skipped()
        _check_whole(self, ("distance", "iterations", "time_taken_microseconds"), TIME_VALUES)
        for name in TOTALS:
            value = getattr(self, name)
            if value is not None and not 0 <= value < 2**64:
                raise ValueError(f"{name}: {value} is not a total from 0 to 2**64")
        if self.schedule is not None:
            schedule = _sequence(self.schedule, "schedule")
            on_route = set(route)
            for index, event in enumerate(schedule):
                if not isinstance(event, Event):
                    kind = type(event).__name__
                    raise TypeError(f"schedule[{index}]: expected an Event, got {kind}")
                places = (event.location, event.from_location, event.to_location)
                if any(place is not None and place not in on_route for place in places):
                    raise ValueError(f"schedule[{index}]: a location not on the route {route}")
            object.__setattr__(self, "schedule", schedule)
        for name in ("returns", "cut_short"):
            if not isinstance(getattr(self, name), bool):
                raise TypeError(
                    f"{name}: expected a bool, got {type(getattr(self, name)).__name__}"
                )
        if self.timezone is not None:
            local_time.zone(self.timezone)  # a name it can read back, or the error naming it
        if self.names is not None:
            names = _sequence(self.names, "names")
            for index, name in enumerate(names):
                if not isinstance(name, str):
                    raise TypeError(f"names[{index}]: expected a str, got {type(name).__name__}")
            object.__setattr__(self, "names", names)

    def __setstate__(self, state: Any) -> None:
        _construct_again(self, state)

    def _check_skipped(self) -> None:
        skipped = tuple(
            _whole(location, f"skipped[{index}]")
            for index, location in enumerate(_sequence(self.skipped, "skipped"))
        )
        classes = tuple(
            _whole(value, f"skipped_classes[{index}]")
            for index, value in enumerate(_sequence(self.skipped_classes, "skipped_classes"))
        )
        if any(b <= a for a, b in zip(skipped, skipped[1:])) or (skipped and skipped[0] < 0):
            raise ValueError(f"skipped: {skipped} is not ascending locations without repeats")
        served = set(skipped) & set(self.route)
        if served:
            raise ValueError(f"skipped: {min(served)} is on the route too")
        if len(classes) != len(skipped):
            raise ValueError(
                f"skipped_classes: {len(classes)} classes for {len(skipped)} skipped locations"
            )
        object.__setattr__(self, "skipped", skipped)
        object.__setattr__(self, "skipped_classes", classes)

    @classmethod
    def from_output(
        cls,
        output: tourwright.PyOutput,
        shift: int = 0,
        timezone: str | None = None,
        names: tuple[str, ...] | None = None,
        returns: bool = True,
        cut_short: bool = False,
        breaks: Sequence[tuple[int, int, int | None]] = (),
        skipped: tuple[int, ...] = (),
        skipped_classes: tuple[int, ...] = (),
    ) -> Tour:
        """The output's values; its instants less `shift` seconds (those of an engine whose
        clock ran ahead by a time zone's offset). `breaks`: the breaks the engine took, as
        `(start, end, location or None)` (`_engine.breaks_of(output)`), merged into the
        schedule; `skipped`: the locations its route leaves out, with their classes."""
        route = tuple(output.route)
        raw = output.schedule

        def back(instant: int | None) -> int | None:
            return None if instant is None else instant - shift

        return cls(
            route=route,
            distance=output.distance,
            lateness=output.lateness,
            duration=output.duration,
            working_time=output.working_time,
            waiting_time=output.waiting_time,
            traveling_time=output.traveling_time,
            break_time=None
            if output.duration is None
            else sum(end - start for start, end, _ in breaks),
            start_time=back(output.start_time),
            end_time=back(output.end_time),
            iterations=output.iterations,
            time_taken_microseconds=output.time_taken_microseconds,
            schedule=None if raw is None else _events(raw, route, shift, breaks),
            returns=returns,
            timezone=timezone,
            names=names,
            cut_short=cut_short,
            skipped=skipped,
            skipped_classes=skipped_classes,
        )

    @property
    def start_datetime(self) -> dt.datetime | None:
        return to_datetime(self.start_time)

    @property
    def end_datetime(self) -> dt.datetime | None:
        return to_datetime(self.end_time)

    @property
    def zone(self) -> dt.tzinfo | None:
        return None if self.timezone is None else local_time.zone(self.timezone)

    @property
    def start_local(self) -> dt.datetime | None:
        return None if self.start_time is None else local_time.local(self.start_time, self.zone)

    @property
    def end_local(self) -> dt.datetime | None:
        return None if self.end_time is None else local_time.local(self.end_time, self.zone)

    @property
    def dated(self) -> bool:
        """Whether its instants are dates and times (not the plain counts of undated problems)."""
        return self.start_time is not None and looks_dated(self.start_time)

    def name(self, location: int) -> str:
        return self.names[location] if self.names is not None else str(location)

    def to_dict(self, readable: bool = False) -> dict[str, Any]:
        """Every attribute under its own name; `schedule` as a list of event records. With
        `readable`, also under "readable": the route by name and every instant as ISO 8601
        local time with its offset and in UTC (ignored by `from_dict`)."""
        # Field by field: `dataclasses.asdict` deep-copies, far too slowly for long schedules.
        data = {field.name: getattr(self, field.name) for field in dataclasses.fields(self)}
        data["route"] = list(self.route)
        data["skipped"], data["skipped_classes"] = list(self.skipped), list(self.skipped_classes)
        if self.names is not None:
            data["names"] = list(self.names)
        if self.schedule is not None:
            data["schedule"] = [dict(event.__dict__) for event in self.schedule]
        if readable:
            data["readable"] = self._readable()
        return data

    def to_json(self, indent: int | None = None, readable: bool = False) -> str:
        """With `indent`, objects are spread over lines and each event has a line of its own."""
        data = self.to_dict(readable)
        return json.dumps(data) if indent is None else _indented(data, indent)

    def _readable(self) -> dict[str, Any]:
        route = [self.name(location) for location in self.route]
        data: dict[str, Any] = {"route": route + route[:1] if self.returns else route}
        if self.skipped:
            data["skipped"] = [
                {"location": self.name(location), "class": value}
                for location, value in zip(self.skipped, self.skipped_classes)
            ]
        if not self.dated or self.start_time is None or self.end_time is None:
            return data

        def times(start: int, end: int) -> dict[str, str]:
            return {
                "start": local_time.iso(start, self.zone),
                "end": local_time.iso(end, self.zone),
                "start_utc": local_time.iso(start, None),
                "end_utc": local_time.iso(end, None),
            }

        data.update(times(self.start_time, self.end_time))
        if self.schedule is not None:
            data["schedule"] = [
                {"kind": event.kind, "where": self._where(event), **times(event.start, event.end)}
                for event in self.schedule
            ]
        return data

    def _where(self, event: Event) -> str:
        if event.location is not None:
            return self.name(event.location)
        if event.from_location is not None and event.to_location is not None:
            return f"{self.name(event.from_location)} > {self.name(event.to_location)}"
        return ""

    @classmethod
    def from_dict(cls, data: dict[str, Any]) -> Tour:
        fields = {
            key: value for key, value in _mapping(data, "a tour").items() if key not in NOT_FIELDS
        }
        if fields.get("schedule") is not None:
            events = enumerate(_sequence(fields["schedule"], "schedule"))
            fields["schedule"] = tuple(
                Event(**_mapping(event, f"schedule[{index}]")) for index, event in events
            )
        return cls(**fields)

    @classmethod
    def from_json(cls, text: str) -> Tour:
        return cls.from_dict(json.loads(text))

    def stops(self, problem: Problem) -> tuple[Stop, ...]:
        """The tour stop by stop, with `problem` (the one it was solved for): when the van
        arrives, waits, works and leaves, and how late it is and why (see `Stop`)."""
        from ..render.itinerary import Itinerary

        return Itinerary.of(self, problem).stops

    def to_html(self, problem: Problem, title: str = "") -> str:
        """A report page of this tour of `problem`: one self-contained HTML file with a summary,
        a map (when the problem has coordinates or places), the timeline and a table of stops."""
        from ..render.report_page import report_html

        return report_html(self, problem, title)

    def __repr__(self) -> str:
        shown = ", ".join(map(str, self.route[:12])) + (", ..." if len(self.route) > 12 else "")
        parts = [f"route=[{shown}]", f"distance={self.distance}"]
        if self.lateness is not None:
            parts.append(f"lateness={self.lateness}")
        if self.start_time is not None and self.end_time is not None:
            if not self.dated:
                parts.append(f"start={self.start_time}, end={self.end_time}")
            elif self.zone is None:
                # Any instant the engine holds, also after the year 9999 where datetime ends.
                start, end = (
                    "T".join(utc_day_and_time(instant)) + "Z"
                    for instant in (self.start_time, self.end_time)
                )
                parts.append(f"start={start}, end={end}")
            else:
                parts.append(
                    f"start={local_time.show(self.start_time, self.zone)}, "
                    f"end={local_time.show(self.end_time, self.zone)}"
                )
        parts.append(f"iterations={self.iterations}")
        if self.skipped:
            parts.append(f"skipped={list(self.skipped)}")
        if self.cut_short:
            parts.append("cut_short=True")
        return f"Tour({', '.join(parts)})"


def _check_whole(record: Any, required: tuple[str, ...], optional: tuple[str, ...]) -> None:
    """Each named field an int (None allowed for the optional ones), stored as a plain int."""
    for name in required + optional:
        value = getattr(record, name)
        if value is not None or name not in optional:
            object.__setattr__(record, name, _whole(value, name))


def _whole(value: Any, name: str) -> int:
    if isinstance(value, bool) or not hasattr(value, "__index__"):
        raise TypeError(f"{name}: expected an int, got {type(value).__name__}")
    return operator.index(value)


def _sequence(value: Any, name: str) -> tuple[Any, ...]:
    if not isinstance(value, (list, tuple)):
        raise TypeError(f"{name}: expected a list or tuple, got {type(value).__name__}")
    return tuple(value)


def _mapping(value: Any, name: str) -> Mapping[str, Any]:
    if not isinstance(value, Mapping):
        raise TypeError(f"{name}: expected a dict of fields, got {type(value).__name__}")
    return value


def _construct_again(record: Any, state: Any) -> None:
    # Unpickled records are checked like new ones: their state goes through the constructor.
    record.__init__(**_mapping(state, f"the pickled state of a {type(record).__name__}"))


def _events(
    raw: list[PyEvent_Work | PyEvent_Wait | PyEvent_Travel],
    route: tuple[int, ...],
    shift: int,
    breaks: Sequence[tuple[int, int, int | None]],
) -> tuple[Event, ...]:
    """Plain events; a travel leaves the location of the latest work for the next one in the
    route; the breaks go where they fall (before what starts at their end), one on a leg
    named by the leg it pauses."""
    # By class name: the engine's results carry classes of the same names but of its own.
    position = {location: index for index, location in enumerate(route)}
    here = 0
    events: list[Event] = []
    pending = [(start - shift, end - shift, location) for start, end, location in breaks]
    pending.reverse()
    paused: list[int] = []  # the indices of the events of breaks on a leg, named below
    for event in raw:
        payload = event._0
        start, end = (instant - shift for instant in payload.window)
        while pending and pending[-1][0] < start:
            taken, over, location = pending.pop()
            if location is None:
                paused.append(len(events))
            events.append(Event("break", taken, over, location=location))
        kind = type(payload).__name__
        if kind == "PyWork":
            location = cast("PyWork", payload).location
            here = position[location]
            events.append(Event("work", start, end, location=location))
        elif kind == "PyTravel":
            events.append(
                Event(
                    "travel",
                    start,
                    end,
                    from_location=route[here],
                    to_location=route[(here + 1) % len(route)],
                )
            )
        else:
            events.append(Event("wait", start, end))
    for taken, over, location in reversed(pending):
        events.append(Event("break", taken, over, location=location))
    for index in paused:
        leg = _paused_leg(events, index)
        if leg is not None:
            events[index] = dataclasses.replace(
                events[index], from_location=leg.from_location, to_location=leg.to_location
            )
    return tuple(events)


def _paused_leg(events: list[Event], index: int) -> Event | None:
    """The travel a break on a leg pauses: the one it interrupts (past waits for the hours),
    else the one it precedes."""
    for step in (-1, 1):
        neighbour = index + step
        while 0 <= neighbour < len(events) and events[neighbour].kind in ("wait", "break"):
            neighbour += step
        if 0 <= neighbour < len(events) and events[neighbour].kind == "travel":
            return events[neighbour]
    return None


def _indented(value: Any, indent: int, depth: int = 0) -> str:
    """`value` as JSON with its objects spread over lines, and each item of a list of lists or
    objects on a line of its own, written compactly: the standard encoder indents in pure
    Python, which takes seconds for a schedule of thousands of events."""
    outer, inner = " " * indent * depth, " " * indent * (depth + 1)
    if isinstance(value, dict) and value:
        items = (
            f"{inner}{json.dumps(key)}: {_indented(item, indent, depth + 1)}"
            for key, item in value.items()
        )
        return "{\n" + ",\n".join(items) + f"\n{outer}}}"
    if isinstance(value, list) and value and isinstance(value[0], (dict, list)):
        return "[\n" + ",\n".join(inner + json.dumps(item) for item in value) + f"\n{outer}]"
    return json.dumps(value)
