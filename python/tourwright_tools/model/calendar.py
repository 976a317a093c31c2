"""Open hours as a calendar: the intervals of each weekday, dates that differ, and their layout
as instants, local day by local day in the problem's zone.

Times of day are wall-clock times: an interval from 22:00 to 06:00 runs into the next morning,
and on a night the clocks change it is an hour shorter or longer. A local time the clocks skip
or show twice is read as `clock_changes` says ("refuse", "earlier" or "later").
"""

from __future__ import annotations

import dataclasses
import datetime as dt
import re
from collections.abc import Callable, Iterator, Mapping
from typing import Any, Literal

from ..units import values
from ..units.local_time import local, zone_name
from ..units.values import SECONDS_PER_DAY, UNIX_EPOCH, clock

Interval = tuple[int, int]  # seconds after local midnight; a closing past 86400 is the next day
Day = tuple[Interval, ...]
ClockChanges = Literal["refuse", "earlier", "later"]
CLOCK_CHANGES = ("refuse", "earlier", "later")
WEEKDAYS = ("mon", "tue", "wed", "thu", "fri", "sat", "sun")
_DATE = re.compile(r"^\d{4}-\d{2}-\d{2}$")
_ONE_DAY = dt.timedelta(days=1)


def weekday_or_date(key: Any, where: str) -> int | dt.date:
    """A weekday name ("mon" ... "sun") as its index, or an ISO date."""
    if not isinstance(key, str):
        raise TypeError(f"{where}: expected a weekday name or an ISO date, got {key!r}")
    if key in WEEKDAYS:
        return WEEKDAYS.index(key)
    if _DATE.match(key):
        try:
            return dt.date.fromisoformat(key)
        except ValueError:
            raise ValueError(f"{where}: {key!r} is not a date") from None
    raise ValueError(
        f"{where}: {key!r} is neither a weekday ({', '.join(WEEKDAYS)}) nor an ISO date "
        "(2026-12-24)"
    )


@dataclasses.dataclass(frozen=True)
class Calendar:
    """The open hours of every day: `weekly` per weekday (Monday first), `dates` the days that
    differ (a tuple of (date, intervals), closed where empty). `dated` says that the hours
    are dates alone: a day not listed is then outside the calendar, not closed."""

    weekly: tuple[Day, ...]
    dates: tuple[tuple[dt.date, Day], ...] = ()
    dated: bool = False
    clock_changes: ClockChanges = "refuse"

    @classmethod
    def read(
        cls,
        value: Any,
        where: str,
        clock_changes: ClockChanges = "refuse",
        seen: Callable[[Any, str], None] | None = None,
    ) -> Calendar:
        """The calendar of `hours`: a pair, a list of pairs, or a mapping of weekday names and
        ISO dates to either (None: closed). `seen` is shown every time read as given."""
        reader = _Reader(seen or (lambda bound, at: None))
        if isinstance(value, Mapping):
            weekly: list[Day] = [()] * 7
            dates: dict[dt.date, Day] = {}
            for key, hours in value.items():
                at = f"{where}[{key!r}]"
                day = weekday_or_date(key, at)
                read = () if hours is None else reader.day(hours, at)
                if isinstance(day, int):
                    weekly[day] = read
                else:
                    dates[day] = read
            dated = not any(isinstance(key, str) and key in WEEKDAYS for key in value)
            calendar = cls(tuple(weekly), tuple(sorted(dates.items())), dated, clock_changes)
        else:
            calendar = cls((reader.day(value, where),) * 7, clock_changes=clock_changes)
        if not any(calendar.weekly) and not any(day for _, day in calendar.dates):
            raise ValueError(f"{where}: these hours never open")
        return calendar

    @property
    def daily(self) -> Day | None:
        """The intervals of every day, where all days are alike."""
        if self.dates or self.dated or len(set(self.weekly)) != 1:
            return None
        return self.weekly[0]

    @property
    def daily_pair(self) -> Interval | None:
        """The one (opening, closing) of every day within the day, where there is one."""
        daily = self.daily
        if daily is None or len(daily) != 1:
            return None
        opening, closing = daily[0]
        # The engine's daily hours end within the day: at midnight only from midnight.
        if closing > SECONDS_PER_DAY or closing == SECONDS_PER_DAY and opening > 0:
            return None
        return daily[0]

    def on(self, day: dt.date) -> Day | None:
        """The intervals of a local date; None where a calendar of dates alone has no entry."""
        for date, hours in self.dates:
            if date == day:
                return hours
        return None if self.dated else self.weekly[day.weekday()]

    def _pattern(self) -> list[Day]:
        return [day for day in self.weekly if not self.dated] + [day for _, day in self.dates]

    def longest_interval(self) -> int:
        return max(close - opening for day in self._pattern() for opening, close in day)

    def longest_day(self) -> int:
        """The most open seconds a day's own intervals hold."""
        return max(sum(close - opening for opening, close in day) for day in self._pattern())

    def typical_interval(self) -> int:
        """The mean length of its open intervals, weekdays and dates alike."""
        intervals = [close - opening for day in self._pattern() for opening, close in day]
        return sum(intervals) // len(intervals)

    def open_intervals(self, first: int, last: int, tz: dt.tzinfo | None) -> list[Interval]:
        """Unix-second pairs, ascending and apart, of the open hours from instant `first` to
        `last` (those that end after `first` and open before `last`; the first one from
        `first` at the earliest)."""
        result: list[Interval] = []
        for opening, closing in self._instants(first, last, tz):
            if closing <= first or opening > last:
                continue
            if result and opening <= result[-1][1]:
                # Touching intervals join; one running into the next day's is a fault.
                if opening < result[-1][1]:
                    raise ValueError(
                        f"hours: the open hours that close at {_shown(result[-1][1], tz)} "
                        f"overlap those that open at {_shown(opening, tz)}"
                    )
                result[-1] = (result[-1][0], closing)
            else:
                result.append((opening, closing))
        if result and result[0][0] < first:  # nothing happens before `first`, nor before 1970
            result[0] = (first, result[0][1])
        return result

    def closed_days(self, first: int, last: int, tz: dt.tzinfo | None) -> list[dt.date]:
        """The local dates from instant `first` to `last` without any open time."""
        intervals = self.open_intervals(first, last, tz)
        days = local_dates(first, last, tz)
        busy = set()
        for opening, closing in intervals:
            busy.update(local_dates(opening, max(opening, closing - 1), tz))
        return [day for day in days if day not in busy]

    def describe(self) -> str:
        """One line, e.g. "Mon–Fri 08:00–17:00, Sat 08:00–12:00, Sun closed; closed 2026-12-25"."""
        parts: list[str] = []
        if self.daily is not None:
            parts.append(f"daily {_day_text(self.weekly[0])}")
        elif not self.dated:
            start = 0
            for index in range(1, 8):
                if index == 7 or self.weekly[index] != self.weekly[start]:
                    names = WEEKDAYS[start].title()
                    if index - 1 > start:
                        names += f"–{WEEKDAYS[index - 1].title()}"
                    parts.append(f"{names} {_day_text(self.weekly[start])}")
                    start = index
        text = ", ".join(parts)
        opened = [f"{date} {_day_text(day)}" for date, day in self.dates if day]
        closed = [str(date) for date, day in self.dates if not day]
        extra = ", ".join(opened) + ("; " if opened and closed else "")
        extra += f"closed {', '.join(closed)}" if closed else ""
        return "; ".join(part for part in (text, extra) if part)

    def to_data(self) -> Any:
        """The JSON form `read` reads back: a pair, a list of pairs, or a mapping."""
        daily = self.daily
        if daily is not None:
            return _day_data(daily)[0] if len(daily) == 1 else _day_data(daily)
        data: dict[str, Any] = {}
        if not self.dated:
            data = {name: _day_data(day) or None for name, day in zip(WEEKDAYS, self.weekly)}
        data.update((str(date), _day_data(day) or None) for date, day in self.dates)
        return data

    def _instants(self, first: int, last: int, tz: dt.tzinfo | None) -> Iterator[Interval]:
        # From the day before: its night may run into the first day.
        days = local_dates(first - SECONDS_PER_DAY, last, tz)
        for day in days:
            hours = self.on(day)
            if hours is None and day == days[0]:
                continue  # only a night from the day before reaches in
            if hours is None:
                raise ValueError(
                    f"hours: the calendar has no entry for {day}, a day the tour may reach; "
                    "give every date of the horizon, or weekdays"
                )
            for opening, closing in hours:
                start = self._instant(day, opening, tz)
                end = self._instant(day, closing, tz)
                if start < end:
                    yield start, end

    def _instant(self, day: dt.date, seconds: int, tz: dt.tzinfo | None) -> int:
        return wall_instant(day, seconds, tz, self.clock_changes, "hours")


def wall_instant(
    day: dt.date, seconds: int, tz: dt.tzinfo | None, clock_changes: ClockChanges, where: str
) -> int:
    """The instant the clocks of `tz` show `seconds` after the midnight of `day` (wall-clock
    time: past 86400, on the next day); one they skip or show twice read by `clock_changes`."""
    wall = dt.datetime.combine(day, dt.time()) + dt.timedelta(seconds=seconds)
    readings = sorted(
        int((wall.replace(tzinfo=tz or dt.timezone.utc, fold=fold) - UNIX_EPOCH).total_seconds())
        for fold in (0, 1)
    )
    if readings[0] == readings[1]:
        return readings[0]
    if clock_changes == "refuse":
        assert tz is not None
        skipped = local(readings[0], tz).replace(tzinfo=None) != wall
        what = "does not exist" if skipped else "occurs twice"
        raise ValueError(
            f"{where}: {wall:%H:%M} on {wall:%Y-%m-%d} {what} in {zone_name(tz)} (the clocks "
            "change then); give clock_changes='earlier' or 'later' to say how to read it"
        )
    return readings[0] if clock_changes == "earlier" else readings[1]


class _Reader:
    """Reads the intervals of one day, telling `seen` of every time as given."""

    def __init__(self, seen: Callable[[Any, str], None]) -> None:
        self.seen = seen

    def day(self, value: Any, where: str) -> Day:
        items = values.items(value, where, "an (opening, closing) pair or a list of pairs")
        pairs = items if items and _is_pair_list(items) else [value]
        at = where if pairs is not items else None
        read = sorted(
            self.interval(pair, at or f"{where}[{index}]") for index, pair in enumerate(pairs)
        )
        for before, after in zip(read, read[1:]):
            if after[0] < before[1]:
                raise ValueError(
                    f"{where}: {_interval_text(before)} overlaps {_interval_text(after)}"
                )
        return tuple(read)

    def interval(self, pair: Any, where: str) -> Interval:
        bounds, opening, closing = pair_bounds(pair, where, self.seen, _time)
        if opening >= SECONDS_PER_DAY:
            raise ValueError(f"{where}[0]: {values.written(bounds[0]) or opening} is not in a day")
        if closing > SECONDS_PER_DAY:
            raise ValueError(
                f"{where}[1]: {values.written(bounds[1]) or closing} is beyond the end of a day "
                "(86400 seconds after midnight)"
            )
        if closing == opening:
            raise ValueError(f"{where}: opens and closes at {clock(opening)}, so it never opens")
        # A closing before the opening is on the next morning.
        return opening, closing if closing > opening else closing + SECONDS_PER_DAY


def pair_bounds(
    pair: Any, where: str, seen: Callable[[Any, str], None], read: Callable[[Any, str], int]
) -> tuple[list[Any], int, int]:
    """An (opening, closing) pair as given and as seconds after midnight, each bound shown to
    `seen` (which may take its zone) before `read` turns it into seconds."""
    bounds = values.items(pair, where, "an (opening, closing) pair")
    if len(bounds) != 2:
        raise ValueError(f"{where}: expected an (opening, closing) pair, got {len(bounds)} values")
    for bound in bounds:
        seen(bound, where)
    opening, closing = (read(bound, f"{where}[{i}]") for i, bound in enumerate(bounds))
    return bounds, opening, closing


def _is_pair_list(items: list[Any]) -> bool:
    first = items[0]
    return not isinstance(first, (str, bytes)) and hasattr(first, "__len__")


def _time(value: Any, where: str) -> int:
    return SECONDS_PER_DAY if value == "24:00" else values.time_of_day(value, where)


def local_dates(first: int, last: int, tz: dt.tzinfo | None) -> list[dt.date]:
    """The local dates from instant `first` to `last`."""
    day, end = local(first, tz).date(), local(last, tz).date()
    result = []
    while day <= end:
        result.append(day)
        day += _ONE_DAY
    return result


def _shown(instant: int, tz: dt.tzinfo | None) -> str:
    return f"{local(instant, tz):%Y-%m-%d %H:%M}"


def _time_text(seconds: int) -> str:
    return "24:00" if seconds == SECONDS_PER_DAY else clock(seconds % SECONDS_PER_DAY)


def _interval_text(interval: Interval) -> str:
    return f"{_time_text(interval[0])}–{_time_text(interval[1])}"


def _day_text(day: Day) -> str:
    return " and ".join(map(_interval_text, day)) if day else "closed"


def _day_data(day: Day) -> list[list[str]]:
    return [[_time_text(opening), _time_text(closing)] for opening, closing in day]
