import datetime

import pytest

import tourwright

HOUR = 3600
# Midnight of 2026-12-07 (UTC) in Unix seconds: a fixed day for time problems.
DAY0 = int(datetime.datetime(2026, 12, 7, tzinfo=datetime.timezone.utc).timestamp())

# A six-location distance-only problem whose single descent from the identity
# order is known step by step; it ends in 2 0 5 1 4 3 with distance 33.
TRACE_MATRIX = [
    [0, 15, 19, 15, 12, 10],
    [8, 0, 6, 8, 3, 19],
    [10, 17, 0, 16, 11, 15],
    [10, 20, 3, 0, 4, 17],
    [14, 6, 11, 5, 0, 16],
    [14, 2, 3, 18, 19, 0],
]


def panic_type():
    """The PanicException class, caught from a call that is known to panic."""
    try:
        tourwright.solve([])
    except BaseException as error:  # noqa: BLE001 - it derives from BaseException only
        return type(error)
    raise AssertionError("solve([]) did not panic")


@pytest.fixture(scope="session")
def PanicException():
    return panic_type()


def two_location_problem():
    """Two jobs of an hour, 30 minutes apart; location 1 opens 10:00-12:00."""
    return dict(
        distance_matrix=[[0, 7], [9, 0]],
        duration_matrix=[[0, 1800], [1800, 0]],
        job_durations=[HOUR, HOUR],
        time_windows=[
            [(DAY0 + 8 * HOUR, DAY0 + 18 * HOUR)],
            [(DAY0 + 10 * HOUR, DAY0 + 12 * HOUR)],
        ],
    )
