"""Solution quality on public TSPTW benchmark problems.

Solves instances of the public TSPTW collection with a time limit and reports, for each,
the tour's lateness and travel time in this library's model and its judgement in the
literature's terms (rotated to the depot, leave it at its opening, wait when early, a
violation when late), next to the best-known travel time.

    python3 bench/bench_instances.py --sets Dumas --max-n 60 --per-set 10 --time-limit 2

The collection is read from --collection (default: ../shared/bench beside the project). Files
are read by `tourwright_tools.read_tsptw`: travel times are the distances, service times are
folded into them, and location 0 is solved as the depot.
"""

import argparse
import csv
import os
import sys

from tourwright_tools import read_tsptw, solve_problem

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_COLLECTION = os.path.normpath(os.path.join(HERE, "..", "..", "shared", "bench"))
COORDINATE_SETS = ("GendreauEtAl-extra", "DaSilvaUrrutia")


def set_folders(parser, collection, sets):
    """The collection's instances folder and each set's folder; exits with status 2, naming
    the first missing folder, when the collection is not there."""
    instances = os.path.join(collection, "instances")
    # Most sets are in López-Ibáñez's matrix files; the coordinate sets sit beside them.
    folders = {
        name: os.path.join(instances, "" if name in COORDINATE_SETS else "lopez-ibanez", name)
        for name in sets
    }
    missing = [folder for folder in folders.values() if not os.path.isdir(folder)]
    if missing:
        parser.exit(
            2,
            f"{parser.prog}: the public TSPTW collection is missing {missing[0]}; "
            "pass its folder with --collection\n",
        )
    return instances, folders


def best_known_travel_times(instances):
    """(set, instance) -> the best-known travel time, in file units."""
    path = os.path.join(instances, "bks", "best_known.csv")
    if not os.path.isfile(path):
        return {}
    with open(path, newline="") as file:
        return {
            (row["set"], row["instance"]): float(row["value"])
            for row in csv.DictReader(file)
            if row["objective"] == "traveltime"
        }


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument(
        "--collection",
        default=DEFAULT_COLLECTION,
        help="folder of the public TSPTW collection (default: %(default)s)",
    )
    parser.add_argument("--sets", nargs="+", default=["Dumas", "GendreauDumasExtended", "AFG"])
    parser.add_argument("--max-n", type=int, default=60)
    parser.add_argument("--per-set", type=int, default=8)
    parser.add_argument("--time-limit", type=int, default=1)
    args = parser.parse_args(argv)

    instances, folders = set_folders(parser, args.collection, args.sets)
    best_known = best_known_travel_times(instances)
    print(
        f"{'instance':34} {'n':>4} {'lateness':>9} {'travel':>9} {'best':>9} {'gap':>7} "
        f"{'feasible':>8} {'descents':>9}"
    )
    feasible = total = 0
    for set_name, folder in folders.items():
        chosen = []
        for file_name in sorted(os.listdir(folder)):
            instance = read_tsptw(os.path.join(folder, file_name))
            if instance.problem.size <= args.max_n:
                chosen.append(instance)
            if len(chosen) == args.per_set:
                break
        for instance in chosen:
            tour = solve_problem(instance.problem, time_limit=args.time_limit, depot=instance.depot)
            report = instance.report(tour)
            best = best_known.get((set_name, instance.name))
            gap = f"{100 * (report.travel_time / best - 1):6.1f}%" if best else "      -"
            total += 1
            feasible += report.feasible
            print(
                f"{set_name + '/' + instance.name:34} {instance.problem.size:4} {tour.lateness:9} "
                f"{report.travel_time:9g} {best if best else '-':>9} {gap} "
                f"{'yes' if report.feasible else 'no':>8} {tour.iterations:9}"
            )
    print(f"feasible in the literature's terms: {feasible} of {total}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
