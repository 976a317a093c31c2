"""`tourwright check`, `solve --initial` and `tourwright replan` on a result written by --json."""

import json
import pathlib

import pytest
from conftest import DAY0, HOUR, working_week
from tourwright_tools import Tour, evaluate_route, read_json
from tourwright_tools.command.cli import main

DAY = str(pathlib.Path(__file__).resolve().parents[3] / "examples" / "delivery_day.json")
NOON = DAY0 + 11 * HOUR + 600  # 12:10 in Berlin


@pytest.fixture
def plan(tmp_path, capsys):
    path = tmp_path / "plan.json"
    assert main(["solve", DAY, "--max-descents", "3", "--seed", "1", "--json", str(path)]) == 0
    capsys.readouterr()
    return path


def marked(out):
    """The names of the stops the stop table marks late."""
    return {line.split()[1] for line in out.splitlines() if "  ! " in line}


def test_check_times_a_route_as_its_result_did_and_marks_the_late_stops(plan, tmp_path, capsys):
    planned = Tour.from_json(plan.read_text())
    timed = tmp_path / "timed.json"
    assert main(["check", DAY, "--route-from", str(plan), "--json", str(timed)]) == 0
    out = capsys.readouterr().out
    again = Tour.from_json(timed.read_text())
    assert (again.schedule, again.lateness, again.iterations) == (planned.schedule, 0, 0)
    table = out.split("\n\n")[-1].splitlines()
    assert table[0].split() == ["#", "stop", "arrives", "waits", "starts", "work", "leaves", "late"]
    assert len(table) == 1 + len(planned.route) and not marked(out)
    assert main(["check", DAY, "--route", ",".join(map(str, planned.route))]) == 0
    assert capsys.readouterr().out == out
    backwards = [0, *planned.route[:0:-1]]
    assert main(["check", DAY, "--route", ",".join(map(str, backwards))]) == 3
    out = capsys.readouterr().out
    late = [stop for stop in evaluate_route(read_json(DAY), backwards).stops(read_json(DAY))]
    assert marked(out) == {stop.label for stop in late if stop.late} != set()
    assert "; missed " in out and "the stops before it" in out


@pytest.mark.parametrize(
    "argv, message",
    [
        (["--route", "0,1,1,2,3,4,5,6"], "--route: 1 is visited twice, at positions 1 and 2"),
        (["--route", "1,0,2,3,4,5,6,7"], "--route: begins with 1, not with the start 0"),
        (["--route", "0,one"], "expected locations separated by commas, got '0,one'"),
        ([], "one of the arguments --route --route-from is required"),
        (["--route-from", DAY], "not a tour written by --json"),
        (["--route", "0", "--max-descents", "2"], "unrecognized arguments: --max-descents"),
    ],
)
def test_check_refuses_a_bad_route_with_one_line_and_writes_nothing(
    argv, message, tmp_path, capsys
):
    out = tmp_path / "t.json"
    assert main(["check", DAY, *argv, "--json", str(out)]) == 2
    err = capsys.readouterr().err
    assert err.count("\n") == 1 and message in err and not out.exists()


def test_a_search_option_before_the_command_that_it_does_not_take_is_refused(capsys):
    assert main(["--max-descents", "2", "check", DAY, "--route", "0,1,2,3,4,5,6,7"]) == 2
    assert "--max-descents is not an option of tourwright check" in capsys.readouterr().err


def test_initial_without_descents_is_the_tour_and_one_that_does_not_fit_is_refused(
    plan, tmp_path, capsys
):
    again = tmp_path / "again.json"
    argv = ["solve", DAY, "--initial", str(plan), "--max-descents", "0", "--json", str(again)]
    assert main(argv) == 0
    kept, planned = (Tour.from_json(path.read_text()) for path in (again, plan))
    assert (kept.route, kept.schedule) == (planned.route, planned.schedule)
    assert main(["solve", DAY, "--initial", str(plan), "--start", "3", "--json", str(again)]) == 2
    assert "--initial " in capsys.readouterr().err
    assert main(["solve", DAY, "--initial", str(plan), "--json", str(plan)]) == 2
    assert f"is the tour file {plan}" in capsys.readouterr().err


def replanned(plan, tmp_path, *argv):
    out = tmp_path / "new.json"
    base = ["replan", DAY, "--from", str(plan), "--now", "2026-12-07T12:10", "--max-descents"]
    assert main([*base, "5", *argv, "--json", str(out)]) == 0
    return Tour.from_json(out.read_text())


def test_replan_leaves_out_the_done_stops_and_starts_from_the_van_at_now(plan, tmp_path):
    planned = Tour.from_json(plan.read_text())
    finished = {e.location for e in planned.schedule if e.kind == "work" and e.end <= NOON}
    tour = replanned(plan, tmp_path)
    assert set(tour.route[:-1]) == set(range(1, 8)) - finished and tour.route[-1] == 0
    assert tour.start_time == NOON and all(e.start >= NOON for e in tour.schedule)
    on_leg = replanned(
        plan, tmp_path, "--done", "5,1", "--position", "5,2,PT5M", "--keep-next", "2"
    )
    assert set(on_leg.route) == {2, 3, 4, 6, 7, 0} and on_leg.route[0] == 2
    # Kept next: the plan's first stop to do after the leg's end.
    at = planned.route.index(2)
    onwards = planned.route[at:] + planned.route[:at]
    assert on_leg.route[1] == [stop for stop in onwards if stop in {3, 4, 6, 7}][0]
    working = replanned(plan, tmp_path, "--done", "5,1", "--in-progress", "3,300")
    assert working.route[0] == 3 and working.schedule[0].length == 300


@pytest.mark.parametrize(
    "argv, message",
    [
        (["--keep-next", "99"], "--keep-next: 99, but the plan has"),
        (["--position", "2,3"], "expected a location or FROM,TO,ELAPSED"),
        (["--in-progress", "2,soon"], "'soon' is not an ISO 8601 duration"),
        (["--position", "6,2,PT9H"], "--position: 32400 seconds driven of the leg 6 > 2"),
        (["--depot", "0"], "unrecognized arguments: --depot"),
    ],
)
def test_replan_refuses_bad_input_with_one_line(argv, message, plan, capsys):
    argv = ["replan", DAY, "--from", str(plan), "--now", "2026-12-07T12:10", *argv]
    assert main(argv) == 2
    err = capsys.readouterr().err
    assert err.count("\n") == 1 and message in err


def test_check_names_the_hours_and_breaks_and_lists_the_breaks_in_its_table_and_json(
    tmp_path, capsys
):
    problem, tour = working_week()
    path, timed = tmp_path / "week.json", tmp_path / "timed.json"
    path.write_text(json.dumps(problem.to_dict()))
    argv = ["check", str(path), "--route", "0,1,2,3", "--departure", "earliest"]
    assert main([*argv, "--json", str(timed)]) == 0
    lines = capsys.readouterr().out.splitlines()
    figures = dict(line.split(":", 1) for line in lines if line[:1].isalpha())
    assert figures["hours"].strip() == "Mon\u2013Fri 08:00\u201317:00, Sat\u2013Sun closed (UTC)"
    assert figures["breaks"].strip() == "30 min break starting 11:30\u201313:30"
    assert figures["break time"].strip() == "1:00:00"
    table = lines[lines.index("") + 1 :]
    rows = [" ".join(line.split()[:2]) for line in table[1:]]
    assert rows == ["1 Depot", "2 Bakery", "3 Mill", "break during", "4 Farm", "break pausing"]
    assert table[4].split()[-4:] == ["12-11", "11:30:00", "12-11", "12:00:00"]
    assert Tour.from_json(timed.read_text()).schedule == tour.schedule
