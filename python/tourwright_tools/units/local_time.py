"""Local time: a problem's time zone, the offset its operating hours are read with, instants
read from dates and times (checked against the zone's clock changes), and instants shown as
local times with their offset.

Instants stay Unix seconds (UTC) everywhere. Daily operating hours are seconds after local
midnight; the engine counts them from the midnight of its own clock, so it is given every
instant moved by the zone's offset and its results are moved back. That is exact while the
offset holds; across a change of offset (daylight saving) the hours go to it as instants.
"""

from __future__ import annotations

import datetime as dt
import re
import zoneinfo
from typing import Any

from .values import (
    LATEST_DATETIME_INSTANT,
    LATEST_INSTANT,
    SECONDS_PER_DAY,
    UNIX_EPOCH,
    MissingOffset,
    integer,
    numpy_seconds,
    numpy_time,
    shifted_local,
)

_OFFSET = re.compile(r"^([+-])(\d{2}):?(\d{2})(?::?(\d{2}))?$")
# The longest horizon read in a zone whose offset may change, probed a day at a time.
MOST_ZONE_YEARS = 50
_ONE_SECOND = dt.timedelta(seconds=1)


def zone(value: object, where: str = "timezone") -> dt.tzinfo | None:
    """A time zone: None, a `tzinfo` (a `ZoneInfo` or a fixed `datetime.timezone`), an IANA
    name ("America/Los_Angeles"), "UTC" or a fixed offset ("+01:00")."""
    if value is None:
        return None
    if isinstance(value, dt.tzinfo):
        return _checked_tzinfo(value, where)
    if not isinstance(value, str):
        raise TypeError(
            f"{where}: expected a time zone name or a tzinfo, got {type(value).__name__}"
        )
    if value in ("UTC", "Z"):
        return dt.timezone.utc
    fixed = _OFFSET.match(value)
    if fixed:
        sign, hours, minutes, secs = fixed.groups()
        offset = dt.timedelta(hours=int(hours), minutes=int(minutes), seconds=int(secs or 0))
        if offset >= dt.timedelta(days=1):
            raise ValueError(f"{where}: {value!r} is not an offset within a day")
        return dt.timezone(-offset if sign == "-" else offset)
    try:
        return zoneinfo.ZoneInfo(value)
    except (zoneinfo.ZoneInfoNotFoundError, ValueError):
        raise ValueError(
            f"{where}: {value!r} is not a known time zone (an IANA name such as "
            "'Europe/Berlin', 'UTC' or an offset such as '+01:00')"
        ) from None


def _checked_tzinfo(tz: dt.tzinfo, where: str) -> dt.tzinfo:
    """A tzinfo that gives an offset of whole seconds (probed at one instant)."""
    if isinstance(tz, zoneinfo.ZoneInfo):
        return tz
    offset = dt.datetime(2000, 1, 1, tzinfo=tz).utcoffset()
    if offset is None:
        raise ValueError(
            f"{where}: {tz!r} gives no UTC offset (its utcoffset returns None); give an IANA "
            "name, a ZoneInfo or a fixed offset such as '+01:00'"
        )
    if offset % _ONE_SECOND:
        raise ValueError(f"{where}: {tz!r} has an offset of a fraction of a second ({offset})")
    return tz


def zone_name(tz: dt.tzinfo) -> str:
    """The name that `zone` reads back: the IANA key, "UTC" or "+HH:MM" ("+HH:MM:SS")."""
    if isinstance(tz, zoneinfo.ZoneInfo):
        return tz.key
    offset = tz.utcoffset(None)
    if offset is None:
        raise ValueError(f"timezone: {tz!r} has neither a name nor a fixed offset")
    if not offset:
        return "UTC"
    sign = "-" if offset < dt.timedelta(0) else "+"
    total = abs(offset) // _ONE_SECOND
    name = f"{sign}{total // 3600:02d}:{total // 60 % 60:02d}"
    return name + f":{total % 60:02d}" if total % 60 else name


def local(unix_seconds: int, tz: dt.tzinfo | None) -> dt.datetime:
    """The instant as an aware datetime in `tz` (UTC without a zone)."""
    try:
        return (UNIX_EPOCH + dt.timedelta(seconds=unix_seconds)).astimezone(tz or dt.timezone.utc)
    except OverflowError:
        raise ValueError(f"{unix_seconds} is after the year 9999, where datetime ends") from None


def offset_seconds(tz: dt.tzinfo, unix_seconds: int) -> int:
    offset = local(unix_seconds, tz).utcoffset()
    return 0 if offset is None else offset // dt.timedelta(seconds=1)


def steady_offset(tz: dt.tzinfo, first: int, last: int) -> int | None:
    """The zone's offset in seconds where it holds from instant `first` to `last`, else None."""
    if isinstance(tz, dt.timezone):
        return tz.utcoffset(None) // _ONE_SECOND
    return None if offset_change(tz, first, last) is not None else offset_seconds(tz, first)


def offset_change(tz: dt.tzinfo, first: int, last: int) -> int | None:
    """The first instant after `first`, up to `last`, at which the zone's offset differs from
    its offset at `first`; None where it holds. A fixed offset holds for any horizon; a zone
    whose offset may change is probed a day at a time, over at most MOST_ZONE_YEARS years
    ending by the year 9999."""
    if isinstance(tz, dt.timezone):
        return None
    years = (last - first) / (365.2425 * SECONDS_PER_DAY)
    if years > MOST_ZONE_YEARS or last > LATEST_DATETIME_INSTANT:
        raise ValueError(
            f"timezone: the time windows span {years:.0f} years"
            + ("" if last <= LATEST_DATETIME_INSTANT else ", past the year 9999")
            + f"; in {zone_name(tz)}, whose offset may change, they span at most "
            f"{MOST_ZONE_YEARS} years before the year 10000; give a fixed offset "
            "(e.g. '+01:00') for a longer horizon"
        )
    offset = offset_seconds(tz, first)
    day = SECONDS_PER_DAY
    probe = first
    while probe < last:
        step_end = min(probe + day, last)
        if offset_seconds(tz, step_end) != offset:
            low, high = probe, step_end  # the change lies in (low, high]
            while high - low > 1:
                middle = (low + high) // 2
                if offset_seconds(tz, middle) == offset:
                    low = middle
                else:
                    high = middle
            return high
        probe = step_end
    return None


def show(unix_seconds: int, tz: dt.tzinfo | None) -> str:
    """ISO 8601 with the offset ('2026-12-07T08:00:00+01:00'), 'Z' for UTC without a zone."""
    text = iso(unix_seconds, tz)
    return text[:-6] + "Z" if tz is None else text


def iso(unix_seconds: int, tz: dt.tzinfo | None) -> str:
    """ISO 8601 with the offset, also past the year 9999 ('12026-12-07T08:00:00+01:00')."""
    moment, years = shifted_local(unix_seconds, tz)
    return f"{moment.year + years:04d}{moment.isoformat()[4:]}"


def instant(value: Any, where: str, zone: dt.tzinfo | None = None) -> int:
    """An instant in Unix seconds: an integer, a `datetime` or an ISO 8601 date and time
    ("2026-12-07T08:00:00+01:00"), fractions dropped; without an offset, one in `zone`."""
    given, text = value, value if isinstance(value, str) else None
    if text is not None:
        try:
            value = dt.datetime.fromisoformat(text)
        except ValueError:
            raise ValueError(f"{where}: {text!r} is not an ISO 8601 date and time") from None
    elif numpy_time(value) == "M":
        value = _numpy_datetime(value, where, zone)
    if isinstance(value, dt.datetime):
        chosen = isinstance(given, dt.datetime)  # a datetime's fold says which of a repeated hour
        if value.utcoffset() is None and zone is not None:
            value = value.replace(tzinfo=zone)
        if value.tzinfo is not None and value.utcoffset() is not None:
            check_wall_time(value, where, None if chosen else text or _wall(value))
        if value.utcoffset() is None and text is not None:
            raise MissingOffset(where, text)
        if value.utcoffset() is None:
            raise ValueError(
                f"{where}: datetime {value} has no timezone; give one, e.g. "
                "tzinfo=datetime.timezone.utc, or give the problem a timezone"
            )
        offset = int((value - UNIX_EPOCH) // _ONE_SECOND)
        if offset < 0:
            raise ValueError(f"{where}: {value} is before 1970")
        return offset
    return integer(value, where, LATEST_INSTANT)


def _wall(moment: dt.datetime) -> str:
    return moment.replace(tzinfo=None).isoformat()


def _numpy_datetime(value: Any, where: str, zone: dt.tzinfo | None) -> dt.datetime:
    """A numpy datetime64 (which has no zone) as a datetime in the problem's zone."""
    if zone is None:
        raise ValueError(
            f"{where}: numpy datetime64 {value} has no timezone; give the problem one "
            "(timezone='UTC' if these are UTC times)"
        )
    try:
        return dt.datetime(1970, 1, 1) + dt.timedelta(seconds=numpy_seconds(value, where))
    except OverflowError:
        raise ValueError(
            f"{where}: numpy datetime64 {value} is outside the years 1 to 9999"
        ) from None


def check_wall_time(moment: dt.datetime, where: str, text: str | None) -> None:
    """Refuses a local time that the clocks of its zone skip and, when `text` (the time as
    written without an offset) is given, one they show twice; a datetime's `fold` says which
    of the two it is."""
    earlier, later = moment.replace(fold=0).utcoffset(), moment.replace(fold=1).utcoffset()
    if earlier is None or later is None or earlier == later:
        return
    wall = text or moment.replace(tzinfo=None).isoformat()
    name = zone_name(moment.tzinfo)  # type: ignore[arg-type]
    if earlier > later:  # shown twice: first with the earlier offset
        if text is None:
            return
        first, second = (_offset_text(offset) for offset in (earlier, later))
        raise ValueError(
            f"{where}: {wall} occurs twice in {name} (at UTC{first}, then at UTC{second}); "
            f"write {wall}{first} or {wall}{second}"
        )
    # Skipped: read with `later` it is an instant before the change, with `earlier` one after.
    wall_seconds = (moment.replace(tzinfo=None) - dt.datetime(1970, 1, 1)) // _ONE_SECOND
    low, high = (int(wall_seconds - offset // _ONE_SECOND) for offset in (later, earlier))
    while high - low > 1:
        middle = (low + high) // 2
        if local(middle, moment.tzinfo).utcoffset() == later:
            high = middle
        else:
            low = middle
    before, after = local(high, dt.timezone(earlier)), local(high, moment.tzinfo)
    raise ValueError(
        f"{where}: {wall} does not exist in {name} (the clocks go from {_wall_clock(before)} to "
        f"{_wall_clock(after)}); give a time outside the gap or an offset"
    )


def _offset_text(offset: dt.timedelta) -> str:
    return zone_name(dt.timezone(offset)).replace("UTC", "+00:00")


def _wall_clock(moment: dt.datetime) -> str:
    return f"{moment:%H:%M}" + (f":{moment:%S}" if moment.second else "")
