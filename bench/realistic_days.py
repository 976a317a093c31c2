"""Realistic working days with a planted on-time tour, for benchmarks.

A van leaves its depot at 08:00 and works until 17:00. The stops lie in a city of about
20 km across (denser for more than 50 stops) (travel at 30 km/h over straight lines, a tenth longer for the roads); each has a
job of a few minutes to most of an hour, scaled so that the planted tour (nearest neighbour
from the depot) fills 70 to 85 % of the day. Each stop's windows are one kind a dispatcher
meets, drawn among those that hold its planted visit: all day, morning only (08-12), afternoon
only (13-17), closed for lunch (08-12 and 13-17), or a two-hour slot. So an on-time tour
exists, and the day is as tight as real ones.

    from realistic_days import realistic_day
    problem = realistic_day(stops=60, seed=3)
"""

import datetime as dt
import math
import random

from tourwright_tools import Problem

DAY = dt.datetime(2026, 12, 7)
OPEN, CLOSE = 8 * 3600, 17 * 3600
SPEED = 30 / 3.6  # metres a second
KINDS = ("all day", "morning", "afternoon", "lunch closure", "slot")


def realistic_day(stops: int, seed: int) -> Problem:
    """A day of `stops` customers and a depot (location 0)."""
    rng = random.Random(seed)
    n = stops + 1
    side = 20_000 * min(1.0, math.sqrt(50 / stops))  # busier days lie in denser quarters
    points = [(rng.uniform(0, side), rng.uniform(0, side)) for _ in range(n)]
    metres = [[round(1.1 * math.dist(a, b)) for b in points] for a in points]
    seconds = [[round(m / SPEED) for m in row] for row in metres]
    order = _nearest_neighbour(seconds)
    travel = sum(seconds[a][b] for a, b in zip(order, order[1:] + order[:1]))
    fill = rng.uniform(0.70, 0.85)
    work_budget = max(fill * (CLOSE - OPEN) - travel, 60 * stops)
    weights = [rng.uniform(0.3, 1.7) for _ in range(stops)]
    jobs = [0] + [max(60, round(work_budget * w / sum(weights))) for w in weights]
    clock, visit = OPEN, {}
    for previous, location in zip(order, order[1:]):
        clock += seconds[previous][location]
        visit[location] = (clock, clock + jobs[location])
        clock += jobs[location]
    if clock + seconds[order[-1]][0] > CLOSE:
        raise ValueError(f"the planted day of {stops} stops (seed {seed}) overruns 17:00")
    windows = [[(OPEN, CLOSE)]] + [_windows(rng, *visit[k]) for k in range(1, n)]
    at = lambda s: DAY + dt.timedelta(seconds=s)  # noqa: E731
    return Problem(
        distance_matrix=metres,
        duration_matrix=seconds,
        job_durations=jobs,
        time_windows=[[(at(a), at(b)) for a, b in w] for w in windows],
        coordinates=[(round(x), round(y)) for x, y in points],
        operation_times=(dt.time(8), dt.time(17)),
        depot=0,
        timezone=dt.timezone.utc,
    )


def _nearest_neighbour(seconds):
    order, left = [0], set(range(1, len(seconds)))
    while left:
        nearest = min(left, key=lambda k: seconds[order[-1]][k])
        order.append(nearest)
        left.remove(nearest)
    return order


def _windows(rng, start, end):
    """Windows of a kind drawn among those that hold the visit [start, end)."""
    noon, one = 12 * 3600, 13 * 3600
    kinds = {
        "all day": [(OPEN, CLOSE)],
        "morning": [(OPEN, noon)],
        "afternoon": [(one, CLOSE)],
        "lunch closure": [(OPEN, noon), (one, CLOSE)],
    }
    slot = max(OPEN, min(start - rng.randint(0, 3600), CLOSE - 7200))
    kinds["slot"] = [(slot, slot + 7200)]
    holding = [
        kind for kind, windows in kinds.items() if any(a <= start and end <= b for a, b in windows)
    ]
    # Restrictive kinds more often than a plain day, as in a real order book.
    weights = {"all day": 1, "morning": 2, "afternoon": 2, "lunch closure": 2, "slot": 2}
    return kinds[rng.choices(holding, [weights[k] for k in holding])[0]]
