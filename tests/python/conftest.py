import datetime
import json
import math
import os
import random
import shutil
import subprocess
import sys
import sysconfig

import pytest
import tourwright

HOUR = 3600
# Midnight of 2026-12-07 (UTC) in Unix seconds: a fixed day for time problems.
DAY0 = int(datetime.datetime(2026, 12, 7, tzinfo=datetime.timezone.utc).timestamp())

# What a result of `tourwright.solve` holds, in the order its class declares it; the friendly
# `Tour` holds the same and more.
RESULT_ATTRIBUTES = (
    "distance",
    "route",
    "lateness",
    "duration",
    "working_time",
    "waiting_time",
    "traveling_time",
    "start_time",
    "end_time",
    "iterations",
    "time_taken_microseconds",
    "schedule",
)
# Those a problem without time data leaves None.
TIME_ATTRIBUTES = RESULT_ATTRIBUTES[2:9] + ("schedule",)

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


def delivery_problem(n=25, seed=1, depot_hours=(7, 19)):
    """Location 0 is a depot open `depot_hours`; customers have one or two windows."""
    from tourwright_tools import Problem

    rng = random.Random(seed)
    points = [(rng.uniform(0, 30), rng.uniform(0, 30)) for _ in range(n)]
    distances = [
        [int(1000 * ((ax - bx) ** 2 + (ay - by) ** 2) ** 0.5) for bx, by in points]
        for ax, ay in points
    ]
    windows = [[(DAY0 + depot_hours[0] * HOUR, DAY0 + depot_hours[1] * HOUR)]]
    for _ in range(1, n):
        opening = DAY0 + rng.randrange(8, 14) * HOUR
        windows.append(
            [(opening, opening + 2 * HOUR)]
            + ([(opening + 3 * HOUR, opening + 4 * HOUR)] if rng.random() < 0.3 else [])
        )
    return Problem(
        distances, [[d // 10 for d in row] for row in distances], [0] + [600] * (n - 1), windows
    )


def batch_folder(tmp_path, count):
    folder = tmp_path / "in"
    folder.mkdir()
    for seed in range(count):
        (folder / f"p{seed}.json").write_text(json.dumps(delivery_problem(60, seed).to_dict()))
    (folder / "broken.json").write_text('{"distance_matrix": [[0, 1], [1]]}')
    return folder


def installed_script():
    search = os.pathsep.join(
        [sysconfig.get_path("scripts"), os.path.dirname(sys.executable), os.environ["PATH"]]
    )
    script = shutil.which("tourwright", path=search)
    assert script is not None
    return script


def working_week():
    """A problem open Mon-Fri 08:00-17:00 (UTC) with a break of 30 minutes to start 11:30-13:30,
    and its tour 0 1 2 3 from Friday (DAY0 + 4 days) 08:00 to Monday: Friday's break is taken
    during the wait at the Mill, whose window binds only the start (its job starts at 14:00 and
    runs on into Monday); Monday's pauses the way back from the Farm; the weekend is closed."""
    from tourwright_tools import Break, Problem, evaluate_route

    friday, monday = DAY0 + 4 * 86400, DAY0 + 7 * 86400
    half = HOUR // 2
    weekdays = {day: ("08:00", "17:00") for day in ("mon", "tue", "wed", "thu", "fri")}
    travel = [[0, half, half, HOUR], [half, 0, half, HOUR], [half, half, 0, HOUR], [HOUR] * 3 + [0]]
    problem = Problem(
        [[0, 4, 5, 9], [4, 0, 3, 7], [5, 3, 0, 6], [9, 7, 6, 0]],
        travel,
        [0, 5 * half, 4 * HOUR, 3 * HOUR],
        [
            [(friday + 8 * HOUR, monday + 17 * HOUR)],
            [(friday + 8 * HOUR, friday + 17 * HOUR)],
            [(friday + 14 * HOUR, friday + 16 * HOUR)],
            [(monday + 8 * HOUR, monday + 17 * HOUR)],
        ],
        hours=weekdays,
        breaks=[Break("PT30M", start_between=("11:30", "13:30"))],
        window_rule=["whole", "whole", "start", "whole"],
        names=["Depot", "Bakery", "Mill", "Farm"],
    )
    return problem, evaluate_route(problem, [0, 1, 2, 3], departure="earliest")
