"""A solved tour read stop by stop, as its picture and its report page show it."""

from __future__ import annotations

import dataclasses

from ..model.problem import Problem, Window
from ..units.timetext import TimeText
from .shapes import DrawnTour, ScheduledEvent

# Why a stop is late, as `Stop.late_because` says it.
LONG_JOB = "its job is longer than its windows"
HOURS = "the hours paused the way there or the work"
EARLIER_STOPS = "the stops before it"
LATE_START = "the start"


@dataclasses.dataclass(frozen=True)
class Stop:
    """One stop of a tour: when the van arrives, waits (seconds in all), works and leaves
    (Unix seconds, None without time data; `departure` is when it drives on, or its work ends
    where it drives no more), and how late its work ends after its last window (`late`, seconds;
    where the windows bind only the start, how late its work starts).

    `index` counts from 0 in visiting order and is shown from 1 (`number`); `label` is the
    location's name, else "#" and its id. A late stop tells the window it `missed` and
    `late_because`: its job does not fit any of its windows, the hours paused the way there
    or the work (it left the stop before early enough to be on time), the stops before it
    were done too late, or the tour started too late."""

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

    @property
    def number(self) -> int:
        return self.index + 1

    @property
    def missed(self) -> Window | None:
        """The window a late stop's work ended after: its last."""
        return self.windows[-1] if self.late and self.windows else None


@dataclasses.dataclass(frozen=True)
class Itinerary:
    """The stops of a tour with their times, its legs between stops (stop indexes), where it
    ends, the lateness that belongs to no job (a late end or return), and each schedule event
    with the timeline row it is drawn in: work at its stop, travel at the stop it leaves, a wait
    at the row of the action it waits for."""

    stops: tuple[Stop, ...]
    legs: tuple[tuple[int, int], ...]
    returns: bool
    end: int
    end_time: int | None
    late_end: int
    rows: tuple[tuple[ScheduledEvent, int], ...]
    text: TimeText

    @classmethod
    def of(cls, tour: DrawnTour, problem: Problem) -> Itinerary:
        route = tour.route
        if not route or any(not 0 <= location < problem.size for location in route):
            raise ValueError(
                f"the tour visits locations {list(route[:5])}..., not of this problem "
                f"of {problem.size} locations"
            )
        position = {location: index for index, location in enumerate(route)}
        schedule = tour.schedule or ()
        rows = _rows(schedule, position, len(route))
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
            because = (
                _late_because(stop, stops[-1] if stops else None, problem) if stop.late else None
            )
            stops.append(dataclasses.replace(stop, departure=leaves, late_because=because))
        late_end = max(0, (tour.lateness or 0) - sum(stop.late for stop in stops))
        return cls(
            tuple(stops),
            tuple(legs),
            returns,
            legs[-1][1] if legs else len(route) - 1,
            tour.end_time,
            late_end,
            tuple(rows),
            TimeText.for_span(tour.start_time, tour.end_time, tour.zone),
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
    return rows


def counted(count: int, thing: str) -> str:
    """'1 stop', '3 stops'."""
    return f"{count} {thing}" + ("" if count == 1 else "s")


def _rows(
    schedule: tuple[ScheduledEvent, ...], position: dict[int, int], count: int
) -> list[tuple[ScheduledEvent, int]]:
    rows: list[int | None] = []
    for event in schedule:
        if event.kind == "work" and event.location is not None:
            rows.append(position[event.location])
        elif event.kind == "travel" and event.from_location is not None:
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


def _late_because(stop: Stop, before: Stop | None, problem: Problem) -> str:
    """Why `stop`, which is late, is late (one of the words above)."""
    job = problem.job_durations[stop.location] if problem.job_durations is not None else 0
    if problem.window_rule[stop.location] == "start":
        job = 0  # only the start need be within a window: any job fits
    elif all(end - start < job for start, end in stop.windows):
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
    return HOURS if ready + leg + job <= closing else EARLIER_STOPS


def _stop(
    index: int,
    location: int,
    problem: Problem,
    arrival: int | None,
    work: list[ScheduledEvent],
    wait: int,
    windows: tuple[Window, ...],
) -> Stop:
    work_end = work[-1].end if work else None
    closing = windows[-1][1] if windows else None
    # Late: the end of its work after its last window, or its start where that is bound.
    bound = work[0].start if work and problem.window_rule[location] == "start" else work_end
    late = bound - closing if bound is not None and closing is not None else 0
    label = problem.names[location] if problem.names is not None else f"#{location}"
    return Stop(
        index,
        location,
        label,
        arrival,
        work[0].start if work else None,
        work_end,
        sum(event.length for event in work),
        wait,
        max(late, 0),
        windows,
    )
