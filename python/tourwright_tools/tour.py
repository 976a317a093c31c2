"""The friendly result: a plain, picklable, JSON-ready record of a solved tour."""
from __future__ import annotations

import dataclasses
import datetime as dt
import json
from typing import Any, Literal, Optional, cast

import tourwright

from . import local_time
from .problem import Problem
from .values import UNIX_EPOCH, looks_dated

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
    datetimes, `start_local`, `end_local` those in the problem's `timezone`). With `returns`
    the tour goes back to its first location after the last; otherwise it ends there.
    `names` are the problem's names of the locations, where it has them.
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
    returns: bool = True
    timezone: Optional[str] = None
    names: Optional[tuple[str, ...]] = None

    @classmethod
    def from_output(cls, output: tourwright.PyOutput, shift: int = 0,
                    timezone: Optional[str] = None, names: Optional[tuple[str, ...]] = None,
                    returns: bool = True) -> "Tour":
        """The output's values; its instants less `shift` seconds (those of an engine whose
        clock ran ahead by a time zone's offset)."""
        route = tuple(output.route)
        raw = output.schedule

        def back(instant: Optional[int]) -> Optional[int]:
            return None if instant is None else instant - shift

        return cls(
            route=route,
            distance=output.distance,
            lateness=output.lateness,
            duration=output.duration,
            working_time=output.working_time,
            waiting_time=output.waiting_time,
            traveling_time=output.traveling_time,
            start_time=back(output.start_time),
            end_time=back(output.end_time),
            iterations=output.iterations,
            time_taken_microseconds=output.time_taken_microseconds,
            schedule=None if raw is None else _events(raw, route, shift),
            returns=returns,
            timezone=timezone,
            names=names,
        )

    @property
    def start_datetime(self) -> Optional[dt.datetime]:
        return to_datetime(self.start_time)

    @property
    def end_datetime(self) -> Optional[dt.datetime]:
        return to_datetime(self.end_time)

    @property
    def zone(self) -> Optional[dt.tzinfo]:
        return None if self.timezone is None else local_time.zone(self.timezone)

    @property
    def start_local(self) -> Optional[dt.datetime]:
        return None if self.start_time is None else local_time.local(self.start_time, self.zone)

    @property
    def end_local(self) -> Optional[dt.datetime]:
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
        if self.names is not None:
            data["names"] = list(self.names)
        if self.schedule is not None:
            data["schedule"] = [dict(event.__dict__) for event in self.schedule]
        if readable:
            data["readable"] = self._readable()
        return data

    def to_json(self, indent: Optional[int] = None, readable: bool = False) -> str:
        return json.dumps(self.to_dict(readable), indent=indent)

    def _readable(self) -> dict[str, Any]:
        route = [self.name(location) for location in self.route]
        data: dict[str, Any] = {"route": route + route[:1] if self.returns else route}
        if not self.dated or self.start_time is None or self.end_time is None:
            return data

        def times(start: int, end: int) -> dict[str, str]:
            return {"start": local_time.local(start, self.zone).isoformat(),
                    "end": local_time.local(end, self.zone).isoformat(),
                    "start_utc": local_time.local(start, None).isoformat(),
                    "end_utc": local_time.local(end, None).isoformat()}

        data.update(times(self.start_time, self.end_time))
        if self.schedule is not None:
            data["schedule"] = [
                {"kind": event.kind, "where": self._where(event), **times(event.start, event.end)}
                for event in self.schedule]
        return data

    def _where(self, event: Event) -> str:
        if event.location is not None:
            return self.name(event.location)
        if event.from_location is not None and event.to_location is not None:
            return f"{self.name(event.from_location)} > {self.name(event.to_location)}"
        return ""

    @classmethod
    def from_dict(cls, data: dict[str, Any]) -> "Tour":
        fields = {key: value for key, value in data.items() if key != "readable"}
        fields["route"] = tuple(fields["route"])
        if fields.get("names") is not None:
            fields["names"] = tuple(fields["names"])
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
        if self.start_time is not None and self.end_time is not None:
            if self.dated:
                parts.append(f"start={local_time.show(self.start_time, self.zone)}, "
                             f"end={local_time.show(self.end_time, self.zone)}")
            else:
                parts.append(f"start={self.start_time}, end={self.end_time}")
        parts.append(f"iterations={self.iterations}")
        return f"Tour({', '.join(parts)})"


def _events(raw: list[tourwright._Event], route: tuple[int, ...], shift: int) -> tuple[Event, ...]:
    """Plain events; a travel leaves the location of the latest work for the next one in the route."""
    # By class name: the engine's results carry classes of the same names but of its own.
    position = {location: index for index, location in enumerate(route)}
    here = 0
    events = []
    for event in raw:
        payload = event._0
        start, end = (instant - shift for instant in payload.window)
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
