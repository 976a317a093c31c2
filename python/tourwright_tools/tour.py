"""The friendly result: a plain, picklable, JSON-ready record of a solved tour."""
from __future__ import annotations

import dataclasses
import datetime as dt
import json
from typing import Any, Literal, Optional, cast

import tourwright

from .problem import Problem
from .values import UNIX_EPOCH

EventKind = Literal["work", "wait", "travel"]


def to_datetime(unix_seconds: Optional[int]) -> Optional[dt.datetime]:
    """A UTC `datetime` of Unix seconds (None stays None)."""
    return None if unix_seconds is None else UNIX_EPOCH + dt.timedelta(seconds=unix_seconds)


@dataclasses.dataclass(frozen=True)
class Event:
    """One entry of a schedule: work at `location`, a wait, or travel `from_location` → `to_location`.

    `start` and `end` are Unix seconds.
    """

    kind: EventKind
    start: int
    end: int
    location: Optional[int] = None
    from_location: Optional[int] = None
    to_location: Optional[int] = None

    @property
    def length(self) -> int:
        """Seconds from start to end."""
        return self.end - self.start

    @property
    def start_datetime(self) -> dt.datetime:
        return UNIX_EPOCH + dt.timedelta(seconds=self.start)

    @property
    def end_datetime(self) -> dt.datetime:
        return UNIX_EPOCH + dt.timedelta(seconds=self.end)


@dataclasses.dataclass(frozen=True, repr=False)
class Tour:
    """A solved tour with the attributes of `tourwright.PyOutput`, as plain values.

    The time attributes are None for a problem without time data. Durations are seconds,
    `start_time` and `end_time` Unix seconds (`start_datetime`, `end_datetime` give UTC
    datetimes). The tour is closed: after the last location it returns to the first.
    """

    route: tuple[int, ...]
    distance: int
    lateness: Optional[int]
    duration: Optional[int]
    working_time: Optional[int]
    waiting_time: Optional[int]
    traveling_time: Optional[int]
    start_time: Optional[int]
    end_time: Optional[int]
    iterations: int
    time_taken_microseconds: int
    schedule: Optional[tuple[Event, ...]]

    @classmethod
    def from_output(cls, output: tourwright.PyOutput) -> "Tour":
        route = tuple(output.route)
        raw = output.schedule
        return cls(
            route=route,
            distance=output.distance,
            lateness=output.lateness,
            duration=output.duration,
            working_time=output.working_time,
            waiting_time=output.waiting_time,
            traveling_time=output.traveling_time,
            start_time=output.start_time,
            end_time=output.end_time,
            iterations=output.iterations,
            time_taken_microseconds=output.time_taken_microseconds,
            schedule=None if raw is None else _events(raw, route),
        )

    @property
    def start_datetime(self) -> Optional[dt.datetime]:
        return to_datetime(self.start_time)

    @property
    def end_datetime(self) -> Optional[dt.datetime]:
        return to_datetime(self.end_time)

    def to_dict(self) -> dict[str, Any]:
        """Every attribute under its own name; `schedule` as a list of event records."""
        data = dataclasses.asdict(self)
        data["route"] = list(self.route)
        if self.schedule is not None:
            data["schedule"] = [dataclasses.asdict(event) for event in self.schedule]
        return data

    def to_json(self, indent: Optional[int] = None) -> str:
        return json.dumps(self.to_dict(), indent=indent)

    @classmethod
    def from_dict(cls, data: dict[str, Any]) -> "Tour":
        fields = dict(data)
        fields["route"] = tuple(fields["route"])
        if fields.get("schedule") is not None:
            fields["schedule"] = tuple(Event(**event) for event in fields["schedule"])
        return cls(**fields)

    @classmethod
    def from_json(cls, text: str) -> "Tour":
        return cls.from_dict(json.loads(text))

    def to_html(self, problem: Problem, title: str = "") -> str:
        """A report page of this tour of `problem`: one self-contained HTML file with a summary,
        a map (when the problem has coordinates), the timeline and a table of stops."""
        from .report_page import report_html

        return report_html(self, problem, title)

    def __repr__(self) -> str:
        shown = ", ".join(map(str, self.route[:12])) + (", ..." if len(self.route) > 12 else "")
        parts = [f"route=[{shown}]", f"distance={self.distance}"]
        if self.lateness is not None:
            parts.append(f"lateness={self.lateness}")
        start, end = self.start_datetime, self.end_datetime
        if start is not None and end is not None:
            parts.append(f"start={start:%Y-%m-%dT%H:%M:%SZ}, end={end:%Y-%m-%dT%H:%M:%SZ}")
        parts.append(f"iterations={self.iterations}")
        return f"Tour({', '.join(parts)})"


def _events(raw: list[tourwright._Event], route: tuple[int, ...]) -> tuple[Event, ...]:
    """Plain events; a travel leaves the location of the latest work for the next one in the route."""
    # By class name: the engine's results carry classes of the same names but of its own.
    position = {location: index for index, location in enumerate(route)}
    here = 0
    events = []
    for event in raw:
        payload = event._0
        start, end = payload.window
        kind = type(payload).__name__
        if kind == "PyWork":
            location = cast("tourwright.PyWork", payload).location
            here = position[location]
            events.append(Event("work", start, end, location=location))
        elif kind == "PyTravel":
            events.append(Event("travel", start, end, from_location=route[here],
                                to_location=route[(here + 1) % len(route)]))
        else:
            events.append(Event("wait", start, end))
    return tuple(events)
