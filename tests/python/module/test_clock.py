"""The time limit and the time taken follow the monotonic clock: a wall clock
that runs fast, slow or years off (here under libfaketime) changes neither."""

import os
import shutil
import subprocess
import sys

import pytest

SCRIPT = """
import random, time, tourwright
rng = random.Random(1)
matrix = [[rng.randrange(1, 100) for _ in range(40)] for _ in range(40)]
started = time.monotonic()
result = tourwright.solve(matrix, time_limit=1)
print(time.monotonic() - started, result.time_taken_microseconds)
"""


@pytest.mark.skipif(
    shutil.which("faketime") is None, reason="needs faketime (Debian package faketime)"
)
@pytest.mark.parametrize("wall_clock", ["+0 x10", "-20y x0.1", "+1y"])
def test_a_wall_clock_off_or_at_another_pace_changes_nothing(wall_clock):
    env = dict(os.environ, FAKETIME_DONT_FAKE_MONOTONIC="1")
    completed = subprocess.run(
        ["faketime", "-f", wall_clock, sys.executable, "-c", SCRIPT],
        env=env,
        capture_output=True,
        text=True,
        timeout=60,
        check=True,
    )
    elapsed, micros = completed.stdout.split()
    # On the wall clock the first run would stop after 0.1 s, the second after 10 s.
    assert 1.0 <= float(elapsed) < 5.0
    assert 1_000_000 <= int(micros) < 5_000_000
