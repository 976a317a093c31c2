"""What a longer time limit buys: descents, lateness and travel time by limit.

Solves the bundled 25-location example and, where the public TSPTW collection is present,
a few of its larger instances, without a limit (one descent from the given order) and with
each of the given limits.

    python3 bench/bench_quality_by_limit.py --limits 1 4
"""

import argparse
import importlib.resources
import os
import sys

from tourwright_tools import read_json, read_tsptw, solve_problem

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_COLLECTION = os.path.normpath(os.path.join(HERE, "..", "..", "shared", "bench"))
INSTANCES = ("Dumas/n60w20.001.txt", "Dumas/n100w20.001.txt", "Dumas/n200w20.001.txt")


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument(
        "--collection",
        default=DEFAULT_COLLECTION,
        help="folder of the public TSPTW collection (default: %(default)s)",
    )
    parser.add_argument("--limits", nargs="+", type=int, default=[1, 4])
    args = parser.parse_args(argv)

    problems = []
    with importlib.resources.as_file(
        importlib.resources.files("tourwright_tools") / "example.json"
    ) as path:
        problems.append(("example", read_json(path), None))
    folder = os.path.join(args.collection, "instances", "lopez-ibanez")
    if os.path.isdir(folder):
        for name in INSTANCES:
            instance = read_tsptw(os.path.join(folder, name))
            problems.append((instance.name, instance.problem, instance))
    else:
        print(
            f"(the public TSPTW collection is not in {args.collection}: only the example is solved)"
        )
    print(
        f"{'problem':16} {'n':>4} {'limit':>5} {'descents':>9} {'per s':>7} {'lateness':>9} "
        f"{'traveling':>10} {'feasible':>8}"
    )
    for name, problem, instance in problems:
        for limit in [None] + args.limits:
            tour = solve_problem(
                problem,
                limit,
                max_descents=1 if limit is None else None,
                depot=None if instance is None else instance.depot,
            )
            rate = tour.iterations / max(tour.time_taken_microseconds / 1e6, 1e-6)
            feasible = (
                "-" if instance is None else ("yes" if instance.report(tour).feasible else "no")
            )
            print(
                f"{name:16} {problem.size:4} {str(limit or '-'):>5} {tour.iterations:9} {rate:7.0f} "
                f"{tour.lateness:9} {tour.traveling_time:10} {feasible:>8}"
            )
    return 0


if __name__ == "__main__":
    sys.exit(main())
