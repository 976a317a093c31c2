import pytest
import tourwright
from conftest import DAY0, HOUR, two_location_problem

MAX_SECONDS = 9223372036854775
MAX_UNIX = 8210266876799  # 262142-12-31T23:59:59
MIN_UNIX = -8334601315200  # -262143-01-01T00:00:00


def as_u64(value):
    return value % 2**64


def solve_one(**time):
    """A one-location problem with a one-second job and a window at the given bounds."""
    args = dict(duration_matrix=[[0]], job_durations=[1], time_windows=[[(DAY0, DAY0 + HOUR)]])
    args.update(time)
    return tourwright.solve([[0]], **args)


@pytest.mark.parametrize(
    "hours, expect_open_all_day",
    [
        ((0, 86400), True),
        ((3600, 3600), True),
        ((3600, 90000), True),
        ((2**64 - 1, 86399), True),
        ((0, 90000), False),
        ((8 * HOUR, 17 * HOUR), False),
    ],
)
def test_operation_times_accepted(hours, expect_open_all_day):
    # The job is due at 03:00, outside 08:00-17:00 and 00:00-01:00: only round-the-clock
    # hours let it start on time.
    result = solve_one(operation_times=hours, time_windows=[[(DAY0 + 3 * HOUR, DAY0 + 4 * HOUR)]])
    assert (result.start_time + result.waiting_time == DAY0 + 3 * HOUR) == expect_open_all_day


@pytest.mark.parametrize(
    "time, message",
    [
        ({"operation_times": (64800, 28800)}, "assertion failed: daily_start < daily_end"),
        ({"operation_times": (0, 172800)}, "assertion failed: daily_start < daily_end"),
        ({"operation_times": (MAX_SECONDS + 1, 0)}, "TimeDelta::seconds out of bounds"),
        ({"time_windows": [[(10, 5)]]}, "assertion failed: start <= end"),
        ({"job_durations": [MAX_SECONDS + 1]}, "TimeDelta::seconds out of bounds"),
        ({"duration_matrix": [[0, 2**63]]}, "TimeDelta::seconds out of bounds"),
        ({"time_windows": [[(0, MAX_UNIX + 1)]]}, "called `Option::unwrap()` on a `None` value"),
        (
            {"time_windows": [[(as_u64(MIN_UNIX - 1), 0)]]},
            "called `Option::unwrap()` on a `None` value",
        ),
        # The start of a window is converted before its end, and both before the order check.
        ({"time_windows": [[(MAX_UNIX + 1, 0)]]}, "called `Option::unwrap()` on a `None` value"),
    ],
)
def test_bad_time_values_panic(PanicException, time, message):
    with pytest.raises(PanicException) as caught:
        solve_one(**time)
    assert str(caught.value) == message


def test_conversion_order_reports_the_first_bad_table(PanicException):
    with pytest.raises(PanicException, match="TimeDelta::seconds out of bounds"):
        solve_one(job_durations=[2**63], time_windows=[[(10, 5)]])


@pytest.mark.parametrize(
    "time",
    [
        {"job_durations": [MAX_SECONDS]},
        {"job_durations": [2**64 - 1]},  # minus one second: counts as an instantaneous job
        {"time_windows": [[(5, 5)]]},
        {"time_windows": [[(MAX_UNIX, MAX_UNIX)]], "job_durations": [0], "duration_matrix": [[0]]},
        {"time_windows": [[(as_u64(MIN_UNIX), as_u64(MIN_UNIX))]], "job_durations": [0]},
    ],
)
def test_extreme_values_are_accepted(time):
    args = dict(duration_matrix=[[0]], job_durations=[1], time_windows=[[(DAY0, DAY0 + HOUR)]])
    args.update(time)
    # Without windows the values are only validated; with them the tour is simulated too.
    partial = {k: v for k, v in args.items() if k != "time_windows"}
    assert tourwright.solve([[0]], **partial).lateness is None
    if args["job_durations"][0] <= 1:
        result = tourwright.solve([[0]], **args)
        assert result.start_time == args["time_windows"][0][0][0]


def test_instants_round_trip_as_unix_seconds():
    before_1970 = as_u64(-86400 * 365)
    result = solve_one(time_windows=[[(before_1970, before_1970 + HOUR)]], job_durations=[0])
    assert result.start_time == before_1970
    assert result.end_time == before_1970


@pytest.mark.parametrize("missing", ["duration_matrix", "job_durations", "time_windows"])
def test_time_data_needs_all_three_tables(PanicException, missing):
    args = two_location_problem()
    del args[missing]
    result = tourwright.solve(**args, operation_times=(0, 3600))
    for name in ("lateness", "duration", "start_time", "end_time", "schedule"):
        assert getattr(result, name) is None
    # A bad value in a given table is still reported.
    present = [name for name in ("duration_matrix", "job_durations") if name != missing]
    bad = dict(args)
    if present[0] == "duration_matrix":
        bad["duration_matrix"] = [[0, 2**63], [0, 0]]
    else:
        bad["job_durations"] = [2**63, 0]
    with pytest.raises(PanicException, match="TimeDelta::seconds out of bounds"):
        tourwright.solve(**bad)


def test_operation_times_alone_are_validated_then_ignored(PanicException):
    assert tourwright.solve([[0]], operation_times=(0, 3600)).duration is None
    with pytest.raises(PanicException, match="daily_start < daily_end"):
        tourwright.solve([[0]], operation_times=(7200, 3600))


EXPIRED = 2**64 - 1  # a limit of minus one second: the identity order, evaluated once


def test_two_location_tour_end_to_end():
    result = tourwright.solve(**two_location_problem(), time_limit=EXPIRED)
    assert result.route == [0, 1]
    assert result.distance == 16
    assert result.start_time == DAY0 + 8 * HOUR
    assert result.end_time == DAY0 + 11 * HOUR + 1800
    assert (result.working_time, result.traveling_time, result.waiting_time) == (7200, 3600, 1800)
    assert (result.lateness, result.duration) == (0, 3 * HOUR + 1800)
    events = [
        (type(ev).__name__, getattr(ev._0, "location", None), ev._0.window)
        for ev in result.schedule
    ]
    at = lambda h, m=0: DAY0 + h * HOUR + m * 60  # noqa: E731
    assert events == [
        ("PyEvent_Work", 0, (at(8), at(9))),
        ("PyEvent_Travel", None, (at(9), at(9, 30))),
        ("PyEvent_Wait", None, (at(9, 30), at(10))),
        ("PyEvent_Work", 1, (at(10), at(11))),
        ("PyEvent_Travel", None, (at(11), at(11, 30))),
    ]


def test_search_prefers_the_shorter_day():
    # Starting at location 1 (10:00) avoids the wait and ends after 3 hours, not 3.5.
    result = tourwright.solve(**two_location_problem())
    assert result.route == [1, 0]
    assert (result.duration, result.waiting_time, result.start_time) == (
        3 * HOUR,
        0,
        DAY0 + 10 * HOUR,
    )


def test_lateness_is_the_first_objective():
    # Going to location 2 first is far shorter but makes location 1 late.
    args = dict(
        distance_matrix=[[0, 100, 1], [100, 0, 1], [1, 1, 0]],
        duration_matrix=[[0, HOUR, HOUR], [HOUR, 0, HOUR], [HOUR, HOUR, 0]],
        job_durations=[0, 0, 0],
        time_windows=[
            [(DAY0, DAY0 + 24 * HOUR)],
            [(DAY0, DAY0 + HOUR)],
            [(DAY0, DAY0 + 24 * HOUR)],
        ],
    )
    result = tourwright.solve(**args)
    assert result.lateness == 0
    assert result.route.index(1) == result.route.index(0) + 1 or result.route[0] == 1


def test_start_time_is_the_first_window_of_the_first_location():
    # Listed second, the earlier window of location 0 does not set the start.
    args = two_location_problem()
    args["time_windows"][0] = [(DAY0 + 8 * HOUR, DAY0 + 18 * HOUR), (DAY0, DAY0 + HOUR)]
    result = tourwright.solve(**args, time_limit=EXPIRED)
    assert result.route == [0, 1]
    assert result.start_time == DAY0 + 8 * HOUR


def test_locations_without_windows_never_start_a_tour(PanicException):
    args = two_location_problem()
    args["time_windows"][0] = []
    result = tourwright.solve(**args)
    assert result.route == [1, 0]
    assert result.start_time == DAY0 + 10 * HOUR
    assert result.lateness == 0
    args["time_windows"][1] = []
    with pytest.raises(
        PanicException, match="^index out of bounds: the len is 0 but the index is 0$"
    ):
        tourwright.solve(**args)


def test_schedule_reads_are_fresh():
    result = tourwright.solve(**two_location_problem(), time_limit=EXPIRED)
    first, second = result.schedule, result.schedule
    assert first is not second and len(first) == len(second) == 5
    assert all(a is not b and a._0.window == b._0.window for a, b in zip(first, second))
