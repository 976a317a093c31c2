"""A working day as dispatchers write it: start and end kept in place (or an open end), the
latest useful departure, local time in any zone, and files that say it all."""

import datetime as dt
import json
import re
import zoneinfo

import pytest
from tourwright_tools import Problem, Tour, read_json, solve_problem
from tourwright_tools.command.cli import main


def day_problem(zone=None, n=6, **options):
    """A depot (0) open 07:00-19:00 local and customers with a window each, on 2026-12-07."""
    tz = zoneinfo.ZoneInfo(zone) if zone else dt.timezone.utc
    at = lambda hour: dt.datetime(2026, 12, 7, hour, tzinfo=tz if zone is None else None)  # noqa: E731
    legs = [[abs(a - b) * 600 for b in range(n)] for a in range(n)]
    windows = [[(at(7), at(19))]] + [[(at(9 + k), at(11 + k))] for k in range(1, n)]
    return Problem(
        legs,
        legs,
        [0] + [900] * (n - 1),
        windows,
        (dt.time(8), dt.time(17)),
        timezone=zone,
        **options,
    )


@pytest.mark.parametrize(
    "zone, offset", [("America/Los_Angeles", "-08:00"), ("Asia/Tokyo", "+09:00")]
)
def test_a_local_working_day_is_on_time_in_any_zone(zone, offset):
    tour = solve_problem(day_problem(zone), depot=0, max_descents=5)
    assert tour.lateness == 0 and tour.route[0] == 0
    assert tour.start_local.utcoffset() == tour.end_local.utcoffset()
    assert f"{tour.start_local:%z}"[:3] == offset[:3] and offset in repr(tour)
    # Local hours: every job lies between 08:00 and 17:00 local.
    for event in tour.schedule:
        if event.kind == "work" and event.length:
            start = event.start_datetime.astimezone(zoneinfo.ZoneInfo(zone))
            assert dt.time(8) <= start.time() and start.hour < 17


def test_a_horizon_across_a_change_of_offset_gets_its_hours_as_instants():
    tz = zoneinfo.ZoneInfo("Europe/Berlin")
    windows = [
        [(dt.datetime(2026, 3, 28, 8, tzinfo=tz), dt.datetime(2026, 3, 30, 17, tzinfo=tz))]
    ] * 2
    problem = Problem(
        [[0, 1], [1, 0]],
        [[0, 60], [60, 0]],
        [0, 0],
        windows,
        (dt.time(8), dt.time(17)),
        timezone=tz,
    )
    engine = problem.engine_time
    assert engine.offset == 0 and engine.operation_times is None
    opened = [dt.datetime.fromtimestamp(start, tz) for start, _ in engine.open_hours]
    assert {moment.time() for moment in opened} == {dt.time(8)}
    assert problem.operation_times == (8 * 3600, 17 * 3600)
    # A time of day with a zone gives the problem that zone; a fixed offset is a zone too.
    berlin = Problem(
        [[0, 1], [1, 0]],
        [[0, 60], [60, 0]],
        [0, 0],
        windows[:1] * 2,
        (dt.time(8, tzinfo=dt.timezone(dt.timedelta(hours=1))), dt.time(17)),
    )
    assert "+01:00" in repr(berlin)


def two_windows(window, zone, **options):
    legs = [[0, 60], [60, 0]]
    return Problem(legs, legs, [0, 0], [[window]] * 2, **options, timezone=zone)


GAP = "2026-03-29T02:30 does not exist in Europe/Berlin (the clocks go from 02:00 to 03:00)"
TWICE = "2026-10-25T02:30 occurs twice in Europe/Berlin (at UTC+02:00, then at UTC+01:00)"
stamp = lambda *fields: int(dt.datetime(*fields, tzinfo=dt.timezone.utc).timestamp())  # noqa: E731
NO_OFFSET = type("NoOffset", (dt.tzinfo,), {"utcoffset": lambda *_: None})()


@pytest.mark.parametrize(
    "start, zone, message",
    [
        ("2026-03-29T02:30", "Europe/Berlin", f"time_windows[0][0][0]: {GAP}"),
        ("2026-10-25T02:30", "Europe/Berlin", f"{TWICE}; write 2026-10-25T02:30+02:00 or"),
        ("2026-10-25T08:00", NO_OFFSET, "gives no UTC offset"),
    ],
)
def test_local_times_the_clocks_skip_or_repeat_are_refused(start, zone, message):
    with pytest.raises(ValueError, match=re.escape(message)):
        two_windows((start, "2026-10-25T09:00"), zone)


def test_offsets_keep_seconds_folds_choose_and_long_horizons_are_bounded(tmp_path, capsys):
    start = dt.datetime(2026, 10, 25, 2, 30, fold=1)  # the second 02:30, at +01:00
    problem = two_windows((start, start + dt.timedelta(hours=6)), "Europe/Berlin")
    assert problem.time_windows[0][0][0] == stamp(2026, 10, 25, 1, 30)
    problem = two_windows(("2026-12-07T08:00", "2026-12-07T18:00"), "+05:00:30")
    assert (data := problem.to_dict())["timezone"] == "+05:00:30" and Problem(**data) == problem
    assert problem.time_windows[0][0][0] == stamp(2026, 12, 7, 2, 59, 30)
    hours = {"operation_times": ("08:00", "17:00"), "check_units": False}
    with pytest.raises(ValueError, match="span at most 50 years before the year 10000"):
        two_windows(("2026-12-07T08:00+09:00", "2100-01-01T00:00+09:00"), "Asia/Tokyo", **hours)
    late = stamp(2026, 12, 7, 7) + 25 * 146_097 * 86_400  # 10,000 years later
    far = json.dumps(two_windows((late, late + 3600), "+01:00", **hours).to_dict())
    (tmp_path / "far.json").write_text(far)
    assert main(["solve", str(tmp_path / "far.json"), "--json", str(tmp_path / "t.json")]) == 0
    assert "start:           12026-12-07 08:00:00 +0100" in capsys.readouterr().out
    assert "12026-12-07T07:00:00+00:00" in (tmp_path / "t.json").read_text()  # UTC, readable


def test_start_end_and_open_are_kept_and_only_driven_legs_count():
    problem = day_problem(n=8)
    for end in (5, "open", None):
        tour = solve_problem(problem, start=2, end=end, time_limit=0.2, seed=1)
        driven = list(zip(tour.route, tour.route[1:] + (tour.route[:1] if end is None else ())))
        assert tour.route[0] == 2 and (end != 5 or tour.route[-1] == 5)
        assert tour.returns == (end is None)
        assert tour.distance == sum(problem.distance_matrix[a][b] for a, b in driven)
        assert tour.traveling_time == sum(problem.duration_matrix[a][b] for a, b in driven)
        assert tour.duration == tour.end_time - tour.start_time
    with pytest.raises(ValueError, match="end: an end needs a start"):
        solve_problem(problem, end="open")


def test_the_latest_departure_keeps_lateness_and_end_and_leaves_later():
    problem = day_problem()
    early = solve_problem(problem, depot=0, departure="earliest", max_descents=3, seed=2)
    late = solve_problem(problem, depot=0, max_descents=3, seed=2)
    assert (late.route, late.lateness, late.end_time) == (
        early.route,
        early.lateness,
        early.end_time,
    )
    assert late.start_time > early.start_time and late.waiting_time < early.waiting_time
    assert late.duration == late.end_time - late.start_time


def test_a_job_longer_than_its_windows_and_the_day_is_a_unit_mistake():
    arguments = (
        [[0, 1], [1, 0]],
        [[0, 1], [1, 0]],
        [0, 1_200_000],
        [[(1796630400, 1796662800)], [(1796630400, 1796662800)]],
    )
    with pytest.raises(
        ValueError, match=r"job_durations\[1\].*likely a unit mistake.*check_units=False"
    ):
        Problem(*arguments)
    assert Problem(*arguments, check_units=False).job_durations[1] == 1_200_000


def test_a_json_file_says_it_all_and_the_output_has_names_and_local_times(tmp_path, capsys):
    path = tmp_path / "day.json"
    path.write_text(
        json.dumps(
            {
                "timezone": "America/Los_Angeles",
                "start": 0,
                "end": "open",
                "names": ["Home", "A", "B"],
                "distance_matrix": [[0, 5, 9], [5, 0, 4], [9, 4, 0]],
                "duration_matrix": [[0, 300, 600], [300, 0, 240], [600, 240, 0]],
                "job_durations": ["PT0S", "PT20M", 600],
                "time_windows": [
                    [["2026-12-07T07:00", "2026-12-07T18:00"]],
                    [["2026-12-07T09:00", "2026-12-07T10:00"]],
                    [["2026-12-07T10:00-08:00", 1796673600]],
                ],
                "operation_times": ["08:00", "17:00"],
            }
        )
    )
    problem = read_json(path)
    assert problem.end == "open" and problem.time_windows[1][0][0] == 1796662800  # 09:00 in LA
    assert read_json(path).to_dict() == Problem.from_dict(problem.to_dict()).to_dict()
    out = tmp_path / "tour.json"
    assert main(["solve", str(path), "--json", str(out)]) == 0
    data = json.loads(out.read_text())
    assert data["readable"]["route"] == ["Home", "A", "B"]
    assert data["readable"]["start"].endswith("-08:00") and data["readable"]["start_utc"].endswith(
        "+00:00"
    )
    assert Tour.from_dict(data).timezone == "America/Los_Angeles"
    assert "Home > A > B\n" in capsys.readouterr().out
