"""LKH (through elkai) on the random Euclidean problems of bench_strategy.cpp.

The points come from the same splitmix64 stream, so the tour lengths compare
directly with the benchmark's, which reads this output as its reference. elkai is a
benchmark-only dependency:

    python3 -m venv /tmp/peers && /tmp/peers/bin/pip install elkai
    /tmp/peers/bin/python bench/lkh_euclidean.py [--instances K] [--sizes N N ..] [--side S] > lkh.txt
    build/bench/bench_strategy --euclidean-only --budget 10 --instances K [--side S] --reference lkh.txt
"""

import argparse
import math
import time

import elkai

MASK = (1 << 64) - 1


def points(n, instance, side):
    state = n + 1000003 * instance
    out = []
    for _ in range(2 * n):
        state = (state + 0x9E3779B97F4A7C15) & MASK
        z = state
        z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & MASK
        z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & MASK
        z ^= z >> 31
        out.append(side * (z >> 11) / 2.0**53)
    return list(zip(out[0::2], out[1::2]))


def solve(n, instance, side):
    """Prints LKH's tour length for the problem."""
    p = points(n, instance, side)
    rows = [[int(math.floor(math.hypot(a[0] - b[0], a[1] - b[1]) + 0.5)) for b in p] for a in p]
    started = time.perf_counter()
    tour = elkai.DistanceMatrix(rows).solve_tsp(runs=1)  # one run, as LKH is usually run
    took = time.perf_counter() - started
    length = sum(rows[a][b] for a, b in zip(tour, tour[1:]))
    if tour[0] != tour[-1]:
        length += rows[tour[-1]][tour[0]]
    print(f"{n:6} {instance:4} {length:12} {took:8.1f}", flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--sizes", type=int, nargs="+", default=[200, 500, 1000])
    parser.add_argument("--instances", type=int, default=1, help="problems of each size")
    parser.add_argument("--side", type=float, default=10000.0, help="of the square of points")
    args = parser.parse_args()
    print(f"{'n':>6} {'inst':>4} {'LKH':>12} {'seconds':>8}", flush=True)
    for n in args.sizes:
        for instance in range(args.instances):
            solve(n, instance, args.side)


if __name__ == "__main__":
    main()
