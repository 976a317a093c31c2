"""Large problems in the style of Dumas et al.'s TSPTW sets, generated from a seed.

Integer points in a 1000 x 1000 square, the first one the depot; travel time = distance = the
classic sets' matrix (the Euclidean distance rounded down, then shortened through a third
location, as `read_tsptw` reads their coordinate files); a planted tour that goes from the depot
to the nearest location not yet visited; every window centred on the planted tour's arrival
with a half-width uniform in [0, W/2] (cut at the start of the day), so that the planted tour is
on time; jobs of no length. The depot's window, the working day, closes W/2 after the planted
tour's return. Times count in seconds from DAY0.

    python3 bench/dumas_style.py --n 2000 --width 1000 --seed 101 OUT.json

Seeds of the benchmarks start at 101 (the tests use small ones).
"""

import argparse
import decimal
import json
import sys
from dataclasses import dataclass

import numpy as np
from tourwright_tools import Problem
from tourwright_tools.files.formats import _coordinate_matrix

DAY0 = 1_796_601_600  # 2026-12-07T00:00:00Z
SIDE = 1000


@dataclass
class DumasStyle:
    points: np.ndarray  # (n, 2) integers
    matrix: np.ndarray  # (n, n) int64, distance = travel time
    windows: np.ndarray  # (n, 2) seconds from DAY0
    planted: list  # the planted route, from the depot

    def problem(self):
        n = len(self.points)
        return Problem(
            self.matrix,
            self.matrix,
            np.zeros(n, dtype=np.int64),
            (self.windows + DAY0).reshape(n, 1, 2),
            coordinates=self.points.tolist(),
            depot=0,
            check_units=False,
        )

    def json_text(self):
        n = len(self.points)
        rows = self.matrix.tolist()
        return json.dumps(
            {
                "description": f"Dumas-style, {n} locations",
                "depot": 0,
                "check_units": False,
                "coordinates": self.points.tolist(),
                "distance_matrix": rows,
                "duration_matrix": rows,
                "job_durations": [0] * n,
                "time_windows": [[[int(a) + DAY0, int(b) + DAY0]] for a, b in self.windows],
            },
            separators=(",", ":"),
        )


def nearest_neighbour_route(matrix):
    n = len(matrix)
    unvisited = np.ones(n, dtype=bool)
    unvisited[0] = False
    route = [0]
    for _ in range(n - 1):
        row = np.where(unvisited, matrix[route[-1]], np.iinfo(np.int64).max)
        nearest = int(np.argmin(row))
        unvisited[nearest] = False
        route.append(nearest)
    return route


def generate(n, width, seed):
    rng = np.random.default_rng(seed)
    points = rng.integers(0, SIDE + 1, size=(n, 2))
    exact = [(decimal.Decimal(int(x)), decimal.Decimal(int(y))) for x, y in points]
    matrix = _coordinate_matrix("dumas-style", exact)
    route = nearest_neighbour_route(matrix)
    legs = matrix[route[:-1], route[1:]]
    arrival = np.zeros(n, dtype=np.int64)
    arrival[route[1:]] = np.cumsum(legs)
    half = rng.integers(0, width // 2 + 1, size=n)
    windows = np.stack([np.maximum(0, arrival - half), arrival + half], axis=1)
    back = int(arrival[route[-1]] + matrix[route[-1], 0])
    windows[0] = (0, back + width // 2)
    return DumasStyle(points, matrix, windows, route)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--n", type=int, default=1000, help="locations, the depot included")
    parser.add_argument("--width", type=int, default=100, help="W: the widest window")
    parser.add_argument("--seed", type=int, default=101)
    parser.add_argument("out", help="the JSON problem file to write ('-': standard output)")
    args = parser.parse_args()
    text = generate(args.n, args.width, args.seed).json_text()
    if args.out == "-":
        sys.stdout.write(text)
    else:
        with open(args.out, "w") as file:
            file.write(text)


if __name__ == "__main__":
    main()
