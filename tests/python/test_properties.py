"""Invariants of results on many random problems, checked from Python."""

import random

import pytest
import tourwright
from conftest import DAY0, HOUR
from result_invariants import check_result


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
    result = tourwright.solve(
        distances, durations, jobs, windows, hours, time_limit=rng.choice([None, 2**64 - 1])
    )
    check_result(result, distances, durations, jobs, windows)
