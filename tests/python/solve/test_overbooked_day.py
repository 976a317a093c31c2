"""Optional stops by priority class: refused inputs, files, and tours that leave out the least."""

import io
import itertools
import json
import math
import random
import re

import pytest
from conftest import DAY0, HOUR
from tourwright_tools import Problem, Tour, evaluate_route, read_json, schedule_svg, solve_problem
from tourwright_tools.command.one_tour import summary
from tourwright_tools.command.plan_commands import stop_table
from tourwright_tools.solve.options import SolveOptions
from tourwright_tools.solve.replan import replan
from tourwright_tools.solve.tour_check import tour_fault

CLASSES = [None, None, 2, 1, 1, 0, 0]  # the depot and one stop required


def overbooked(**changes):
    """A depot and six stops of 40 to 70 minutes in a morning of five hours: not all fit."""
    rng = random.Random(7)
    points = [(rng.uniform(0, 10), rng.uniform(0, 10)) for _ in range(7)]
    legs = [[round(math.dist(p, q) * 120) for q in points] for p in points]
    windows = [[(DAY0 + 8 * HOUR, DAY0 + 13 * HOUR)]] * 2
    windows += [[(DAY0 + (8 + k) * HOUR, DAY0 + (10 + k) * HOUR)] for k in range(5)]
    jobs = [0] + [rng.randrange(40, 70) * 60 for _ in range(6)]
    arguments = dict(coordinates=points, depot=0, required=[c is None for c in CLASSES])
    return Problem(legs, legs, jobs, windows, **{**arguments, "priority": CLASSES, **changes})


@pytest.mark.parametrize(
    "changes, solved, message",
    [
        (dict(required=[True] * 6), {}, "required: has 6 entries, expected 7"),
        (dict(required=[1] + [True] * 6), {}, "required[0]: expected True or False, got int 1"),
        (dict(priority=[None] * 6), {}, "priority: has 6 entries, expected 7"),
        (dict(priority=[0] + CLASSES[1:]), {}, "priority[0]: 0 given for a required location"),
        (dict(priority=CLASSES[:6] + [True]), {}, "priority[6]: expected an int class, got bool"),
        (dict(priority=CLASSES[:6] + [1.0]), {}, "priority[6]: expected an int class, got float"),
        (dict(priority=CLASSES[:6] + [2**31]), {}, "priority[6]: 2147483648 is not a class"),
        (dict(depot=3), {}, "depot: 3 is optional (required=False)"),
        (dict(depot=None, start=4), {}, "start: 4 is optional"),
        (dict(depot=None, start=0, end=5), {}, "end: 5 is optional"),
        ({}, dict(pinned=[1, 6]), "pinned: 6 is optional (required=False)"),
        ({}, dict(initial=[0, 2, 3]), "initial: 1 is never visited; a route leaves out only"),
    ],
)
def test_bad_optional_inputs_are_refused_in_one_line(changes, solved, message):
    with pytest.raises(ValueError, match="^" + re.escape(message)):
        solve_problem(overbooked(**changes), max_descents=1, **solved)


def test_required_and_priority_go_through_a_problem_file(tmp_path):
    problem = overbooked()
    data = problem.to_dict()
    assert (data["required"], data["priority"]) == ([c is None for c in CLASSES], CLASSES)
    (tmp_path / "day.json").write_text(json.dumps(data))
    assert read_json(str(tmp_path / "day.json")) == problem and "5 optional" in repr(problem)
    # Optional stops of class 0 alone need no "priority" key.
    plain = overbooked(priority=None).to_dict()
    assert "priority" not in plain and Problem.from_dict(plain).priority == (None, None) + (0,) * 5


def objective(tour, problem):
    """Lateness, what is left out (class by class from the highest: count, then job time),
    then the totals: lower is better."""
    left = [
        (
            sum(1 for k in tour.skipped if problem.priority[k] == value),
            sum(problem.job_durations[k] for k in tour.skipped if problem.priority[k] == value),
        )
        for value in sorted({c for c in problem.priority if c is not None}, reverse=True)
    ]
    totals = (tour.traveling_time, tour.duration, tour.waiting_time, tour.distance)
    return (tour.lateness, left, *totals)


def test_a_search_leaves_out_what_no_other_subset_and_order_beats():
    problem = overbooked()
    tour = solve_problem(problem)
    assert tour.skipped and tour.lateness == 0
    assert tour.skipped == tuple(sorted(set(range(7)) - set(tour.route)))
    assert not any(problem.required[k] for k in tour.skipped)
    optional = [k for k in range(7) if not problem.required[k]]
    best = min(
        objective(evaluate_route(problem, (0, *order)), problem)
        for size in range(len(optional) + 1)
        for chosen in itertools.combinations(optional, size)
        for order in itertools.permutations([1, *chosen])
    )
    assert objective(tour, problem) == best
    assert tour_fault(tour, problem, SolveOptions()) is None
    assert Tour.from_json(tour.to_json()) == tour


def test_a_replan_leaves_out_no_more_than_its_plan_and_only_optional_stops():
    problem = overbooked()
    plan = solve_problem(problem)
    now = next(e.end for e in plan.schedule if e.kind == "work" and e.location == plan.route[1])
    again = replan(problem, plan, now)
    assert set(again.route + again.skipped) == set(range(7)) - {plan.route[1]}
    assert not any(problem.required[k] for k in again.skipped)
    assert objective(again, problem)[:2] <= objective(plan, problem)[:2]


def test_a_route_that_leaves_out_optional_stops_is_timed_checked_and_shown():
    names = ["Depot", "Bakery", "Library", "Pharmacy", "Florist", "Kiosk", "Tailor"]
    problem = overbooked(names=names)
    tour = evaluate_route(problem, [0, 3, 1])
    assert (tour.skipped, tour.skipped_classes) == ((2, 4, 5, 6), (2, 1, 0, 0))
    assert {e.location for e in tour.schedule if e.kind == "work"} - {0} == {1, 3}
    wrong = Tour.from_dict({**tour.to_dict(), "skipped_classes": [0, 0, 0, 0]})
    assert tour_fault(wrong, problem, SolveOptions()).startswith("the classes of its skipped")
    out = io.StringIO()
    summary(out, "day.json", problem, tour, None, searched=False)
    stop_table(out, problem, tour)
    lines = [line.split() for line in out.getvalue().splitlines()]
    assert "skipped: 4 stops (class 2: 1, class 1: 1, class 0: 2)".split() in lines
    assert [line[1] for line in lines if line[-2:-1] == ["(class"]] == names[2:3] + names[4:]
    readable = tour.to_dict(readable=True)["readable"]
    assert readable["skipped"][0] == {"location": "Library", "class": 2}
    picture, page = schedule_svg(tour, problem), tour.to_html(problem)
    assert picture.count('class="skipped"') == 4 + 1 and "skipped (4)" in picture  # and legend
    table = page[page.index('<table id="skipped">') :].split("</table>")[0]
    assert table.count("<tr>") == 5 and "<td>Library</td>" in table
    served = evaluate_route(overbooked(required=None, priority=None), [0, 3, 1, 2, 4, 5, 6])
    shown = schedule_svg(served, problem) + served.to_html(problem)
    assert 'class="skipped"' not in shown and 'id="skipped"' not in shown
