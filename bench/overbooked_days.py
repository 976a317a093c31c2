"""Overbooked working days: more work than hours, optional stops in three priority classes.

A van leaves its depot at the day's opening (08:00) and must be back by its closing (17:00): a
single day, the depot's window, no operating hours beyond it. The stops lie in a city of about
20 km across (denser for more than 50 stops; travel at 30 km/h over straight lines, a tenth
longer for the roads). The jobs are scaled so that all the work plus a rough travel estimate
(a nearest-neighbour tour through every stop) comes to 1.3 to 2 times the day: not everything
fits. About one stop in eight is a promised customer: required, with a two-hour slot (now and
then a second one) around a planted visit, so that a tour of the promised customers alone is
on time. The others are optional, in class 3 (the most important, a fifth of them), 2 (a third)
or 1 (the rest), each with windows of a kind a dispatcher meets: all day, morning or afternoon
only, closed for the middle hour, a two-hour slot or two of them.

    python3 bench/overbooked_days.py --stops 100 --seed 101 OUT.json
    from overbooked_days import overbooked_day
    day = overbooked_day(stops=100, seed=101)   # day.problem(), day.spec(), day.seconds, ...

The JSON problem file carries `required` and `priority` (None for the required locations).
Seeds of the benchmarks start at 101.
"""

import argparse
import datetime as dt
import json
import math
import random
import sys
from dataclasses import dataclass

DAY0 = 1_796_601_600  # 2026-12-07T00:00:00Z
OPEN, CLOSE = 8 * 3600, 17 * 3600
SPEED = 30 / 3.6  # metres a second
CLASSES = (3, 2, 1)  # from the most important
CLASS_SHARES = (0.2, 0.35, 0.45)
PROMISED_SHARE = 1 / 8


@dataclass
class OverbookedDay:
    """Location 0 is the depot; times are seconds from DAY0's midnight (UTC)."""

    points: list  # (x, y) metres
    metres: list  # n x n
    seconds: list  # n x n
    jobs: list  # seconds
    windows: list  # per location, its (start, end) pairs in time order
    required: list  # bools; the depot and the promised customers
    priority: list  # the class of an optional location, None for a required one
    hours: tuple  # (opening, closing): the depot's window

    @property
    def size(self):
        return len(self.jobs)

    def problem(self):
        from tourwright_tools import Problem

        at = lambda s: dt.datetime.fromtimestamp(DAY0 + s, dt.timezone.utc)  # noqa: E731
        return Problem(
            distance_matrix=self.metres,
            duration_matrix=self.seconds,
            job_durations=self.jobs,
            time_windows=[[(at(a), at(b)) for a, b in w] for w in self.windows],
            coordinates=[(round(x), round(y)) for x, y in self.points],
            depot=0,
            timezone=dt.timezone.utc,
            required=self.required,
            priority=self.priority,
        )

    def spec(self):
        """The day as a JSON problem file's object (Unix seconds)."""
        return {
            "description": f"overbooked day, {self.size - 1} stops",
            "depot": 0,
            "timezone": "UTC",
            "coordinates": [[round(x), round(y)] for x, y in self.points],
            "distance_matrix": self.metres,
            "duration_matrix": self.seconds,
            "job_durations": self.jobs,
            "time_windows": [[[a + DAY0, b + DAY0] for a, b in w] for w in self.windows],
            "required": self.required,
            "priority": self.priority,
        }

    def json_text(self):
        return json.dumps(self.spec(), separators=(",", ":"))


def overbooked_day(stops, seed, hours=(OPEN, CLOSE)):
    """A day of `stops` customers and a depot (location 0)."""
    rng = random.Random(seed)
    opening, closing = hours
    length = closing - opening
    n = stops + 1
    side = 20_000 * min(1.0, math.sqrt(50 / stops))  # busier days lie in denser quarters
    points = [(rng.uniform(0, side), rng.uniform(0, side)) for _ in range(n)]
    metres = [[round(1.1 * math.dist(a, b)) for b in points] for a in points]
    seconds = [[round(m / SPEED) for m in row] for row in metres]
    order = _nearest_neighbour(seconds, range(1, n))
    travel = sum(seconds[a][b] for a, b in zip(order, order[1:] + order[:1]))
    overbooking = rng.uniform(1.3, 2.0)
    work = max(overbooking * length - travel, 120 * stops)
    weights = [rng.uniform(0.3, 1.7) for _ in range(stops)]
    # A job longer than a third of the day fits few windows and would be left out at once.
    jobs = [0] + [min(length // 3, max(120, round(work * w / sum(weights)))) for w in weights]
    customers = list(range(1, n))
    rng.shuffle(customers)
    promised = set(customers[: max(1, round(PROMISED_SHARE * stops))])
    optional = customers[len(promised) :]
    cuts = [round(share * len(optional)) for share in CLASS_SHARES]
    cuts[-1] = len(optional) - sum(cuts[:-1])
    priority = [None] * n
    start = 0
    for cls, count in zip(CLASSES, cuts):
        for k in optional[start : start + count]:
            priority[k] = cls
        start += count
    windows = [[(opening, closing)]] + [None] * stops
    for k, visit in _planted_visits(rng, seconds, jobs, promised, hours).items():
        windows[k] = _promised_windows(rng, visit, jobs[k], hours)
    for k in optional:
        windows[k] = _optional_windows(rng, jobs[k], hours)
    return OverbookedDay(
        points=points,
        metres=metres,
        seconds=seconds,
        jobs=jobs,
        windows=windows,
        required=[p is None for p in priority],
        priority=priority,
        hours=hours,
    )


def _nearest_neighbour(seconds, stops):
    order, left = [0], set(stops)
    while left:
        nearest = min(left, key=lambda k: (seconds[order[-1]][k], k))
        order.append(nearest)
        left.remove(nearest)
    return order


def _planted_visits(rng, seconds, jobs, promised, hours):
    """Start of each promised customer's job on a nearest-neighbour tour of them alone, its
    idle time spread at random over the day so that the slots do not crowd the morning."""
    opening, closing = hours
    order = _nearest_neighbour(seconds, promised)
    busy = sum(seconds[a][b] for a, b in zip(order, order[1:] + order[:1]))
    busy += sum(jobs[k] for k in promised)
    if busy > closing - opening:
        raise ValueError("the promised customers alone overrun the day")
    gaps = [rng.random() for _ in order]
    scale = (closing - opening - busy) / sum(gaps)
    clock, visits = opening, {}
    for previous, k, gap in zip(order, order[1:], gaps):
        clock += seconds[previous][k] + math.floor(gap * scale)
        visits[k] = clock
        clock += jobs[k]
    return visits


def _slot_length(job, hours):
    return max((hours[1] - hours[0]) * 2 // 9, job + 1800)  # two hours of a nine-hour day


def _promised_windows(rng, visit, job, hours):
    """A slot holding the planted visit, and now and then a second, later one."""
    opening, closing = hours
    slot = _slot_length(job, hours)
    first = max(opening, min(visit - rng.randint(0, slot - job), closing - slot))
    windows = [(first, first + slot)]
    if rng.random() < 0.25 and first + 2 * slot <= closing:
        second = rng.randint(first + slot, closing - slot)
        windows.append((second, second + slot))
    return windows


def _optional_windows(rng, job, hours):
    opening, closing = hours
    middle = (opening + closing) // 2
    gap = (closing - opening) // 18  # a middle hour closed in a nine-hour day
    slot = _slot_length(job, hours)
    a, b = rng.randint(opening, closing - slot), rng.randint(opening, closing - slot)
    a, b = min(a, b), max(a, b)
    kinds = [
        [(opening, closing)],
        [(opening, middle)],
        [(middle, closing)],
        [(opening, middle - gap), (middle + gap, closing)],
        [(a, a + slot)],
        [(a, a + slot), (b, b + slot)] if a + slot < b else [(a, a + slot)],
    ]
    holding = [w for w in kinds if all(end - start >= job for start, end in w)]
    return rng.choice(holding)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--stops", type=int, default=100, help="customers, the depot not counted")
    parser.add_argument("--seed", type=int, default=101)
    parser.add_argument("out", help="the JSON problem file to write ('-': standard output)")
    args = parser.parse_args()
    text = overbooked_day(args.stops, args.seed).json_text()
    if args.out == "-":
        sys.stdout.write(text)
    else:
        with open(args.out, "w") as file:
            file.write(text)


if __name__ == "__main__":
    main()
