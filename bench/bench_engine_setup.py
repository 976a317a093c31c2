"""The engine call's set-up at large n: reading the tables, building the problem, the search's
own set-up and the output, against a short time limit. The first call in a process pays for
fresh memory (page faults) that later calls reuse.

    python3 bench/bench_engine_setup.py                  # n = 5000, limit 0.05 s
    python3 bench/bench_engine_setup.py --n 2000 --limit 0.1 --calls 5

Prints each call's seconds and its overrun past the limit.
"""

import argparse
import time

import numpy as np
from tourwright_tools import Problem, _engine

DAY0 = 1_796_601_600  # 2026-12-07T00:00:00Z


def arguments(n, seed=1):
    rng = np.random.default_rng(seed)
    points = rng.uniform(0, 30_000, (n, 2))
    distances = np.hypot(*(points[:, None, :] - points[None, :, :]).transpose(2, 0, 1))
    distances = distances.astype(np.int64)
    opening = DAY0 + rng.integers(7, 18, n) * 3600
    windows = [[(DAY0 + 6 * 3600, DAY0 + 22 * 3600)]] + [
        [(int(start), int(start) + 7200)] for start in opening[1:]
    ]
    problem = Problem(distances, distances // 8, [0] + [300] * (n - 1), windows)
    return problem.solve_arguments()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--n", type=int, default=5000)
    parser.add_argument("--limit", type=float, default=0.05)
    parser.add_argument("--calls", type=int, default=3)
    args = parser.parse_args()
    given = arguments(args.n)
    for call in range(args.calls):
        start = time.perf_counter()
        _engine.solve(**given, time_limit=args.limit)
        took = time.perf_counter() - start
        print(f"call {call + 1}  {took:6.3f} s  overrun {took - args.limit:6.3f} s", flush=True)


if __name__ == "__main__":
    main()
