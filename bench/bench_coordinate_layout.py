"""Reading classic files of the coordinate layout (one 'number x y demand ready due service'
line per location), whose matrix is the rounded-down Euclidean distance shortened through a
third location. Random points with two decimals in squares of two sizes: a wide square, where
few legs are shortened, and a dense one, where many are.

    python3 bench/bench_coordinate_layout.py
    python3 bench/bench_coordinate_layout.py --sizes 600 1000 2000 --sides 100 10000

Prints, per size and side, the seconds of `read_tsptw(FILE)` (best of --repeat).
"""

import argparse
import os
import tempfile
import time

import numpy as np
from tourwright_tools import read_tsptw


def write_file(path, n, side, seed=1):
    rng = np.random.default_rng(seed)
    points = np.round(rng.uniform(0, side, size=(n, 2)), 2)
    with open(path, "w") as file:
        for number, (x, y) in enumerate(points, start=1):
            file.write(f"{number} {x:.2f} {y:.2f} 0 0 1000000 0\n")
        file.write("999 0 0 0 0 0 0\n")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--sizes", type=int, nargs="+", default=[600, 1000, 2000])
    parser.add_argument("--sides", type=float, nargs="+", default=[100, 10_000])
    parser.add_argument("--repeat", type=int, default=1)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as directory:
        for side in args.sides:
            for n in args.sizes:
                path = os.path.join(directory, f"c{n}.txt")
                write_file(path, n, side)
                best = float("inf")
                for _ in range(args.repeat):
                    start = time.perf_counter()
                    read_tsptw(path)
                    best = min(best, time.perf_counter() - start)
                print(f"side {side:>8g}  n {n:>5}  read {best:7.2f} s", flush=True)


if __name__ == "__main__":
    main()
