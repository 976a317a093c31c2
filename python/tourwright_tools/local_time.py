"""Local time: a problem's time zone, the offset its operating hours are read with, and
instants shown as local times with their offset.

Instants stay Unix seconds (UTC) everywhere. Operating hours are seconds after local
midnight; the engine counts them from the midnight of its own clock, so it is given every
instant moved by the zone's offset and its results are moved back. That is exact while the
offset holds, so a horizon across a change of offset (daylight saving) is refused.
"""

from __future__ import annotations

import datetime as dt
import re
import zoneinfo

from .values import UNIX_EPOCH

_OFFSET = re.compile(r"^([+-])(\d{2}):?(\d{2})$")


def zone(value: object, where: str = "timezone") -> dt.tzinfo | None:
    """A time zone: None, a `tzinfo` (a `ZoneInfo` or a fixed `datetime.timezone`), an IANA
    name ("America/Los_Angeles"), "UTC" or a fixed offset ("+01:00")."""
    if value is None or isinstance(value, dt.tzinfo):
        return value
    if not isinstance(value, str):
        raise TypeError(
            f"{where}: expected a time zone name or a tzinfo, got {type(value).__name__}"
        )
    if value in ("UTC", "Z"):
        return dt.timezone.utc
    fixed = _OFFSET.match(value)
    if fixed:
        sign, hours, minutes = fixed.groups()
        offset = dt.timedelta(hours=int(hours), minutes=int(minutes))
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


def zone_name(tz: dt.tzinfo) -> str:
    """The name that `zone` reads back: the IANA key, "UTC" or "+HH:MM"."""
    if isinstance(tz, zoneinfo.ZoneInfo):
        return tz.key
    offset = tz.utcoffset(None)
    if offset is None:
        raise ValueError(f"timezone: {tz!r} has neither a name nor a fixed offset")
    if not offset:
        return "UTC"
    sign = "-" if offset < dt.timedelta(0) else "+"
    minutes = abs(offset) // dt.timedelta(minutes=1)
    return f"{sign}{minutes // 60:02d}:{minutes % 60:02d}"


def local(unix_seconds: int, tz: dt.tzinfo | None) -> dt.datetime:
    """The instant as an aware datetime in `tz` (UTC without a zone)."""
    return (UNIX_EPOCH + dt.timedelta(seconds=unix_seconds)).astimezone(tz or dt.timezone.utc)


def offset_seconds(tz: dt.tzinfo, unix_seconds: int) -> int:
    offset = local(unix_seconds, tz).utcoffset()
    return 0 if offset is None else offset // dt.timedelta(seconds=1)


def steady_offset(tz: dt.tzinfo, first: int, last: int) -> int:
    """The zone's offset in seconds, the same from instant `first` to `last`; a ValueError
    naming the local date where it changes otherwise."""
    offset = offset_seconds(tz, first)
    day = 86_400
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
            changed = local(high, tz)
            raise ValueError(
                f"timezone: the offset of {zone_name(tz)} changes on {changed:%Y-%m-%d} (to UTC"
                f"{changed:%z}), within the time windows; operating hours are read with one "
                "offset, so solve the days on either side of the change separately"
            )
        probe = step_end
    return offset


def show(unix_seconds: int, tz: dt.tzinfo | None) -> str:
    """ISO 8601 with the offset ('2026-12-07T08:00:00+01:00'), 'Z' for UTC without a zone."""
    text = local(unix_seconds, tz).isoformat()
    return text[:-6] + "Z" if tz is None else text
