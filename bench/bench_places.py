"""Matrices between places on the earth: `matrices_from_coordinates` (great circles, both
matrices rounded to whole metres and seconds) and `Problem.from_places` (the same and the
problem's checks), for random places over Germany at n = 1000, 2000 and 5000.

    python3 bench/bench_places.py                 # every size, the best of 3 runs
    python3 bench/bench_places.py --sizes 5000 --repeat 5

Columns (seconds, the best of --repeat runs): matrices, from_places.
"""

import argparse
import functools
import time

import numpy as np
from tourwright_tools import Problem, matrices_from_coordinates


def best_of(repeat, action):
    times = []
    for _ in range(repeat):
        start = time.perf_counter()
        action()
        times.append(time.perf_counter() - start)
    return min(times)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--sizes", default="1000,2000,5000")
    parser.add_argument("--repeat", type=int, default=3)
    options = parser.parse_args()
    print(f"{'n':>6} {'matrices':>9} {'from_places':>12}")
    for n in map(int, options.sizes.split(",")):
        rng = np.random.default_rng(n)
        places = np.c_[rng.uniform(47.3, 55.0, n), rng.uniform(5.9, 15.0, n)]
        matrices = best_of(
            options.repeat, functools.partial(matrices_from_coordinates, places, speed=50)
        )
        problem = best_of(options.repeat, functools.partial(Problem.from_places, places, speed=50))
        print(f"{n:>6} {matrices:>9.3f} {problem:>12.3f}")


if __name__ == "__main__":
    main()
