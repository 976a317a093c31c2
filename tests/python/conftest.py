import datetime
import math
import random
import subprocess
import sys

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


def mypy_strict(folder, *targets):
    """`mypy --strict` on `targets`, run in `folder` (with its cache there)."""
    return subprocess.run(
        [sys.executable, "-m", "mypy", "--strict", "--cache-dir", str(folder / "cache"), *targets],
        capture_output=True,
        text=True,
        cwd=folder,
        timeout=300,
    )


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


def planned_day(n, seed=1):
    """n named places with coordinates, short jobs, and windows around the times of a
    nearest-neighbour tour from place 0 (the depot), so that most of them can be met."""
    from tourwright_tools import Problem

    rnd = random.Random(seed)
    points = [(rnd.uniform(0, 20), rnd.uniform(0, 20)) for _ in range(n)]
    travel = [[round(math.dist(p, q) * 90) for q in points] for p in points]
    jobs = [0] + [rnd.choice([0, 120, 300, 600]) for _ in range(n - 1)]
    windows, order, clock = [None] * n, [0], DAY0 + 7 * HOUR
    left = set(range(1, n))
    while left:
        nearest = min(left, key=lambda j: travel[order[-1]][j])
        clock += jobs[order[-1]] + travel[order[-1]][nearest]
        left.remove(nearest)
        order.append(nearest)
        opening = clock - rnd.randrange(HOUR)
        windows[nearest] = [(opening, opening + rnd.choice([1800, HOUR, 2 * HOUR]))]
    windows[0] = [(DAY0 + 7 * HOUR, clock + 2 * HOUR)]
    names = ["Depot"] + [f"Customer {i}" for i in range(1, n)]
    return Problem(
        [[d * 11 for d in row] for row in travel],
        travel,
        jobs,
        windows,
        names=names,
        coordinates=points,
    )
