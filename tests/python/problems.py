"""Random Euclidean problems as keyword arguments of `tourwright.solve`, shared by the tests
and the benchmarks (bench/ imports this file), so that both solve problems of one making.
Plain Python: no test framework needed."""

import random

HOUR = 3600
DAY0 = 1_796_601_600  # 2026-12-07T00:00:00Z


def random_problem(
    n,
    seed,
    windows,
    *,
    opens_within=8 * HOUR,
    seconds_per_unit=6,
    longest_job=900,
    window_length=(HOUR, 3 * HOUR),
    operation_times=None,
):
    """Points in a square of side 1000, their whole distances; with `windows`, travel of
    `seconds_per_unit` seconds per unit of distance, jobs under `longest_job` seconds and one
    window a location, opening within `opens_within` of DAY0 and `window_length` long."""
    rng = random.Random(seed)
    points = [(rng.uniform(0, 1000), rng.uniform(0, 1000)) for _ in range(n)]
    matrix = [
        [int(((ax - bx) ** 2 + (ay - by) ** 2) ** 0.5) for bx, by in points] for ax, ay in points
    ]
    if not windows:
        return dict(distance_matrix=matrix)
    opens = [DAY0 + rng.randrange(0, opens_within) for _ in range(n)]
    problem = dict(
        distance_matrix=matrix,
        duration_matrix=[[seconds_per_unit * d for d in row] for row in matrix],
        job_durations=[rng.randrange(0, longest_job) for _ in range(n)],
        time_windows=[[(start, start + rng.randrange(*window_length))] for start in opens],
    )
    if operation_times is not None:
        problem["operation_times"] = operation_times
    return problem
