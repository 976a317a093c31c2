"""Every search option reaches the search alike through every surface: `solve_problem`,
`solve_many` on a pool, the `solve` and `batch` commands, and a problem file's own ends and
"options"."""

import json

import pytest
from conftest import planned_day
from tourwright_tools import Problem, ProblemFileError, Tour, solve_many, solve_problem
from tourwright_tools.command.cli import main
from tourwright_tools.files.formats import problem_from_text

# Each case is reproducible (a seed and a count, or the default search), so every surface
# must give exactly the tour solve_problem gives.
CASES = [
    {},
    {"start": 3},
    {"start": 3, "end": "open"},
    {"start": 2, "end": 5},
    {"depot": 4},
    {"end": "open"},  # alone: leaves from the file's depot
    {"departure": "earliest", "seed": 2, "max_descents": 30},
    {"seed": 7, "max_descents": 40, "threads": 2},
    {"strategy": "multistart", "seed": 3, "max_descents": 6},
]
ENDS = ("start", "end", "depot")


def flags(options):
    return [
        item
        for name, value in options.items()
        for item in ("--" + name.replace("_", "-"), str(value))
    ]


def shape(tour):
    return tour.route, tour.distance, tour.lateness, tour.start_time, tour.returns


@pytest.fixture(scope="module")
def day():
    return planned_day(16, seed=4)


@pytest.mark.parametrize("options", CASES, ids=lambda options: flags(options) or "default")
def test_every_option_through_every_surface(options, day, tmp_path, capsys):
    # An end alone leaves from the problem's own start.
    problem = (
        Problem.from_dict({**day.to_dict(), "depot": 0}) if options == {"end": "open"} else day
    )
    expected = shape(solve_problem(problem, **options))
    assert [shape(tour) for tour in solve_many([problem, problem], **options)] == [expected] * 2

    file = tmp_path / "day.json"
    file.write_text(json.dumps(problem.to_dict()))
    out = tmp_path / "tour.json"
    assert main(["solve", str(file), *flags(options), "--json", str(out)]) == 0
    assert shape(Tour.from_json(out.read_text())) == expected

    assert main(["batch", str(file), "--out", str(tmp_path / "out"), *flags(options)]) == 0
    result = json.loads((tmp_path / "out" / "day.tour.json").read_text())
    assert shape(Tour.from_dict(result)) == expected and result["readable"]["route"]

    # The same options held by the file itself: its ends at the top, the rest under "options".
    ends = {name: value for name, value in options.items() if name in ENDS}
    others = {name: value for name, value in options.items() if name not in ENDS}
    file.write_text(json.dumps({**problem.to_dict(), **ends, "options": others}))
    assert main(["solve", str(file), "--json", str(out)]) == 0
    assert shape(Tour.from_json(out.read_text())) == expected
    assert main(["batch", str(file), "--out", str(tmp_path / "again")]) == 0
    assert shape(Tour.from_json((tmp_path / "again" / "day.tour.json").read_text())) == expected
    capsys.readouterr()


def test_options_that_fail_every_problem_raise_before_anything_runs_or_name_the_file(day):
    with pytest.raises(ValueError, match="departure: expected one of 'latest', 'earliest'"):
        solve_many([day], departure="soon")
    with pytest.raises(TypeError, match="unexpected keyword argument 'begin'"):
        solve_many([day], begin=3)
    with pytest.raises(ValueError, match="end: expected a location or 'open'"):
        solve_many([day], start=0, end="closed")
    with pytest.raises(ProblemFileError, match=r"options: unknown option 'depot'"):
        problem_from_text("day.json", json.dumps({**day.to_dict(), "options": {"depot": 0}}))
    with pytest.raises(ProblemFileError, match=r"options: seed: expected an int, got str"):
        problem_from_text("day.json", json.dumps({**day.to_dict(), "options": {"seed": "x"}}))
