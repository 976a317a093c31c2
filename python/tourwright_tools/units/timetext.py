"""How the instants and lengths of one tour read in its pictures and its report page."""

from __future__ import annotations

import dataclasses
import datetime as dt

from .values import SECONDS_PER_DAY, format_length, looks_dated, shifted_local

# Tick steps of a dated axis, in seconds: a minute to a week.
DATED_STEPS = (60, 300, 600, 900, 1800, 3600, 7200, 10800, 21600, 43200, 86400, 172800, 604800)


@dataclasses.dataclass(frozen=True)
class TimeText:
    """Instants as times of day in `zone` (with the date when the tour spans several days),
    or, for undated times (the classic files count from 0), as plain numbers."""

    dated: bool
    multi_day: bool = False
    zone: dt.tzinfo = dt.timezone.utc

    @classmethod
    def for_span(
        cls, first: int | None, last: int | None, zone: dt.tzinfo | None = None
    ) -> TimeText:
        if first is None or not looks_dated(first):
            return cls(False)
        text = cls(True, zone=zone or dt.timezone.utc)
        return dataclasses.replace(
            text,
            multi_day=text.day(first) != text.day(last if last is not None else first),
        )

    def local(self, instant: int) -> dt.datetime:
        """The local datetime; past the year 9999 in the year 400 * k before (see `day`)."""
        return shifted_local(instant, self.zone)[0]

    def day(self, instant: int) -> str:
        """'2026-12-07', the local date, also past the year 9999."""
        moment, years = shifted_local(instant, self.zone)
        return f"{moment.year + years:04d}-{moment:%m-%d}"

    @property
    def zone_name(self) -> str:
        """'UTC', or the name of another zone."""
        return "UTC" if self.zone == dt.timezone.utc else str(self.zone)

    def at(self, instant: int, seconds: bool = False) -> str:
        """'09:14' ('12-08 09:14' on a tour of several days; seconds on request), or the number."""
        if not self.dated:
            return str(instant)
        moment = self.local(instant)
        text = f"{moment:%H:%M:%S}" if seconds else f"{moment:%H:%M}"
        return f"{moment:%m-%d} {text}" if self.multi_day else text

    def full(self, instant: int) -> str:
        """'2026-12-07 09:14:05 UTC' (the offset for a zone other than UTC), or the number."""
        if not self.dated:
            return str(instant)
        moment = self.local(instant)
        zone = "UTC" if moment.utcoffset() == dt.timedelta(0) else f"{moment:%Z} (UTC{moment:%z})"
        return f"{self.day(instant)} {moment:%H:%M:%S} {zone}"

    def length(self, seconds: int) -> str:
        """'1:02:03' (days added when long), or the number."""
        return format_length(seconds, self.dated)

    def short_length(self, seconds: int) -> str:
        """'h:mm', whole minutes rounded up so that any lateness shows; or the number."""
        if not self.dated:
            return str(seconds)
        minutes = -(-seconds // 60)
        return f"{minutes // 60}:{minutes % 60:02d}"

    def ticks(self, first: int, last: int) -> list[tuple[int, str]]:
        """About ten evenly spaced instants from `first` to `last` with their labels, at round
        local times when dated."""
        span = max(last - first, 1)
        if self.dated:
            week = DATED_STEPS[-1]
            step = next(
                (s for s in DATED_STEPS if span / s <= 10), week * (span // (10 * week) + 1)
            )
            shift = int(self.local(first).utcoffset().total_seconds())  # type: ignore[union-attr]
        else:
            step, shift = 1, 0
            while span / step > 10:
                step = step * 5 // 2 if str(step).startswith("2") else step * 2
        start = -(-(first + shift) // step) * step - shift
        days = self.dated and span > SECONDS_PER_DAY
        return [
            (instant, f"{self.local(instant):%m-%d %H:%M}" if days else self.at(instant))
            for instant in range(start, last + 1, step)
        ]
