"""Open hours as a calendar and breaks: every form read, laid out in the zone's own clock
(daylight saving exact), each mistake refused with one line, and the forms written back."""

import datetime as dt
import json
import zoneinfo

import pytest
from tourwright_tools import Break, Calendar, Problem, read_json

BERLIN = zoneinfo.ZoneInfo("Europe/Berlin")
HOUR = 3600


def at(day, hour, minute=0, tz=BERLIN):
    return int(dt.datetime(2026, *day, hour, minute, tzinfo=tz).timestamp())


def week_problem(hours, first=(12, 7), last=(12, 11), **changes):
    """Two locations with windows over the days `first` to `last` of 2026, in Berlin."""
    windows = [[(at(first, 0), at(last, 23))]] * 2
    arguments = dict(timezone="Europe/Berlin", hours=hours, **changes)
    return Problem([[0, 1], [1, 0]], [[0, 600], [600, 0]], [0, 1800], windows, **arguments)


def local_intervals(calendar, first, last, tz=BERLIN):
    return [
        (dt.datetime.fromtimestamp(a, tz), dt.datetime.fromtimestamp(b, tz))
        for a, b in calendar.open_intervals(first, last, tz)
    ]


def test_every_form_lays_out_as_local_instants():
    weekly = Calendar.read(
        {
            "mon": [("08:00", "12:00"), ("13:00", "17:00")],
            "sat": ("08:00", "12:00"),
            "2026-12-08": None,
            "2026-12-09": ("10:00", "14:00"),
        },
        "hours",
    )
    shown = local_intervals(weekly, at((12, 7), 0), at((12, 13), 23))
    assert [(a.strftime("%a %H:%M"), b.strftime("%H:%M")) for a, b in shown] == [
        ("Mon 08:00", "12:00"),
        ("Mon 13:00", "17:00"),
        ("Wed 10:00", "14:00"),
        ("Sat 08:00", "12:00"),
    ]
    assert weekly.closed_days(at((12, 7), 0), at((12, 9), 23), BERLIN) == [dt.date(2026, 12, 8)]
    assert weekly.describe() == (
        "Mon 08:00–12:00 and 13:00–17:00, Tue–Fri closed, Sat 08:00–12:00, Sun closed; "
        "2026-12-09 10:00–14:00; closed 2026-12-08"
    )
    # A night across midnight joins the morning after it.
    nights = Calendar.read([("00:00", "06:00"), ("22:00", "24:00")], "hours")
    laid = nights.open_intervals(at((12, 7), 12), at((12, 8), 12), BERLIN)
    assert laid == [(at((12, 7), 22), at((12, 8), 6))]
    assert Calendar.read(("22:00", "06:00"), "hours").describe() == "daily 22:00–06:00"


@pytest.mark.parametrize(
    "day, lengths", [((3, 28), [7, 8]), ((10, 24), [9, 8])], ids=["spring", "autumn"]
)
def test_a_night_shift_across_a_change_of_clocks_is_an_hour_shorter_or_longer(day, lengths):
    shift = Calendar.read(("22:00", "06:00"), "hours")
    first = at(day, 12)
    laid = shift.open_intervals(first, first + 2 * 24 * HOUR, BERLIN)
    assert [(b - a) // HOUR for a, b in laid] == lengths
    # A day shift keeps its local hours on either side: the days are 23 and 25 hours long.
    days = local_intervals(
        Calendar.read(("08:00", "17:00"), "hours"), first - 12 * HOUR, first + 3 * 86400
    )
    assert {(a.time(), b.time()) for a, b in days} == {(dt.time(8), dt.time(17))}


@pytest.mark.parametrize(
    "opening, day, words, earlier, later",
    [
        ("02:30", (3, 29), "does not exist", (1, 30), (3, 30)),
        ("02:30", (10, 25), "occurs twice", (2, 30), (2, 30)),
    ],
)
def test_times_the_clocks_skip_or_repeat_are_refused_unless_clock_changes_says(
    opening, day, words, earlier, later
):
    first = at(day, 0)
    with pytest.raises(
        ValueError, match=rf"hours: 02:30 on 2026-{day[0]:02d}-{day[1]:02d} {words} "
    ):
        Calendar.read((opening, "06:00"), "hours").open_intervals(first, first + 3600, BERLIN)
    readings = []
    for rule, wall in (("earlier", earlier), ("later", later)):
        calendar = Calendar.read((opening, "06:00"), "hours", clock_changes=rule)
        start = calendar.open_intervals(first, first + 4 * HOUR, BERLIN)[-1][0]
        assert dt.datetime.fromtimestamp(start, BERLIN).timetuple()[3:5] == wall
        readings.append(start)
    assert readings[1] - readings[0] == HOUR
    # In a problem the refusal names the date, and clock_changes lets it through.
    with pytest.raises(ValueError, match="give clock_changes='earlier' or 'later'"):
        week_problem((opening, "06:00"), first=day, last=day)
    assert week_problem((opening, "06:00"), first=day, last=day, clock_changes="later")


def test_the_hours_of_one_steady_pair_go_to_the_engine_as_today():
    steady = week_problem(("08:00", "17:00"))
    assert steady.operation_times == (8 * HOUR, 17 * HOUR)
    assert steady.engine_time.operation_times == steady.operation_times
    assert steady.engine_time.offset == HOUR and steady.engine_time.open_hours is None
    assert steady == week_problem([("08:00", "17:00")])
    # Windows that close the night before the clocks change, with work left for the morning.
    assert week_problem(("08:00", "17:00"), first=(3, 26), last=(3, 28)).engine_time.offset == 0
    assert week_problem({"mon": ("08:00", "17:00")}).operation_times is None


LUNCH = {"length": "PT30M", "start_between": ["11:30", "12:30"]}


@pytest.mark.parametrize(
    "changes, message",
    [
        ({"hours": {"mon": None}}, "hours: these hours never open"),
        ({"hours": ("08:00", "08:00")}, "hours: opens and closes at 08:00, so it never opens"),
        (
            {"hours": [("08:00", "12:00"), ("11:00", "17:00")]},
            "hours: 08:00–12:00 overlaps 11:00–17:00",
        ),
        (
            {"hours": {"monday": ("08:00", "17:00")}},
            "hours['monday']: 'monday' is neither a weekday",
        ),
        (
            {"hours": {"2026-02-30": None, "mon": ("08:00", "17:00")}},
            "hours['2026-02-30']: '2026-02-30' is not a date",
        ),
        (
            {"hours": {"2026-12-07": ("08:00", "17:00")}},
            "hours: the calendar has no entry for 2026-12-11",
        ),
        (
            {"hours": {"mon": ("22:00", "06:00"), "tue": ("05:00", "12:00")}},
            "hours: the open hours that close at 2026-12-08 06:00 overlap those that open at",
        ),
        ({"hours": ("08:00", "25:00")}, "hours[1]: '25:00' is not an ISO 8601 time"),
        (
            {"hours": [(8, 18), (20, 30)]},
            "hours: open at most 20 seconds a day; hours are times of day",
        ),
        (
            {"breaks": [Break("PT10H", ("09:00", "10:00"))]},
            "breaks[0].length: 36000 seconds is longer than every open interval",
        ),
        (
            {"breaks": [{**LUNCH, "start_between": ["13:00", "12:00"]}]},
            "breaks[0].start_between: ends at 12:00, before it starts at 13:00",
        ),
        ({"breaks": [{**LUNCH, "days": ["someday"]}]}, "breaks[0].days[0]: 'someday' is neither"),
        (
            {"breaks": [LUNCH, {**LUNCH, "start_between": ["12:45", "13:00"], "days": ["mon"]}]},
            "breaks[1]: may start while breaks[0] runs",
        ),
    ],
)
def test_bad_hours_and_breaks_are_refused_with_one_line(changes, message):
    with pytest.raises(ValueError) as raised:
        week_problem(**{"hours": ("08:00", "17:00"), **changes})
    assert str(raised.value).startswith(message) and "\n" not in str(raised.value)


def test_a_calendar_of_dates_alone_must_cover_the_horizon():
    dates = {f"2026-12-{day:02d}": ("08:00", "17:00") for day in range(6, 12)}
    assert week_problem(dates, last=(12, 7)).engine_time.open_hours
    with pytest.raises(ValueError, match="no entry for 2026-12-12, a day the tour may reach"):
        week_problem(dates, last=(12, 11))


def test_breaks_are_laid_out_on_the_days_their_window_meets_the_hours():
    lunch = Break("PT30M", ("11:30", "13:30"))
    saturday = Break(dt.timedelta(minutes=15), ("09:00", "09:30"), days=["sat", "2026-12-08"])
    problem = week_problem(
        {"mon": ("08:00", "17:00"), "tue": ("08:00", "11:00")}, breaks=[lunch, saturday]
    )
    rules = [rule for rule in problem.engine_time.breaks if rule[1] < at((12, 14), 0)]
    assert (1800, at((12, 7), 11, 30), at((12, 7), 13, 30)) in rules
    assert (900, at((12, 8), 9), at((12, 8), 9, 30)) in rules
    # Tuesday closes before lunch; Saturday is closed.
    assert len(rules) == 2 and rules == sorted(rules, key=lambda rule: rule[1])
    assert lunch.describe() == "30 min break starting 11:30–13:30"
    assert Break(**saturday.to_data()) == saturday


def test_files_read_and_write_hours_breaks_rules_and_clock_changes(tmp_path):
    hours = {"mon": [["08:00", "12:00"], ["13:00", "17:00"]], "2026-12-24": None}
    problem = week_problem(
        hours,
        breaks=[{**LUNCH, "days": ["mon"]}],
        window_rule=["whole", "start"],
        clock_changes="later",
    )
    path = tmp_path / "week.json"
    path.write_text(json.dumps(problem.to_dict()))
    assert read_json(path) == problem and problem.window_rule == ("whole", "start")
    assert json.loads(path.read_text())["breaks"] == [{**LUNCH, "days": ["mon"]}]
    assert "open Mon 08:00–12:00 and 13:00–17:00" in repr(problem)
