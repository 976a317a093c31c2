"""The time arguments of the engine for a problem: its daily hours moved to the engine's clock
where one offset holds, else its calendar laid out as instants; the breaks laid out over the
days a tour may reach; the window rule per location."""

from __future__ import annotations

import dataclasses
import datetime as dt
from typing import TYPE_CHECKING, Any

from ..units.local_time import local, steady_offset
from ..units.values import SECONDS_PER_DAY
from .breaks import BreakRule, break_rules
from .calendar import local_dates

if TYPE_CHECKING:
    from .problem import Problem

# The most days walked to find open time for all the work: beyond the engine's bound on the
# open days of a schedule, with weekends.
_MOST_DAYS = 15_000


@dataclasses.dataclass(frozen=True)
class EngineTime:
    """`offset`: seconds the engine's clock runs ahead of the instants (local midnight for
    daily hours); the rest are keyword arguments of the engine module, None where not given."""

    offset: int = 0
    operation_times: tuple[int, int] | None = None
    open_hours: list[tuple[int, int]] | None = None
    breaks: list[BreakRule] | None = None
    start_windows: list[bool] | None = None

    def keywords(self) -> dict[str, Any]:
        """The engine module's keywords beyond `tourwright.solve`'s, where given."""
        given: dict[str, Any] = {
            "open_hours": self.open_hours,
            "breaks": self.breaks,
            "start_windows": self.start_windows,
        }
        return {name: value for name, value in given.items() if value is not None}


def engine_time(problem: Problem) -> EngineTime:
    if problem.time_windows is None:
        return EngineTime()
    start_windows = None
    if "start" in problem.window_rule:
        start_windows = [rule == "start" for rule in problem.window_rule]
    tz, pair, calendar = problem.timezone, problem.operation_times, problem.hours
    if calendar is None and not problem.breaks:
        return EngineTime(start_windows=start_windows)
    if tz is None and pair is not None and not problem.breaks:
        return EngineTime(0, pair, start_windows=start_windows)
    bounds = [bound for windows in problem.time_windows for window in windows for bound in window]
    first, last = min(bounds), max(bounds)
    offset, end = None, None
    if pair is not None and (tz is None or isinstance(tz, dt.timezone)):
        offset = 0 if tz is None else steady_offset(tz, first, last)
    elif pair is not None and tz is not None:  # an offset that may change must hold to the end
        end = horizon_end(problem, first, last)
        offset = steady_offset(tz, first, end)
    if offset is not None and not problem.breaks:
        return EngineTime(offset, pair, start_windows=start_windows)
    end = end or horizon_end(problem, first, last)
    intervals = None if calendar is None else calendar.open_intervals(first, end, tz)
    days = local_dates(first, end, tz)
    rules = break_rules(problem.breaks, days, intervals, tz, problem.clock_changes) or None
    if offset is not None:
        shifted = None if rules is None else [(n, a + offset, b + offset) for n, a, b in rules]
        return EngineTime(offset, pair, breaks=shifted, start_windows=start_windows)
    return EngineTime(0, None, intervals, rules, start_windows)


def horizon_end(problem: Problem, first: int, last: int) -> int:
    """An instant by which every tour has ended: past the last window's end, open time for all
    jobs, the longest leg out of each location and a break per passage (each may cost its
    length, the wait for its room and the open time of the days it waits through), and a day
    more."""
    assert problem.job_durations is not None and problem.duration_matrix is not None
    legs = problem.duration_matrix.row_maxima()
    need = sum(problem.job_durations) + sum(legs)
    tz, calendar = problem.timezone, problem.hours
    if problem.breaks:
        day = SECONDS_PER_DAY if calendar is None else calendar.longest_day()
        longest = max(item.length for item in problem.breaks)
        need += (problem.size + 1) * 2 * (day + longest)
    moment, found = last, 0
    for _ in range(_MOST_DAYS):
        ahead = moment + SECONDS_PER_DAY
        intervals = [(moment, ahead)]
        if calendar is not None:
            intervals = calendar.open_intervals(moment, ahead, tz)
        for opening, closing in intervals:
            opening, closing = max(opening, moment), min(closing, ahead)
            if found + closing - opening >= need:
                return opening + (need - found) + SECONDS_PER_DAY
            found += max(0, closing - opening)
        moment = ahead
    raise ValueError(
        f"hours: too little open time after {local(last, tz):%Y-%m-%d} for the work that may be "
        f"left then ({need} seconds of jobs, legs and breaks)"
    )
