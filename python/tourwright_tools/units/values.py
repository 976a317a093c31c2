"""Conversion of one user value (an integer, a duration, a time of day, a sequence) into plain
ints; an instant, which may need its zone's clock, is read in `local_time`.

Every failure names where the value sits (`where`, e.g. "time_windows[3][0]") and what was
expected, as a TypeError for a value of the wrong kind and a ValueError for one out of range.
"""

from __future__ import annotations

import datetime as dt
import math
import numbers
import operator
import re
import sys
from collections.abc import Iterable, Mapping
from typing import Any

MAX_U64 = 2**64 - 1
# The engine holds durations as signed milliseconds: whole seconds beyond this do not fit.
MAX_SECONDS = 9_223_372_036_854_775
# The engine's calendar ends with the year 262142.
LATEST_INSTANT = 8_210_266_876_799
# The last second of the year 9999, where datetime ends.
LATEST_DATETIME_INSTANT = 253_402_300_799
SECONDS_PER_DAY = 86_400
UNIX_EPOCH = dt.datetime(1970, 1, 1, tzinfo=dt.timezone.utc)
# The Gregorian calendar repeats every 400 years (146,097 days): instants after the year 9999,
# where datetime ends, are shown by moving them back whole cycles and adding the years again.
_CYCLE_SECONDS = 146_097 * 86_400
_ONE_SECOND = dt.timedelta(seconds=1)
# ISO 8601 durations of days, hours, minutes and seconds ("PT20M", "P1DT2H30M", "PT90S").
_ISO_DURATION = re.compile(r"^P(?:(\d+)D)?(?:T(?=\d)(?:(\d+)H)?(?:(\d+)M)?(?:(\d+)S)?)?$")
# Seconds in one step of a numpy time unit, and steps of the units shorter than a second.
_NUMPY_UNITS = {"W": 604_800, "D": 86_400, "h": 3600, "m": 60, "s": 1}
_NUMPY_FRACTIONS = {"ms": 10**3, "us": 10**6, "ns": 10**9, "ps": 10**12, "fs": 10**15, "as": 10**18}


class MissingOffset(ValueError):
    """An ISO 8601 date and time without an offset, where the problem has no timezone."""

    def __init__(self, where: str, text: str) -> None:
        super().__init__(
            f"{where}: {text} has no UTC offset; write one ({text}Z for UTC, or e.g. "
            f"{text}+01:00), or give the problem a timezone"
        )
        self.where, self.text = where, text


def integer(value: Any, where: str, maximum: int = MAX_U64) -> int:
    """A whole number in 0 ... maximum: an int, anything with __index__, or a whole float."""
    if isinstance(value, bool):
        raise TypeError(f"{where}: expected an integer, got bool {value}")
    try:
        number = operator.index(value)
    except TypeError:
        if numpy_time(value):  # a Real to `numbers`, which float() refuses
            kind = type(value).__name__
            raise TypeError(f"{where}: expected an integer, got numpy {kind} {value}") from None
        if not isinstance(value, numbers.Real):
            raise TypeError(f"{where}: expected an integer, got {type(value).__name__}") from None
        real = float(value)
        if not math.isfinite(real) or not real.is_integer():
            raise ValueError(f"{where}: {value!r} is not a whole number") from None
        number = int(real)
    if number < 0:
        raise ValueError(f"{where}: {number} is negative")
    if number > maximum:
        raise ValueError(f"{where}: {number} is larger than {maximum}")
    return number


def seconds(value: Any, where: str) -> int:
    """A duration in whole seconds: an integer count, a `timedelta` (fractions dropped) or an
    ISO 8601 duration of days, hours, minutes and seconds ("PT20M")."""
    if isinstance(value, str):
        parts = _ISO_DURATION.match(value)
        if not parts or value == "P":
            raise ValueError(
                f"{where}: {value!r} is not an ISO 8601 duration such as 'PT20M' or 'P1DT2H'"
            )
        days, hours, minutes, secs = (int(part or 0) for part in parts.groups())
        value = ((days * 24 + hours) * 60 + minutes) * 60 + secs
    if isinstance(value, dt.timedelta):
        if value < dt.timedelta(0):
            raise ValueError(f"{where}: {value} is negative")
        value = value // _ONE_SECOND
    elif numpy_time(value) == "m":
        value = numpy_seconds(value, where)
    return integer(value, where, MAX_SECONDS)


def time_of_day(value: Any, where: str) -> int:
    """Seconds after midnight: an integer, a `timedelta`, a `datetime.time` or an ISO 8601
    time ("08:30"); the zone of a time is the caller's to read."""
    if isinstance(value, str):
        try:
            value = dt.time.fromisoformat(value)
        except ValueError:
            raise ValueError(
                f"{where}: {value!r} is not an ISO 8601 time of day such as '08:30'"
            ) from None
    if isinstance(value, dt.time):
        return value.hour * 3600 + value.minute * 60 + value.second
    return seconds(value, where)


def items(value: Any, where: str, what: str) -> list[Any]:
    """The items of a list, tuple, numpy array or other ordered collection."""
    kind = type(value)
    if kind.__module__.startswith("pandas") and kind.__name__ == "DataFrame":
        # Iterating a DataFrame gives its column labels.
        raise TypeError(f"{where}: expected {what}, got a pandas DataFrame; pass df.to_numpy()")
    unordered = isinstance(value, (Mapping, set, frozenset))
    if isinstance(value, (str, bytes, bytearray)) or unordered or not isinstance(value, Iterable):
        raise TypeError(
            f"{where}: expected {what} (a list, tuple or array), got {type(value).__name__}"
        )
    try:
        return list(value)
    except TypeError as error:
        raise TypeError(f"{where}: {error}") from error


def written(value: Any) -> str | None:
    """How a date, time or duration reads as the user gave it (a string as written); None for a
    plain number, which messages show as the seconds it is."""
    if isinstance(value, str):
        return value
    if isinstance(value, (dt.datetime, dt.time)):
        return value.isoformat()
    if isinstance(value, dt.timedelta) or numpy_time(value):
        return str(value)
    return None


def imported_numpy() -> Any:
    """numpy where something imported it already (its values can only come from it then), None
    otherwise. The import statement waits where another thread is still running numpy's
    initialisation, which a look into `sys.modules` alone would find half done."""
    if "numpy" not in sys.modules:
        return None
    import numpy

    return numpy


def numpy_time(value: Any) -> str | None:
    """'m' for a numpy timedelta64, 'M' for a datetime64, None for anything else."""
    numpy = imported_numpy()
    if numpy is None or not isinstance(value, (numpy.timedelta64, numpy.datetime64)):
        return None
    return "m" if isinstance(value, numpy.timedelta64) else "M"


def numpy_seconds(value: Any, where: str) -> int:
    """Whole seconds of a numpy timedelta64, or since 1970 of a datetime64 read as UTC, counted
    exactly from its unit (fractions dropped, rounding down)."""
    import numpy

    unit, steps = numpy.datetime_data(value.dtype)
    if numpy.isnat(value):
        raise ValueError(f"{where}: numpy {type(value).__name__} NaT is not a time")
    count = int(value.astype(numpy.int64)) * steps
    if unit in _NUMPY_UNITS:
        return count * _NUMPY_UNITS[unit]
    if unit in _NUMPY_FRACTIONS:
        return count // _NUMPY_FRACTIONS[unit]
    raise ValueError(
        f"{where}: numpy {type(value).__name__} {value} is in a unit ({unit}) without a fixed "
        "length in seconds; give it in days, hours, minutes or seconds"
    )


def clock(seconds_after_midnight: int) -> str:
    """'08:30', or '08:30:15' when the seconds are not zero."""
    hours, rest = divmod(seconds_after_midnight, 3600)
    minutes, secs = divmod(rest, 60)
    return f"{hours:02d}:{minutes:02d}" + (f":{secs:02d}" if secs else "")


def looks_dated(unix_seconds: int) -> bool:
    """Whether an instant reads better as a UTC date and time than as a plain number
    (the classic benchmark files count time from 0 in their own unit)."""
    return unix_seconds >= 100_000_000


def format_instant(
    unix_seconds: int, dated: bool, with_date: bool = True, zone: dt.tzinfo | None = None
) -> str:
    """The date and time (or the time alone) in `zone` (UTC without one), or the plain number."""
    if not dated:
        return str(unix_seconds)
    if zone is None:
        day, time = utc_day_and_time(unix_seconds)
        return f"{day} {time}" if with_date else time
    moment, years = shifted_local(unix_seconds, zone)
    day = f"{moment.year + years:04d}-{moment:%m-%d}"
    return f"{day} {moment:%H:%M:%S}" if with_date else f"{moment:%H:%M:%S}"


def shifted_local(unix_seconds: int, zone: dt.tzinfo | None) -> tuple[dt.datetime, int]:
    """The instant as an aware datetime in `zone` (UTC without one) and 0; past the year 9999,
    where datetime ends, moved back whole 400-year cycles, and the years so taken away. The
    calendar repeats every cycle, and so do the rules of a zone's clocks that far ahead."""
    beyond = unix_seconds - LATEST_DATETIME_INSTANT + 2 * SECONDS_PER_DAY  # room for an offset
    cycles = max(0, -(-beyond // _CYCLE_SECONDS))
    moment = UNIX_EPOCH + dt.timedelta(seconds=unix_seconds - cycles * _CYCLE_SECONDS)
    return moment.astimezone(zone or dt.timezone.utc), 400 * cycles


def utc_day_and_time(unix_seconds: int) -> tuple[str, str]:
    """('YYYY-MM-DD', 'HH:MM:SS') in UTC, for any instant the engine holds."""
    cycles = unix_seconds // _CYCLE_SECONDS
    moment = UNIX_EPOCH + dt.timedelta(seconds=unix_seconds - cycles * _CYCLE_SECONDS)
    return f"{moment.year + 400 * cycles:04d}-{moment:%m-%d}", f"{moment:%H:%M:%S}"


def format_length(length: int, dated: bool) -> str:
    """A duration as H:MM:SS (days added when long), or a plain number for undated times."""
    if not dated:
        return str(length)
    days, rest = divmod(length, SECONDS_PER_DAY)
    hours, rest = divmod(rest, 3600)
    text = f"{hours}:{rest // 60:02d}:{rest % 60:02d}"
    return f"{days}d {text}" if days else text
