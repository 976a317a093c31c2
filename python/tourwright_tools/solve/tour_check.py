"""Whether a tour read from outside (an earlier batch's result) is a tour of a given problem:
its route, and everything the route determines, evaluated afresh."""

from __future__ import annotations

from ..model.problem import Problem
from ..units.local_time import zone_name
from .options import SolveOptions
from .solving import SolveError, ends_of, timed_route
from .tour import TIME_VALUES, Tour

# What a tour's route determines, given the problem and the options.
EVALUATED = ("distance", *TIME_VALUES, "schedule")


def tour_fault(tour: Tour, problem: Problem, options: SolveOptions) -> str | None:
    """What makes `tour` no tour of `problem` with the ends of `options`, or None.

    Checked: the route visits every location once but the skipped ones, which are optional and
    of their classes, from the start and to the end the options
    give (returning or not), the names and time zone are the problem's, and its distance,
    lateness, time totals, start, end and schedule are those of the route evaluated afresh with
    the options' departure. Not checked: `iterations`, `time_taken_microseconds` and
    `cut_short`, which tell of the search, not of the tour."""
    route, size = tour.route, problem.size
    if sorted(route + tour.skipped) != list(range(size)):
        return (
            f"the route and its skipped stops are not each of the problem's {size} locations once"
        )
    required = [location for location in tour.skipped if problem.required[location]]
    if required:
        return f"it skips location {required[0]}, which is required"
    if tour.skipped_classes != tuple(problem.priority[location] for location in tour.skipped):
        return "the classes of its skipped stops are not the problem's"
    first, last = ends_of(problem, options)
    if first is not None and route[0] != first:
        return f"the route does not leave from location {first}"
    if tour.returns != (last is None):
        return "the route returns where it should not, or not where it should"
    if isinstance(last, int) and route[-1] != last:
        return f"the route does not end at location {last}"
    if tour.names != problem.names:
        return "the names are not the problem's"
    zone = None if problem.timezone is None else zone_name(problem.timezone)
    if tour.timezone != zone:
        return "the time zone is not the problem's"
    try:
        fresh = timed_route(problem, route, options)
    except (SolveError, ValueError) as error:
        return f"its route cannot be timed: {error}"
    for name in EVALUATED:
        if getattr(tour, name) != getattr(fresh, name):
            return f"its {name.replace('_', ' ')} is not that of its route evaluated afresh"
    return None
