"""The rest of a day planned again from where the van is."""

import itertools

import pytest
from conftest import DAY0, HOUR, planned_day
from tourwright_tools import Problem, evaluate_route, replan, solve_problem
from tourwright_tools.solve import replan as replanning


def best_lateness_by_brute_force(problem, tour, now, **given):
    """The least lateness of any order of the stops left free, the van's place and kept stops
    first, on the problem of the rest of the day that `replan` solves."""
    done = replanning._done(problem, tour, now, None, tour.route[0])
    place = replanning._place(problem, tour, now, done, None, None, False)
    rest = replanning._Rest(
        problem,
        tour,
        now,
        done,
        place,
        tour.route[0],
        given.get("keep_next", 0),
    )
    fixed, last = (0, *rest.pinned), len(rest.locations) - 1
    free = [k for k in range(1, last) if k not in fixed]
    return min(
        evaluate_route(
            rest.problem, [*fixed, *order, last], start=0, end=last, departure="earliest"
        ).lateness
        for order in itertools.permutations(free)
    )


def test_the_rest_of_the_day_starts_from_now_and_is_on_time_where_it_can_be():
    for seed in range(1, 9):
        problem = planned_day(8, seed=seed)
        tour = solve_problem(problem, depot=0, max_descents=20, seed=seed)
        for share in (0.2, 0.45, 0.7):
            now = round(tour.start_time + share * (tour.end_time - tour.start_time))
            for keep_next in (0, 2):
                done = {e.location for e in tour.schedule if e.kind == "work" and e.end <= now}
                working = [
                    e.location for e in tour.schedule if e.kind == "work" and e.start <= now < e.end
                ]
                left = [k for k in tour.route if k not in done and k not in working]
                if keep_next > len(left):
                    continue
                new = replan(problem, tour, now, keep_next=keep_next, max_descents=30, seed=1)
                assert new.start_time == now and new.schedule[0].start == now
                assert new.route[-1] == 0 and not new.returns
                assert not (set(new.route[:-1]) & (done | {0}))
                assert sorted(new.route[:-1]) == sorted(working + left)
                assert new.route[: len(working)] == tuple(working)
                kept = [k for k in left if k != 0][:keep_next]
                assert list(new.route[len(working) : len(working) + len(kept)]) == kept
                best = best_lateness_by_brute_force(problem, tour, now, keep_next=keep_next)
                assert new.lateness <= best or best > 0
                assert (new.lateness == 0) == (best == 0)


def small_day():
    """A depot 0 and stops 1-3 a kilometre apart in a line, ten minutes per leg."""
    legs = [[abs(a - b) * 600 for b in range(4)] for a in range(4)]
    windows = [[(DAY0 + 8 * HOUR, DAY0 + 18 * HOUR)]] + [
        [(DAY0 + 8 * HOUR, DAY0 + 16 * HOUR)] for _ in range(3)
    ]
    return Problem([[d * 2 for d in row] for row in legs], legs, [0, 1800, 1800, 1800], windows)


def test_the_van_goes_on_along_its_leg_finishes_its_job_and_takes_new_work():
    problem = small_day()
    tour = evaluate_route(problem, [0, 1, 2, 3], departure="earliest")
    now = DAY0 + 8 * HOUR + 300  # halfway to stop 1
    new = replan(problem, tour, now, max_descents=5)
    assert new.route == (1, 2, 3, 0)
    first = new.schedule[0]
    assert (first.kind, first.from_location, first.to_location) == ("travel", None, 1)
    assert first.length == 300 and new.stops(problem)[0].arrival == now + 300
    # Working at 2: that job's remaining 10 minutes come first, and a new stop 4 is served.
    now = tour.stops(problem)[2].work_start + 1200
    bigger = Problem(
        [row + [2000] for row in problem.distance_matrix.tolist()] + [[2000] * 4 + [0]],
        [row + [1000] for row in problem.duration_matrix.tolist()] + [[1000] * 4 + [0]],
        [*problem.job_durations, 600],
        [*problem.time_windows, [(DAY0 + 8 * HOUR, DAY0 + 16 * HOUR)]],
    )
    new = replan(bigger, tour, now, max_descents=5)
    assert new.route[0] == 2 and set(new.route) == {2, 3, 4, 0}
    assert new.schedule[0] == type(new.schedule[0])("work", now, now + 600, location=2)
    given = replan(bigger, tour, now, done=[1], in_progress=(2, 300), max_descents=5)
    assert given.schedule[0].length == 300
    # A job said to be in progress that the plan had done, and that ends after its window.
    late = replan(problem, tour, DAY0 + 16 * HOUR - 60, in_progress=(1, 600), max_descents=5)
    assert late.route[0] == 1 and late.stops(problem)[0].late == 540 <= late.lateness


@pytest.mark.parametrize(
    "given, message",
    [
        ({"now": DAY0 + 30 * HOUR}, "now: .* is after the last window of the day closes"),
        ({"done": [2], "in_progress": 2}, "in_progress: 2 is also done"),
        ({"position": (1, 1, 0)}, "a leg from 1 to itself does not exist"),
        ({"position": (1, 2, 9000)}, "9000 seconds driven of the leg 1 > 2, which takes 600"),
        ({"position": (1, 7, 0)}, "position: 7 is not a location of this problem"),
        ({"done": [1, 1]}, "done: 1 is given twice"),
        ({"keep_next": 9}, "keep_next: 9, but the plan has 3 stops left to do"),
        ({"in_progress": 1, "position": 3}, "the van works at 1, so it stands there"),
    ],
)
def test_input_that_cannot_be_is_refused_with_one_line(given, message):
    problem = small_day()
    tour = evaluate_route(problem, [0, 1, 2, 3], departure="earliest")
    given = {"now": DAY0 + 8 * HOUR + 60, **given}
    with pytest.raises(ValueError, match=message) as raised:
        replan(problem, tour, given.pop("now"), **given)
    assert "\n" not in str(raised.value)
