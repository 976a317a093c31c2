"""solve_problem's Tour: plain records, JSON and pickling, clear errors, and its SVG picture."""

import datetime as dt
import pickle
import re
import xml.etree.ElementTree as ElementTree

import pytest
import tourwright
from conftest import DAY0, HOUR, RESULT_ATTRIBUTES, two_location_problem
from tourwright_tools import Problem, SolveError, Tour, schedule_svg, solve_problem

SVG = "{http://www.w3.org/2000/svg}"


def three_stop_problem(**changes):
    arguments = dict(
        distance_matrix=[[0, 4, 9], [4, 0, 3], [9, 3, 0]],
        duration_matrix=[[0, 600, 900], [600, 0, 300], [900, 300, 0]],
        job_durations=[0, 1200, 1800],
        time_windows=[
            [(DAY0 + 8 * HOUR, DAY0 + 17 * HOUR)],
            [(DAY0 + 9 * HOUR, DAY0 + 9 * HOUR + 60), (DAY0 + 13 * HOUR, DAY0 + 14 * HOUR)],
            [(DAY0 + 8 * HOUR, DAY0 + 8 * HOUR + 600)],
        ],
        operation_times=(8 * HOUR, 17 * HOUR),
        names=["Depot", "Bakery", "Library"],
        coordinates=[(0, 0), (1, 2), (3, 1)],
    )
    arguments.update(changes)
    return Problem(**arguments)


def test_tour_matches_solve_and_names_every_travel_leg():
    problem = three_stop_problem()
    tour = solve_problem(problem, strategy="multistart", departure="earliest")
    raw = tourwright.solve(**problem.solve_arguments())
    assert (list(tour.route), tour.distance, tour.lateness, tour.start_time, tour.end_time) == (
        raw.route,
        raw.distance,
        raw.lateness,
        raw.start_time,
        raw.end_time,
    )
    assert tour.start_datetime == dt.datetime.fromtimestamp(raw.start_time, dt.timezone.utc)
    assert [(e.start, e.end) for e in tour.schedule] == [e._0.window for e in raw.schedule]
    legs = [(e.from_location, e.to_location) for e in tour.schedule if e.kind == "travel"]
    route = tour.route
    assert legs == [(route[i], route[(i + 1) % 3]) for i in range(3)]
    assert "Tour(route=[" in repr(tour) and "lateness=" in repr(tour)


def test_json_round_trip_and_pickling_keep_every_attribute():
    tour = solve_problem(three_stop_problem(), time_limit=dt.timedelta(seconds=0))
    data = tour.to_dict()
    assert set(data) == {
        *RESULT_ATTRIBUTES,
        "returns",
        "timezone",
        "names",
        "cut_short",
        "break_time",
        "skipped",
        "skipped_classes",
    }
    assert set(data["schedule"][0]) == {
        "kind",
        "start",
        "end",
        "location",
        "from_location",
        "to_location",
    }
    assert Tour.from_json(tour.to_json()) == tour
    assert Tour.from_json(tour.to_json(readable=True)) == tour
    assert pickle.loads(pickle.dumps(tour)) == tour


@pytest.mark.parametrize(
    "change, error, field",
    [
        ({"route": "0,1,2"}, TypeError, "route: expected a list or tuple, got str"),
        ({"distance": 9.0}, TypeError, "distance: expected an int, got float"),
        (
            {"schedule": [{"kind": "nap", "start": 0, "end": 1}]},
            ValueError,
            "kind: expected one of",
        ),
        ({"schedule": [{"kind": "wait", "start": 5, "end": 1}]}, ValueError, "end: 1 is before"),
    ],
)
def test_wrong_fields_are_refused_from_dicts_and_pickles(change, error, field):
    tour = solve_problem(three_stop_problem())
    with pytest.raises(error, match=re.escape(field)):
        Tour.from_dict({**tour.to_dict(), **change})
    forged = pickle.dumps(tour).replace(
        b"distance", b"distanse"
    )  # a field missing, another unknown
    with pytest.raises(TypeError, match="distanse"):
        pickle.loads(forged)


def test_tours_after_the_year_9999_have_a_repr():
    late = 300_000_000_000
    problem = Problem([[0]], [[0]], [60], [[(late, late + 600)]], check_units=False)
    assert "start=11476-08-15T05:20:00Z, end=11476-08-15T05:21:00Z" in repr(solve_problem(problem))


def test_distance_only_tour_has_no_time_attributes():
    tour = solve_problem(Problem([[0, 3], [4, 0]]))
    assert tour.schedule is None and tour.lateness is None and tour.start_datetime is None
    assert Tour.from_json(tour.to_json()) == tour


def test_an_internal_failure_becomes_an_ordinary_exception():
    # A job so long that the schedule leaves the calendar's range.
    problem = Problem(**two_location_problem(), check_units=False)
    too_long = Problem(
        problem.distance_matrix,
        problem.duration_matrix,
        [9_223_372_036_854_775, 0],
        problem.time_windows,
        check_units=False,
    )
    with pytest.raises(SolveError, match="overflowed") as raised:
        solve_problem(too_long)
    assert isinstance(raised.value, Exception)


@pytest.mark.parametrize(
    "limit, error",
    [(-1, ValueError), (float("nan"), ValueError), ("3", TypeError), (True, TypeError)],
)
def test_bad_time_limits_name_the_argument(limit, error):
    with pytest.raises(error, match="time_limit"):
        solve_problem(Problem([[0]]), time_limit=limit)


def test_problem_argument_must_be_a_problem():
    with pytest.raises(TypeError, match="problem: expected a Problem, got list"):
        solve_problem([[0]])


def test_svg_is_well_formed_with_one_shape_per_event_and_late_work_marked():
    problem = three_stop_problem()
    tour = solve_problem(problem)
    assert tour.lateness > 0  # Bakery's and Library's windows cannot both be met
    root = ElementTree.fromstring(schedule_svg(tour, problem, title="A & B <day>"))
    shapes = [
        e
        for e in root.iter(f"{SVG}rect")
        if e.get("class", "").startswith("event ") and e.get("class").split()[1] != "return"
    ]
    assert [s.get("class").split()[1] for s in shapes] == [e.kind for e in tour.schedule]
    assert any("late" in s.get("class") for s in shapes)
    legs = [e.get("class") for e in root.iter(f"{SVG}line") if e.get("class", "").startswith("leg")]
    assert legs == ["leg", "leg", "leg return"]
    assert any(t.text == "A & B <day>" for t in root.iter(f"{SVG}text"))


def test_svg_needs_something_to_draw():
    with pytest.raises(ValueError, match="nothing to draw"):
        schedule_svg(solve_problem(Problem([[0]])), Problem([[0]]))
