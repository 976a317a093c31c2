"""A given order timed as the search would time it, stop by stop; a search begun from it or
keeping a run of stops in place."""

import random

import pytest
from conftest import DAY0, HOUR, delivery_problem
from schedule_check import check_schedule
from tourwright_tools import Problem, evaluate_route, schedule_svg, solve_many, solve_problem

ENDS = [{}, {"depot": 0}, {"start": 0, "end": "open"}, {"start": 0, "end": 3}]


def varied_problem(seed):
    """Several windows, jobs, on every other problem operating hours 08:00-17:00, and on every
    fourth windows that bind only the start."""
    rng = random.Random(seed)
    day = delivery_problem(rng.randrange(5, 11), seed=seed)
    hours = (8 * HOUR, 17 * HOUR) if seed % 2 else None
    return Problem(
        day.distance_matrix.tolist(),
        day.duration_matrix.tolist(),
        [rng.randrange(0, 3 * HOUR) for _ in range(day.size)],
        day.time_windows,
        hours,
        window_rule="start" if seed % 4 == 3 else "whole",
    )


def test_a_route_is_timed_as_a_search_ending_on_it_would_time_it():
    """Thousands of random orders, with every kind of end and both departures: timed alone, and
    as a search of no descent begun from them, the same tour; searched tours time the same."""
    rng = random.Random(7)
    checked = 0
    for seed in range(60):
        problem = varied_problem(seed)
        for ends in ENDS:
            if ends.get("end") == 3 and problem.size <= 3:
                continue
            for departure in ("latest", "earliest"):
                for _ in range(8):
                    middle = [k for k in range(problem.size) if k not in (0, ends.get("end"))]
                    rng.shuffle(middle)
                    route = [0, *middle] + ([3] if ends.get("end") == 3 else [])
                    if not ends:  # no start: the order is a cycle, turned to where it can start
                        route = route[1:] + route[:1]
                    timed = evaluate_route(problem, route, departure=departure, **ends)
                    assert timed.route == tuple(route) and timed.iterations == 0
                    check_schedule(timed, problem, started=bool(ends))
                    warm = solve_problem(
                        problem, initial=route, max_descents=0, departure=departure, **ends
                    )
                    assert warm.to_dict() | {"time_taken_microseconds": 0} == timed.to_dict()
                    checked += 1
                searched = solve_problem(
                    problem, max_descents=3, seed=seed, departure=departure, **ends
                )
                again = evaluate_route(problem, searched, departure=departure, **ends)
                assert again.to_dict() | {"iterations": 3} == searched.to_dict() | {
                    "iterations": 3,
                    "time_taken_microseconds": 0,
                }
    assert checked > 2000


@pytest.mark.parametrize(
    "route, ends, message",
    [
        ([0, 1, 1, 3], {}, "route: 1 is visited twice, at positions 1 and 2"),
        ([0, 1, 2], {}, "route: 3 is never visited; a route visits all 4"),
        ([0, 1, 2, 9], {}, "route: 9 at position 3 is not a location of this problem"),
        ([1, 0, 2, 3], {"depot": 0}, "route: begins with 1, not with the start 0"),
        ([0, 1, 2, 3], {"start": 0, "end": 2}, "route: finishes with 3, not with the end 2"),
        ([0, -1, 2, 3], {}, r"route\[1\]"),
    ],
)
def test_a_route_that_is_no_tour_is_refused_naming_its_first_fault(route, ends, message):
    problem = delivery_problem(4)
    with pytest.raises(ValueError, match=message):
        evaluate_route(problem, route, **ends)


def test_each_stop_says_when_the_van_comes_and_goes_and_why_it_is_late():
    # Stop 1 takes 2 h in a window of 1 h; stop 2 is reached too late; stop 3 would be on
    # time but the hours (until 10:00) hold the van over night.
    legs = [[0, 600, 600, 600], [600, 0, 600, 600], [600, 600, 0, 600], [600, 600, 600, 0]]
    windows = [
        [(DAY0, DAY0 + 48 * HOUR)],
        [(DAY0 + 7 * HOUR, DAY0 + 8 * HOUR)],
        [(DAY0 + 7 * HOUR, DAY0 + 8 * HOUR)],
        [(DAY0 + 7 * HOUR, DAY0 + 10 * HOUR + 1800)],
    ]
    problem = Problem(legs, legs, [0, 2 * HOUR, 600, 2700], windows, (6 * HOUR, 10 * HOUR))
    tour = evaluate_route(problem, [0, 1, 2, 3], departure="earliest")
    stops = tour.stops(problem)
    assert [stop.location for stop in stops] == [0, 1, 2, 3]
    because = [stop.late_because for stop in stops]
    assert because[:3] == [None, "its job is longer than its windows", "the stops before it"]
    assert because[3] == "the hours paused the way there or the work"
    assert stops[2].missed == windows[2][0] and stops[0].missed is None
    for stop in stops:
        assert stop.arrival <= stop.work_start <= stop.work_end <= stop.departure
        assert stop.late == max(0, stop.work_end - windows[stop.location][-1][1])
    assert sum(stop.late for stop in stops) <= tour.lateness
    # The picture and the page tell the same.
    assert "late 1:20:00 (the stops before it)" in schedule_svg(tour, problem)
    assert "<td>its job is longer than its windows</td>" in tour.to_html(problem)


def test_a_search_begun_from_a_route_is_never_worse_and_keeps_its_pinned_run():
    problem = delivery_problem(14, seed=3)
    rng = random.Random(3)
    for seed in range(6):
        middle = list(range(1, 14))
        rng.shuffle(middle)
        route = [0, *middle]
        alone = evaluate_route(problem, route)
        for strategy in ("iterated", "multistart"):
            tour = solve_problem(
                problem, initial=route, max_descents=4, seed=seed, depot=0, strategy=strategy
            )
            key = lambda t: (t.lateness, t.traveling_time, t.duration, t.waiting_time, t.distance)  # noqa: E731
            assert key(tour) <= key(alone)
            pinned = solve_problem(
                problem, pinned=middle[:3], max_descents=4, seed=seed, depot=0, strategy=strategy
            )
            assert pinned.route[:4] == (0, *middle[:3])
    with pytest.raises(ValueError, match="pinned: stops kept after the start need a start"):
        solve_problem(Problem(problem.distance_matrix.tolist()), pinned=[1])
    with pytest.raises(ValueError, match="initial: begins with 1, not with the start 0"):
        solve_problem(problem, initial=[1, 0, *range(2, 14)], depot=0)
    with pytest.raises(ValueError, match="initial: 1 at position 1, where the pinned 4 is kept"):
        solve_problem(problem, initial=list(range(14)), pinned=[4], depot=0)
    with pytest.raises(ValueError, match="max_descents: 0 descents search nothing"):
        solve_problem(problem, max_descents=0)
    # A batch takes one route per problem, by position or by key.
    other = list(reversed(route[1:])) + [0]
    tours = solve_many([problem, problem], initial=[route, other], max_descents=0)
    assert [tour.route for tour in tours] == [tuple(route), tuple(other)]
    named = solve_many({"a": problem, "b": problem}, initial={"b": other}, max_descents=1)
    assert named["a"].iterations == named["b"].iterations == 1
    with pytest.raises(ValueError, match="give each problem a route"):
        solve_many({"a": problem, "b": problem}, initial={"b": other}, max_descents=0)
