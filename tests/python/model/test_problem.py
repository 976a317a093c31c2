"""The friendly layer's checked problem: each mistake gets one clear error naming where it is."""

import contextlib
import datetime as dt
import pickle

import numpy as np
import pytest
from conftest import DAY0, HOUR, two_location_problem
from tourwright_tools import Problem

UTC = dt.timezone.utc


def timed(**changes):
    """A valid two-location time problem, open 08:00-17:00, with some arguments replaced."""
    return {**two_location_problem(), "operation_times": (8 * HOUR, 17 * HOUR), **changes}


@pytest.mark.parametrize(
    "changes, error, message",
    [
        (dict(distance_matrix=[]), ValueError, "distance_matrix: no rows"),
        (
            dict(distance_matrix=[[0, 1, 2], [1, 0, 2]]),
            ValueError,
            "distance_matrix[0]: row has 3 entries, expected 2",
        ),
        (
            dict(distance_matrix=[[0, -1], [1, 0]]),
            ValueError,
            "distance_matrix[0][1]: -1 is negative",
        ),
        (
            dict(distance_matrix=[[0, 1.5], [1, 0]]),
            ValueError,
            "distance_matrix[0][1]: 1.5 is not a whole number",
        ),
        (
            dict(distance_matrix=[[0, "1"], [1, 0]]),
            TypeError,
            "distance_matrix[0][1]: expected an integer, got str",
        ),
        (dict(distance_matrix="01"), TypeError, "distance_matrix: expected a matrix"),
        (
            dict(distance_matrix=[[0, 2**64], [1, 0]]),
            ValueError,
            "is larger than 18446744073709551615",
        ),
        (
            dict(duration_matrix=[[0, 1, 1], [1, 0, 1], [1, 1, 0]]),
            ValueError,
            "duration_matrix: has 3 rows, expected 2",
        ),
        (
            dict(job_durations=[HOUR, HOUR, HOUR]),
            ValueError,
            "job_durations: has 3 entries, expected 2",
        ),
        (
            dict(time_windows=None),
            ValueError,
            "partial time data: duration_matrix and job_durations given without time_windows",
        ),
        (
            dict(job_durations=None, time_windows=None),
            ValueError,
            "without job_durations and time_windows",
        ),
        (
            dict(time_windows=[[("2026-12-07T09:00Z", DAY0 + 8 * HOUR)], [(DAY0, DAY0)]]),
            ValueError,
            "time_windows[0][0]: ends at 1796630400, before it starts at 2026-12-07T09:00Z",
        ),
        (dict(time_windows=[[(DAY0, DAY0 + 1)], []]), ValueError, "time_windows[1]: no window"),
        (
            dict(time_windows=[[(DAY0, DAY0 + 9), ("2026-12-07T00:00Z", DAY0 + 20)], [(0, 0)]]),
            ValueError,
            "time_windows[0][1]: starts at 2026-12-07T00:00Z, not after the end 1796601609 of",
        ),
        (
            dict(time_windows=[[(DAY0, DAY0 + 1, DAY0 + 2)], [(DAY0, DAY0)]]),
            ValueError,
            "time_windows[0][0]: expected a (start, end) pair, got 3 values",
        ),
        (
            dict(time_windows=[[(DAY0 * 1000, DAY0 * 1000 + 1)], [(DAY0, DAY0)]]),
            ValueError,
            "time_windows[0][0]: 1796601600000 is not a plausible instant in Unix seconds",
        ),
        (
            dict(time_windows=[[(8, 18)], [(DAY0, DAY0)]]),
            ValueError,
            "time_windows[0][0]: 8 is not a plausible instant",
        ),
        (
            dict(time_windows=[[(dt.datetime(2026, 12, 7, 8), DAY0)], [(DAY0, DAY0)]]),
            ValueError,
            "time_windows[0][0][0]: datetime 2026-12-07 08:00:00 has no timezone",
        ),
        (dict(operation_times=(8, 18)), ValueError, "operation_times: open only 10 seconds a day"),
        (
            dict(operation_times=(17 * HOUR, 8 * HOUR)),
            ValueError,
            "operation_times: opening 61200 is not before closing 28800",
        ),
        (
            dict(operation_times=(0, 90000)),
            ValueError,
            "operation_times[1]: 90000 is beyond the end of a day",
        ),
        (
            dict(operation_times=(8 * HOUR, 86400)),
            ValueError,
            "operation_times[1]: closing at midnight",
        ),
        (
            dict(job_durations=[HOUR * 1000 * 1000, HOUR]),
            ValueError,
            "job_durations[0]: 3600000000 seconds is more than a year",
        ),
        (
            dict(job_durations=[True, HOUR]),
            TypeError,
            "job_durations[0]: expected an integer, got bool",
        ),
        (dict(names=["a"]), ValueError, "names: has 1 entries, expected 2"),
        (dict(coordinates=[(0, 0), (1, float("nan"))]), ValueError, "coordinates[1]"),
    ],
)
def test_each_mistake_gets_its_message(changes, error, message):
    with pytest.raises(error) as raised:
        Problem(**timed(**changes))
    assert message in str(raised.value)


@pytest.mark.parametrize(
    "changes, message",
    [
        (
            dict(time_windows=np.array([[[8 * HOUR, 9 * HOUR]]] * 2, "datetime64[s]")),
            "time_windows[0][0][0]: numpy datetime64 1970-01-01T08:00:00 has no timezone",
        ),
        (
            dict(time_windows=[[(np.timedelta64(1, "h"), DAY0)], [(DAY0, DAY0)]]),
            "time_windows[0][0][0]: expected an integer, got numpy timedelta64 1 hours",
        ),
        (
            dict(operation_times=["22:00", "06:00"]),
            "operation_times: opening 22:00 is not before closing 06:00;",
        ),
        (
            dict(distance_matrix=type("DataFrame", (), {"__module__": "pandas.core.frame"})()),
            "distance_matrix: expected a matrix (a sequence of rows), got a pandas DataFrame; pass",
        ),
    ],
)
def test_messages_name_values_in_the_form_given(changes, message):
    with pytest.raises((TypeError, ValueError)) as raised:
        Problem(**timed(**changes))
    assert str(raised.value).startswith(message)


def test_operating_hours_alone_are_refused():
    with pytest.raises(ValueError, match="operation_times: operating hours need time data"):
        Problem([[0]], operation_times=(0, 3600))


def test_unit_checks_can_be_switched_off():
    problem = Problem(
        **timed(time_windows=[[(8, 18)], [(0, 5)]], operation_times=(8, 18)), check_units=False
    )
    assert problem.time_windows == (((8, 18),), ((0, 5),))
    # Work that no schedule can hold is refused all the same, before the solver builds it.
    with pytest.raises(ValueError, match="need 10001 days of 1 seconds"):
        Problem(**timed(job_durations=[0, 10_001], operation_times=(8, 9)), check_units=False)
    Problem(**timed(job_durations=[0, 10_000], operation_times=(8, 9)), check_units=False)


@pytest.mark.parametrize(
    "days, span, accepted", [(6.9, 1, True), (7.1, 1, False), (20, 30, True), (30.1, 30, False)]
)
def test_legs_longer_than_a_week_and_the_windows_span_are_refused(days, span, accepted):
    leg, windows = round(days * 86400), [[(DAY0, DAY0 + span * 86400)], [(DAY0, DAY0)]]
    arguments = timed(duration_matrix=np.array([[0, 60], [leg, 0]]), time_windows=windows)
    message = (
        rf"^duration_matrix\[1\]\[0\]: a leg of {leg} s = {int(days)} days .*check_units=False"
    )
    with contextlib.nullcontext() if accepted else pytest.raises(ValueError, match=message):
        Problem(**arguments)
    assert Problem(**arguments, check_units=False).duration_matrix.at(1, 0) == leg


def test_lists_arrays_datetimes_and_timedeltas_give_the_same_problem():
    reference = Problem(**timed())
    converted = Problem(
        np.array([[0, 7], [9, 0]], dtype=np.uint64),
        np.array([[0, 30], [30, 0]], "timedelta64[m]"),
        [dt.timedelta(hours=1), np.timedelta64(HOUR * 10**6 + 999_999, "us")],
        [
            [[dt.datetime(2026, 12, 7, 8, tzinfo=UTC), dt.datetime(2026, 12, 7, 18, tzinfo=UTC)]],
            np.array([[DAY0 + 10 * HOUR, DAY0 + 12 * HOUR]]),
        ],
        [dt.time(8), dt.timedelta(hours=17)],
    )
    assert converted == reference
    windows = np.array(reference.time_windows, "datetime64[s]") + np.timedelta64(999, "ms")
    in_utc = Problem(**timed(timezone="UTC"))
    assert Problem(**timed(time_windows=windows, timezone="UTC")) == in_utc
    assert pickle.loads(pickle.dumps(converted)) == reference
    assert Problem.from_dict(reference.to_dict()) == reference
