"""Matrices between places on the earth: `matrices_from_coordinates` (great circles, both
matrices rounded to whole metres and seconds) and `Problem.from_places` (the same and the
problem's checks), for random places over Germany at n = 1000, 2000 and 5000.

    python3 bench/bench_places.py                 # every size, the best of 3 runs
    python3 bench/bench_places.py --sizes 5000 --repeat 5

Columns (seconds, the best of --repeat runs): matrices, from_places.
"""

import argparse
import functools
import timeit

import numpy as np
from tourwright_tools import Problem, matrices_from_coordinates


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--sizes", default="1000,2000,5000")
    parser.add_argument("--repeat", type=int, default=3)
    options = parser.parse_args()

    def best_of(action):
        return min(timeit.repeat(action, number=1, repeat=options.repeat))

    print(f"{'n':>6} {'matrices':>9} {'from_places':>12}")
    for n in map(int, options.sizes.split(",")):
        rng = np.random.default_rng(n)
        places = np.c_[rng.uniform(47.3, 55.0, n), rng.uniform(5.9, 15.0, n)]
        matrices = best_of(functools.partial(matrices_from_coordinates, places, speed=50))
        problem = best_of(functools.partial(Problem.from_places, places, speed=50))
        print(f"{n:>6} {matrices:>9.3f} {problem:>12.3f}")


if __name__ == "__main__":
    main()
