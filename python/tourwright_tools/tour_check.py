"""Whether a tour read from outside (an earlier batch's result) is a tour of a given problem:
what can be checked exactly without the engine."""

from __future__ import annotations

from .local_time import zone_name
from .options import SolveOptions
from .problem import Problem
from .solving import ends_of
from .tour import Tour


def tour_fault(tour: Tour, problem: Problem, options: SolveOptions) -> str | None:
    """What makes `tour` no tour of `problem` with the ends of `options`, or None.

    Checked: the route visits every location once, from the start and to the end the options
    give (returning or not), the distance is the sum of its legs, the names and time zone are
    the problem's, and the schedule does the work at the route's locations in its order with a
    travel between consecutive ones, in time order, its totals the sums of its events. Not
    checked (that needs the engine's evaluation): the lengths of the events against the
    problem's durations, windows and hours, and so the lateness."""
    route, size = tour.route, problem.size
    if sorted(route) != list(range(size)):
        return f"the route is not one visit to each of the problem's {size} locations"
    first, last = ends_of(problem, options)
    if first is not None and route[0] != first:
        return f"the route does not leave from location {first}"
    if tour.returns != (last is None):
        return "the route returns where it should not, or not where it should"
    if isinstance(last, int) and route[-1] != last:
        return f"the route does not end at location {last}"
    legs = list(zip(route, route[1:] + route[:1] if tour.returns else route[1:]))
    if tour.distance != sum(problem.distance_matrix[a][b] for a, b in legs):
        return "the distance is not that of the route"
    if tour.names != problem.names:
        return "the names are not the problem's"
    zone = None if problem.timezone is None else zone_name(problem.timezone)
    if tour.timezone != zone:
        return "the time zone is not the problem's"
    if (tour.schedule is None) != (not problem.has_time_data):
        return "a schedule where the problem has no time data, or none where it has"
    return None if tour.schedule is None else _schedule_fault(tour, legs)


def _schedule_fault(tour: Tour, legs: list[tuple[int, int]]) -> str | None:
    schedule = tour.schedule or ()
    work = [event.location for event in schedule if event.kind == "work"]
    travel = [
        (event.from_location, event.to_location) for event in schedule if event.kind == "travel"
    ]
    if work != list(tour.route) or travel != legs:
        return "the schedule does not follow the route"
    if any(later.start < earlier.end for earlier, later in zip(schedule, schedule[1:])):
        return "the schedule's events are not in time order"
    for total, kind in (
        ("working_time", "work"),
        ("traveling_time", "travel"),
        ("waiting_time", "wait"),
    ):
        if getattr(tour, total) != sum(event.length for event in schedule if event.kind == kind):
            return f"{total} is not the sum of the schedule's events"
    if schedule and (tour.start_time, tour.end_time) != (schedule[0].start, schedule[-1].end):
        return "the start and end are not those of the schedule"
    if tour.start_time is None or tour.end_time is None or tour.lateness is None:
        return "a schedule without start, end or lateness"
    if tour.duration != tour.end_time - tour.start_time:
        return "the duration is not from start to end"
    return None
