"""Tours over a working week: calendars of open hours, breaks and windows that bind only the
start, each schedule checked against the problem by a checker of its own."""

import datetime as dt
import random
import zoneinfo

import pytest
from hypothesis import HealthCheck, example, given, settings
from hypothesis import strategies as st
from schedule_check import check_schedule
from tourwright_tools import Break, Problem, Tour, evaluate_route, replan, solve_problem

BERLIN = zoneinfo.ZoneInfo("Europe/Berlin")
HOUR = 3600
LUNCH = Break("PT30M", ("11:30", "13:30"))
WEEK = {
    "mon": [("08:00", "12:00"), ("13:00", "17:00")],
    "tue": ("08:00", "17:00"),
    "wed": ("08:00", "17:00"),
    "thu": ("22:00", "06:00"),
    "fri": ("08:00", "12:00"),
    "2026-12-09": None,
}


def at(month, day, hour, minute=0):
    return dt.datetime(2026, month, day, hour, minute, tzinfo=BERLIN)


def week_problem(seed, n=8, first=(12, 7), days=3, **changes):
    """Random stops with a window each on the days from `first` on, in Berlin."""
    rng = random.Random(seed)
    points = [(rng.randint(0, 40), rng.randint(0, 40)) for _ in range(n)]
    legs = [[60 * (abs(x - u) + abs(y - v)) for u, v in points] for x, y in points]
    start = at(*first, 7)
    windows = [[(start, start + dt.timedelta(days=days))]]
    for _ in range(n - 1):
        opening = start + dt.timedelta(hours=rng.randint(0, 24 * days))
        windows.append([(opening, opening + dt.timedelta(hours=rng.randint(1, 6)))])
    jobs = [0] + [rng.randint(5, 120) * 60 for _ in range(n - 1)]
    arguments = {"hours": WEEK, "breaks": [LUNCH], "timezone": "Europe/Berlin", **changes}
    return Problem(legs, legs, jobs, windows, coordinates=points, **arguments)


@pytest.mark.parametrize("seed", range(6))
@pytest.mark.parametrize("rule", ["whole", "start", "mixed"])
def test_searched_and_timed_tours_keep_every_rule_of_the_week(seed, rule):
    rules = rule if rule != "mixed" else ["whole", "start"] * 4
    problem = week_problem(seed, window_rule=rules)
    tour = solve_problem(problem, depot=0, max_descents=3, seed=seed)
    check_schedule(tour, problem)
    for departure in ("latest", "earliest"):
        reverse = [0, *reversed(tour.route[1:])]
        timed = evaluate_route(problem, reverse, depot=0, departure=departure)
        check_schedule(timed, problem)
    assert Tour.from_json(tour.to_json()) == tour


def test_without_hours_a_start_rule_is_the_whole_rule_with_the_end_moved_by_the_job():
    problem = week_problem(3, hours=None, breaks=None, window_rule="start")
    tour = solve_problem(problem, depot=0, max_descents=2, seed=1)
    moved = [
        [(start, end + job) for start, end in windows]
        for windows, job in zip(problem.time_windows, problem.job_durations)
    ]
    whole = Problem(problem.distance_matrix, problem.duration_matrix, problem.job_durations, moved)
    again = evaluate_route(whole, tour, depot=0)
    assert (again.lateness, again.end_time) == (tour.lateness, tour.end_time)


def test_a_lunch_break_is_taken_every_working_day_and_in_the_wait_where_it_fits():
    problem = week_problem(1, n=10, days=2, hours=("08:00", "17:00"))
    tour = solve_problem(problem, depot=0, max_descents=3, seed=1)
    check_schedule(tour, problem)
    breaks = [event for event in tour.schedule if event.kind == "break"]
    assert breaks and tour.break_time == 1800 * len(breaks)
    for event in breaks:
        start = dt.datetime.fromtimestamp(event.start, BERLIN)
        assert dt.time(11, 30) <= start.time() <= dt.time(13, 30) or tour.lateness
    stops = tour.stops(problem)
    assert {stop.location for stop in stops} == set(range(10))


def test_the_rest_of_the_day_skips_the_breaks_already_taken():
    problem = week_problem(4, n=10, days=1, hours=("08:00", "17:00"))
    tour = solve_problem(problem, depot=0, max_descents=3, seed=4)
    taken = [event for event in tour.schedule if event.kind == "break"]
    assert taken
    now = taken[0].end + 60
    rest = replan(problem, tour, now, max_descents=2, seed=1)
    again = [event for event in rest.schedule if event.kind == "break"]
    assert all(event.start >= now for event in again)
    assert all(
        dt.datetime.fromtimestamp(event.start, BERLIN).date()
        != dt.datetime.fromtimestamp(taken[0].start, BERLIN).date()
        for event in again
    )


@pytest.mark.parametrize("leaves, late", [((7, 0), 0), ((9, 40), 20 * 60)])
def test_a_start_bound_stop_is_late_by_its_start_and_not_for_a_long_job(leaves, late):
    legs = [[0, 600], [600, 0]]
    windows = [[(at(12, 7, *leaves), at(12, 7, 20))], [(at(12, 7, 9), at(12, 7, 9, 30))]]
    problem = Problem(legs, legs, [0, 4 * HOUR], windows, timezone=BERLIN, window_rule="start")
    tour = evaluate_route(problem, [0, 1], departure="earliest")
    check_schedule(tour, problem)
    stop = tour.stops(problem)[1]
    assert stop.late == tour.lateness == late
    assert stop.late_because == (late and "the stops before it" or None)


clock = st.integers(0, 47).map(lambda half: f"{half // 2:02d}:{half % 2 * 30:02d}")
interval = st.tuples(clock, clock).filter(lambda pair: pair[0] != pair[1])
calendars = st.one_of(
    interval,
    st.dictionaries(st.sampled_from(["mon", "tue", "wed", "thu", "fri", "sat", "sun"]), interval),
)
breaks = st.lists(
    st.builds(
        lambda minutes, start, width: Break(minutes * 60, (start, min(start + width, 86399))),
        st.integers(5, 60),
        st.integers(0, 23).map(lambda hour: hour * 3600),
        st.integers(0, 4 * 3600),
    ),
    max_size=1,
)


@settings(max_examples=40, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(
    hours=calendars,
    breaks=breaks,
    rule=st.sampled_from(["whole", "start"]),
    first=st.sampled_from([(12, 7), (3, 27), (10, 23)]),
    seed=st.integers(0, 9),
)
# An hour a day: jobs span days, breaks pause legs across closings and fall due faster than
# the passages take them.
@example(
    hours=("00:00", "01:00"), breaks=[Break(38 * 60, (0, 0))], rule="whole", first=(12, 7), seed=0
)
def test_random_calendars_and_breaks_give_schedules_that_keep_every_rule(
    hours, breaks, rule, first, seed
):
    try:
        problem = week_problem(seed, n=6, first=first, hours=hours, breaks=breaks, window_rule=rule)
    except ValueError as error:  # hours that never open, overlap or skip, a break too long
        assert "\n" not in str(error)
        return
    tour = solve_problem(problem, depot=0, max_descents=1, seed=seed)
    check_schedule(tour, problem)
