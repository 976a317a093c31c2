"""Invariants of results on many random problems, checked from Python."""
import random

import pytest

import tourwright
from conftest import DAY0, HOUR


def random_problem(rng, n):
    distances = [[rng.randrange(0, 100) for _ in range(n)] for _ in range(n)]
    durations = [[rng.randrange(0, 4) * 900 for _ in range(n)] for _ in range(n)]
    jobs = [rng.randrange(0, 5) * 600 for _ in range(n)]
    windows = []
    for location in range(n):
        at, own = DAY0 + rng.randrange(0, 10) * HOUR, []
        for _ in range(rng.randrange(1 if location == 0 else 0, 3)):
            length = rng.randrange(0, 4) * HOUR
            own.append((at, at + length))
            at += length + rng.randrange(1, 6) * HOUR
        windows.append(own)
    hours = rng.choice([None, (8 * HOUR, 17 * HOUR), (6 * HOUR, 22 * HOUR)])
    return distances, durations, jobs, windows, hours


@pytest.mark.parametrize("seed", range(60))
def test_result_invariants(seed):
    rng = random.Random(seed)
    n = rng.randrange(1, 8)
    distances, durations, jobs, windows, hours = random_problem(rng, n)
    result = tourwright.solve(distances, durations, jobs, windows, hours,
                              time_limit=rng.choice([None, 2**64 - 1]))
    route = result.route
    assert sorted(route) == list(range(n))
    assert result.distance == sum(distances[a][b] for a, b in zip(route, route[1:] + route[:1]))
    assert windows[route[0]] and result.start_time == windows[route[0]][0][0]
    assert result.duration == result.working_time + result.traveling_time + result.waiting_time
    assert result.traveling_time == sum(durations[a][b] for a, b in zip(route, route[1:] + route[:1]))
    assert result.working_time == sum(jobs)

    schedule = result.schedule
    clock = result.start_time
    per_kind = {"PyEvent_Work": 0, "PyEvent_Travel": 0, "PyEvent_Wait": 0}
    visits = []
    for event in schedule:
        start, end = event._0.window
        assert start == clock <= end
        clock = end
        per_kind[type(event).__name__] += end - start
        if type(event).__name__ == "PyEvent_Work":
            visits.append(event._0.location)
    assert clock == result.end_time
    assert per_kind == {"PyEvent_Work": result.working_time,
                        "PyEvent_Travel": result.traveling_time,
                        "PyEvent_Wait": result.waiting_time}
    # Every job is visited in route order (a job cut by closing time shows up more than once).
    assert [v for k, v in enumerate(visits) if k == 0 or visits[k - 1] != v] == route
