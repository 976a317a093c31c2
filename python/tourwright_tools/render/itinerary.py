"""A solved tour read stop by stop, as its picture and its report page show it."""

from __future__ import annotations

import dataclasses
import datetime as dt
from typing import Literal

from ..model.problem import Problem, Window
from ..units.timetext import TimeText
from ..units.values import looks_dated
from .shapes import DrawnTour, ScheduledEvent

# Why a stop is late, as `Stop.late_because` says it.
LONG_JOB = "its job is longer than its windows"
HOURS = "the hours paused the way there or the work"
EARLIER_STOPS = "the stops before it"
LATE_START = "the start"
BREAK = "a break on the way there or before the work"

# Where a break was taken, as `TakenBreak.how` says it.
BreakPlace = Literal["stop", "wait", "leg"]


@dataclasses.dataclass(frozen=True)
class Stop:
    """One stop of a tour: when the van arrives, waits (seconds in all), works and leaves
    (Unix seconds, None without time data; `departure` is when it drives on, or its work ends
    where it drives no more), and how late its work ends after its last window (`late`, seconds).

    `index` counts from 0 in visiting order and is shown from 1 (`number`); `label` is the
    location's name, else "#" and its id. A late stop tells the window it `missed` and
    `late_because`: its job does not fit any of its windows, the hours paused the way there
    or the work (it left the stop before early enough to be on time), a break taken on the
    way there or before the work, the stops before it were done too late, or the tour started
    too late. With `start_only` its windows bind only the start of its work: it is late by
    how far its work starts after its last window."""

    index: int
    location: int
    label: str
    arrival: int | None
    work_start: int | None
    work_end: int | None
    work: int
    wait: int
    late: int
    windows: tuple[Window, ...]
    departure: int | None = None
    late_because: str | None = None
    start_only: bool = False

    @property
    def number(self) -> int:
        return self.index + 1

    @property
    def missed(self) -> Window | None:
        """The window a late stop's work ended (or, with `start_only`, started) after: its last."""
        return self.windows[-1] if self.late and self.windows else None


@dataclasses.dataclass(frozen=True)
class TakenBreak:
    """A break of the tour (Unix seconds), the timeline row it is drawn in (a stop's index)
    and where the van took it (`how`: on arriving at a stop, during a wait there, or pausing a
    leg, which `place` says in words)."""

    start: int
    end: int
    row: int
    how: BreakPlace
    place: str

    @property
    def length(self) -> int:
        return self.end - self.start


@dataclasses.dataclass(frozen=True)
class Skipped:
    """An optional location the tour leaves out, with its label and priority class."""

    location: int
    label: str
    priority: int


@dataclasses.dataclass(frozen=True)
class Itinerary:
    """The stops of a tour with their times, its legs between stops (stop indexes), where it
    ends, the lateness that belongs to no job (a late end or return), and each schedule event
    with the timeline row it is drawn in: work at its stop, travel at the stop it leaves, a wait
    at the row of the action it waits for, a break where it was taken (a break that pauses a leg
    at the stop the leg leaves). `breaks` are the breaks with their places, `closed_days` the
    local days within the tour on which the hours do not open at all, as (start, end) instants;
    `skipped` the optional locations left out, the highest class first."""

    stops: tuple[Stop, ...]
    legs: tuple[tuple[int, int], ...]
    returns: bool
    end: int
    end_time: int | None
    late_end: int
    rows: tuple[tuple[ScheduledEvent, int], ...]
    text: TimeText
    breaks: tuple[TakenBreak, ...] = ()
    closed_days: tuple[tuple[int, int], ...] = ()
    skipped: tuple[Skipped, ...] = ()

    @classmethod
    def of(cls, tour: DrawnTour, problem: Problem) -> Itinerary:
        route = tour.route
        if not route or any(not 0 <= location < problem.size for location in route):
            raise ValueError(
                f"the tour visits locations {list(route[:5])}..., not of this problem "
                f"of {problem.size} locations"
            )
        if any(location >= problem.size for location in tour.skipped):
            raise ValueError(f"the tour skips locations not of this problem of {problem.size}")
        position = {location: index for index, location in enumerate(route)}
        schedule = tour.schedule or ()
        rows = _rows(schedule, position, len(route))
        breaks = _breaks(rows, problem)
        arrival: list[int | None] = [None] * len(route)
        departure: list[int | None] = [None] * len(route)
        work: list[list[ScheduledEvent]] = [[] for _ in route]
        wait = [0] * len(route)
        # Where the tour stands: the end of its latest work or travel. A stop's first event (its
        # work, or a wait for it) comes after the arrival there, which is that end: also over a
        # leg of no length, which has no travel event.
        reached = tour.start_time
        # A tour from a place off its route (the van's, when planned again) begins with the
        # way from there, waits for the hours included, which belongs to no stop.
        lead = next((k for k, (event, _) in enumerate(rows) if event.kind == "travel"), len(rows))
        if lead == len(rows) or rows[lead][0].from_location is not None:
            lead = -1
        for k, (event, row) in enumerate(rows):
            if k <= lead:
                reached = event.end if event.kind == "travel" else reached
                continue
            if arrival[row] is None:
                arrival[row] = reached
            if event.kind != "wait":
                reached = event.end
            if event.kind == "work":
                work[row].append(event)
            elif event.kind == "travel" and departure[row] is None:
                departure[row] = event.start
            elif event.kind == "wait":
                wait[row] += event.length
        if route and arrival[0] is None:
            arrival[0] = tour.start_time
        # The legs follow the route, and the return where the tour makes one: also a leg of
        # no length (a last stop in the depot's building), which has no travel event.
        returns = tour.returns and len(route) > 1
        legs = [(index, index + 1) for index in range(len(route) - 1)]
        legs += [(len(route) - 1, 0)] if returns else []
        windows = problem.time_windows or tuple(() for _ in range(problem.size))
        stops: list[Stop] = []
        for index, location in enumerate(route):
            stop = _stop(
                index,
                location,
                problem,
                arrival[index],
                work[index],
                wait[index],
                windows[location],
            )
            leaves = departure[index] if departure[index] is not None else stop.work_end
            before = stops[-1] if stops else None
            because = _late_because(stop, before, problem, breaks) if stop.late else None
            stops.append(dataclasses.replace(stop, departure=leaves, late_because=because))
        late = sum(stop.late for stop in stops)
        return cls(
            tuple(stops),
            tuple(legs),
            returns,
            legs[-1][1] if legs else len(route) - 1,
            tour.end_time,
            max(0, (tour.lateness or 0) - late),
            tuple(rows),
            TimeText.for_span(tour.start_time, tour.end_time, tour.zone),
            breaks,
            _closed_days(problem, tour.start_time, tour.end_time),
            skipped_stops(tour.skipped, problem),
        )

    @property
    def late_stops(self) -> int:
        return sum(1 for stop in self.stops if stop.late)


def summary(tour: DrawnTour, itinerary: Itinerary) -> list[tuple[str, str]]:
    """The figures of a tour, labelled, for the top of a picture or a page."""
    text = itinerary.text
    rows = [("stops", str(len(itinerary.stops))), ("distance", f"{tour.distance}")]
    if tour.lateness is not None:
        late = counted(itinerary.late_stops, "late stop")
        late += ", late end" if itinerary.late_end else ""
        rows.append(
            (
                "lateness",
                f"{text.length(tour.lateness)} ({late})" if tour.lateness else text.length(0),
            )
        )
    if tour.start_time is not None and tour.end_time is not None:
        rows += [("start", text.full(tour.start_time)), ("end", text.full(tour.end_time))]
    rows += [
        (label, text.length(value))
        for label, value in (
            ("duration", tour.duration),
            ("working", tour.working_time),
            ("travelling", tour.traveling_time),
            ("waiting", tour.waiting_time),
        )
        if value is not None
    ]
    if itinerary.breaks:
        taken = counted(len(itinerary.breaks), "break")
        rows.append(("breaks", f"{text.length(tour.break_time or 0)} ({taken})"))
    if itinerary.skipped:
        rows.append(("skipped", skipped_text(itinerary.skipped)))
    return rows


def skipped_text(skipped: tuple[Skipped, ...]) -> str:
    """'3 stops (class 2: 1, class 1: 2)': the optional stops left out, by class from the
    highest."""
    counts: dict[int, int] = {}
    for stop in skipped:
        counts[stop.priority] = counts.get(stop.priority, 0) + 1
    classes = ", ".join(f"class {value}: {counts[value]}" for value in sorted(counts, reverse=True))
    return f"{counted(len(skipped), 'stop')} ({classes})"


def skipped_stops(locations: tuple[int, ...], problem: Problem) -> tuple[Skipped, ...]:
    """The locations left out with their labels and classes, the highest class first."""
    found = [
        Skipped(location, _label(problem, location), problem.priority[location] or 0)
        for location in locations
    ]
    return tuple(sorted(found, key=lambda stop: (-stop.priority, stop.location)))


def counted(count: int, thing: str) -> str:
    """'1 stop', '3 stops'."""
    return f"{count} {thing}" + ("" if count == 1 else "s")


def _rows(
    schedule: tuple[ScheduledEvent, ...], position: dict[int, int], count: int
) -> list[tuple[ScheduledEvent, int]]:
    rows: list[int | None] = []
    left = False  # whether the van has left its first stop: a break there is then the return's
    for event in schedule:
        left = left or (event.kind == "travel" and event.from_location is not None)
        if event.kind in ("work", "break") and event.location is not None:
            returning = left and position[event.location] == 0
            rows.append(None if returning else position[event.location])
        elif event.kind in ("travel", "break") and event.from_location is not None:
            rows.append(position[event.from_location])
        else:
            rows.append(None)
    following = count - 1
    for index in range(len(rows) - 1, -1, -1):
        row = rows[index]
        if row is None:
            rows[index] = following
        else:
            following = row
    return [(event, row if row is not None else count - 1) for event, row in zip(schedule, rows)]


def _breaks(rows: list[tuple[ScheduledEvent, int]], problem: Problem) -> tuple[TakenBreak, ...]:
    """The breaks of the schedule with their places: one with a location was taken there,
    during a wait when the van waits on after it (it then delayed nothing), else on arriving."""
    taken: list[TakenBreak] = []
    for index, (event, row) in enumerate(rows):
        if event.kind != "break":
            continue
        how: BreakPlace
        if event.location is None:
            how, place = "leg", "pausing the way"
            if event.from_location is not None and event.to_location is not None:
                ends = (_label(problem, event.from_location), _label(problem, event.to_location))
                place += " {} > {}".format(*ends)
        elif index + 1 < len(rows) and rows[index + 1][0].kind == "wait":
            how, place = "wait", f"during the wait at {_label(problem, event.location)}"
        else:
            how, place = "stop", f"at {_label(problem, event.location)}"
        taken.append(TakenBreak(event.start, event.end, row, how, place))
    return tuple(taken)


def _closed_days(
    problem: Problem, first: int | None, last: int | None
) -> tuple[tuple[int, int], ...]:
    """The local days from `first` to `last` on which the problem's hours never open, as
    instants from their midnight to the next."""
    if problem.hours is None or first is None or last is None or not looks_dated(first):
        return ()
    zone = problem.timezone or dt.timezone.utc

    def midnight(day: dt.date) -> int:
        return int(dt.datetime.combine(day, dt.time(), tzinfo=zone).timestamp())

    days = problem.hours.closed_days(first, last, problem.timezone)
    return tuple((midnight(day), midnight(day + dt.timedelta(days=1))) for day in days)


def _late_because(
    stop: Stop, before: Stop | None, problem: Problem, breaks: tuple[TakenBreak, ...]
) -> str:
    """Why `stop`, which is late, is late (one of the words above)."""
    job = problem.job_durations[stop.location] if problem.job_durations is not None else 0
    # A window that binds only the start holds a job of any length.
    bound = 0 if stop.start_only else job
    if all(end - start < bound for start, end in stop.windows):
        return LONG_JOB
    if before is None:
        return LATE_START
    # When the van could have driven on from the stop before: its work done (or its arrival).
    ready = before.arrival if before.work_end is None else before.work_end
    if ready is None:
        return LATE_START
    closing = stop.windows[-1][1]
    legs = problem.duration_matrix
    leg = legs.at(before.location, stop.location) if legs is not None else 0
    if ready + leg + bound > closing:
        return EARLIER_STOPS
    # On time but for what happened on the way: a break that delayed it, or the hours.
    starts = stop.work_start if stop.work_start is not None else stop.arrival
    delayed = any(
        taken.how != "wait" and ready <= taken.start and (starts is None or taken.start < starts)
        for taken in breaks
    )
    return BREAK if delayed else HOURS


def _stop(
    index: int,
    location: int,
    problem: Problem,
    arrival: int | None,
    work: list[ScheduledEvent],
    wait: int,
    windows: tuple[Window, ...],
) -> Stop:
    work_start = work[0].start if work else None
    work_end = work[-1].end if work else None
    start_only = problem.window_rule[location] == "start"
    bound = work_start if start_only else work_end
    closing = windows[-1][1] if windows else None
    late = bound - closing if bound is not None and closing is not None else 0
    return Stop(
        index,
        location,
        _label(problem, location),
        arrival,
        work_start,
        work_end,
        sum(event.length for event in work),
        wait,
        max(late, 0),
        windows,
        start_only=start_only,
    )


def _label(problem: Problem, location: int) -> str:
    return problem.names[location] if problem.names is not None else f"#{location}"
