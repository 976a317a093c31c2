"""Breaks: a pause of a given length that starts between two local times of day, on every day
the van works or on the days named, laid out day by day as the engine's break rules."""

from __future__ import annotations

import copy
import dataclasses
import datetime as dt
from typing import Any

from ..units import values
from ..units.values import SECONDS_PER_DAY, clock
from .calendar import WEEKDAYS, Calendar, ClockChanges, wall_instant, weekday_or_date

# A laid-out break: its length, and the instants between which it starts.
BreakRule = tuple[int, int, int]


@dataclasses.dataclass(frozen=True, init=False)
class Break:
    """A break of `length` (seconds, a `timedelta` or ISO 8601 "PT30M") that starts between
    the local times of day `start_between` ("11:30", "13:30"). `days`: None (every day the
    calendar opens), or weekday names and ISO dates. `except_dates`: ISO dates on which it is
    not taken (where a plan for the rest of a day finds it taken already)."""

    length: int
    start_between: tuple[int, int]
    days: tuple[int | dt.date, ...] | None
    except_dates: tuple[dt.date, ...]

    def __init__(
        self,
        length: Any,
        start_between: Any,
        days: Any = None,
        *,
        except_dates: Any = (),
        where: str = "breaks",
    ) -> None:
        seconds = values.seconds(length, f"{where}.length")
        if seconds == 0:
            raise ValueError(f"{where}.length: a break of no length")
        bounds = values.items(start_between, f"{where}.start_between", "an (earliest, latest) pair")
        if len(bounds) != 2:
            raise ValueError(
                f"{where}.start_between: expected an (earliest, latest) pair, got {len(bounds)} values"
            )
        earliest, latest = (
            values.time_of_day(bound, f"{where}.start_between[{i}]")
            for i, bound in enumerate(bounds)
        )
        if latest >= SECONDS_PER_DAY or earliest >= SECONDS_PER_DAY:
            raise ValueError(f"{where}.start_between: times of day, before 24:00")
        if latest < earliest:
            raise ValueError(
                f"{where}.start_between: ends at {clock(latest)}, before it starts at {clock(earliest)}"
            )
        read_days = None
        if days is not None:
            given = days if isinstance(days, (list, tuple)) else [days]
            read_days = tuple(
                weekday_or_date(day, f"{where}.days[{i}]") for i, day in enumerate(given)
            )
        skipped = []
        for index, day in enumerate(values.items(except_dates, f"{where}.except_dates", "dates")):
            read = day if isinstance(day, dt.date) else weekday_or_date(day, where)
            if not isinstance(read, dt.date):
                raise ValueError(f"{where}.except_dates[{index}]: {day!r} is not an ISO date")
            skipped.append(read)
        set_field = object.__setattr__
        set_field(self, "except_dates", tuple(sorted(set(skipped))))
        set_field(self, "length", seconds)
        set_field(self, "start_between", (earliest, latest))
        set_field(self, "days", read_days)

    def applies(self, day: dt.date) -> bool:
        if day in self.except_dates:
            return False
        return self.days is None or day in self.days or day.weekday() in self.days

    def skipping(self, dates: set[dt.date]) -> Break:
        """This break, not taken on `dates` either."""
        result = copy.copy(self)
        object.__setattr__(result, "except_dates", tuple(sorted({*self.except_dates, *dates})))
        return result

    def describe(self) -> str:
        earliest, latest = self.start_between
        length = f"{self.length // 60} min" if self.length % 60 == 0 else f"{self.length} s"
        text = f"{length} break starting {clock(earliest)}–{clock(latest)}"
        if self.days is not None:
            text += " on " + ", ".join(
                WEEKDAYS[day].title() if isinstance(day, int) else str(day) for day in self.days
            )
        return text

    def to_data(self) -> dict[str, Any]:
        data: dict[str, Any] = {
            "length": f"PT{self.length}S" if self.length % 60 else f"PT{self.length // 60}M",
            "start_between": [clock(bound) for bound in self.start_between],
        }
        if self.days is not None:
            data["days"] = [WEEKDAYS[d] if isinstance(d, int) else str(d) for d in self.days]
        if self.except_dates:
            data["except_dates"] = [str(day) for day in self.except_dates]
        return data

    def reaches(self, other: Break) -> bool:
        """Whether this break, taken at its latest, may still run when `other` may start."""
        return (
            self.start_between[0] <= other.start_between[0] < (self.start_between[1] + self.length)
        )


def read_breaks(value: Any) -> tuple[Break, ...]:
    """`Break`s, or mappings of their arguments (as in a JSON file)."""
    result = []
    for index, item in enumerate(values.items(value, "breaks", "a list of breaks")):
        where = f"breaks[{index}]"
        if isinstance(item, Break):
            result.append(item)
        elif isinstance(item, dict):
            try:
                result.append(Break(**item, where=where))
            except TypeError as error:
                raise TypeError(f"{where}: {error}") from None
        else:
            raise TypeError(f"{where}: expected a Break, got {type(item).__name__}")
    for index, one in enumerate(result):
        for other_index, other in enumerate(result):
            if index != other_index and one.reaches(other) and _share_a_day(one, other):
                raise ValueError(
                    f"breaks[{other_index}]: may start while breaks[{index}] runs; give breaks "
                    "that keep apart (each ends, taken at its latest, before the next may start)"
                )
    return tuple(result)


def check_lengths(breaks: tuple[Break, ...], calendar: Calendar | None) -> None:
    if calendar is None:
        return
    longest = calendar.longest_interval()
    for index, item in enumerate(breaks):
        if item.length > longest:
            raise ValueError(
                f"breaks[{index}].length: {item.length} seconds is longer than every open "
                f"interval (the longest is {longest} seconds)"
            )


def break_rules(
    breaks: tuple[Break, ...],
    days: list[dt.date],
    open_hours: list[tuple[int, int]] | None,
    tz: dt.tzinfo | None,
    clock_changes: ClockChanges,
) -> list[BreakRule]:
    """The breaks of each of `days` whose window meets the open hours (`open_hours`, laid out
    over those days; None: open around the clock), in time order."""
    rules = []
    for day in days:
        for item in breaks:
            if not item.applies(day):
                continue
            earliest, latest = (
                wall_instant(day, bound, tz, clock_changes, "breaks")
                for bound in item.start_between
            )
            if open_hours is None or any(
                opening <= latest and earliest < closing for opening, closing in open_hours
            ):
                rules.append((item.length, earliest, latest))
    rules.sort(key=lambda rule: rule[1])
    return rules


def _share_a_day(one: Break, other: Break) -> bool:
    if one.days is None or other.days is None:
        return True
    return any(_same_day(day, other_day) for day in one.days for other_day in other.days)


def _same_day(one: int | dt.date, other: int | dt.date) -> bool:
    """Whether a weekday or date and another can fall on one day."""
    if isinstance(one, int) and isinstance(other, int):
        return one == other
    if isinstance(one, dt.date) and isinstance(other, dt.date):
        return one == other
    date, weekday = (one, other) if isinstance(one, dt.date) else (other, one)
    assert isinstance(date, dt.date)
    return date.weekday() == weekday
