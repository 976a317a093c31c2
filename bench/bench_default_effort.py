"""The default search (no time limit, no count of descents): whether it finds an on-time tour
where one exists, how near the best-known tours it ends and how long it takes.

On the public TSPTW collection every instance with a best-known value has an on-time tour; on
the realistic days of realistic_days.py one is planted. Each problem is solved once with
`solve_problem`'s defaults (location 0 as the depot) on one thread.

    python3 bench/bench_default_effort.py                       # every set and 30-200 stops
    python3 bench/bench_default_effort.py --sets Dumas --days 0  # one set, no generated days
"""

import argparse
import os
import sys
import time

from bench_instances import (
    COORDINATE_SETS,
    DEFAULT_COLLECTION,
    best_known_travel_times,
    set_folders,
)
from realistic_days import realistic_day
from tourwright_tools import read_tsptw, solve_problem

SETS = (
    "Dumas",
    "GendreauDumasExtended",
    "OhlmannThomas",
    "AFG",
    "SolomonPotvinBengio",
    "SolomonPesant",
    "Langevin",
    *COORDINATE_SETS,
)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--collection", default=DEFAULT_COLLECTION)
    parser.add_argument("--sets", nargs="*", default=list(SETS))
    parser.add_argument("--days", type=int, default=5, help="realistic days per size (seeds)")
    parser.add_argument("--sizes", type=int, nargs="*", default=[30, 60, 100, 150, 200])
    parser.add_argument("--verbose", action="store_true", help="a line per problem")
    args = parser.parse_args(argv)

    instances, folders = set_folders(parser, args.collection, args.sets)
    best_known = best_known_travel_times(instances)
    print(
        f"{'set':24} {'problems':>8} {'on time':>8} {'of known':>8} {'mean gap':>9} "
        f"{'max s':>6} {'mean s':>7}"
    )
    for set_name, folder in folders.items():
        rows = []
        for file_name in sorted(os.listdir(folder)):
            path = os.path.join(folder, file_name)
            if not os.path.isfile(path) or file_name.endswith((".md", ".csv")):
                continue
            instance = read_tsptw(path)
            began = time.perf_counter()
            tour = solve_problem(instance.problem, depot=instance.depot)
            seconds = time.perf_counter() - began
            best = best_known.get((set_name, instance.name))
            gap = None
            if best and tour.lateness == 0:
                gap = instance.report(tour).travel_time / best - 1
            rows.append((instance.name, instance.problem.size, tour.lateness, best, gap, seconds))
            if args.verbose:
                print(
                    f"  {instance.name:30} n={instance.problem.size:4} lateness={tour.lateness} "
                    f"gap={'-' if gap is None else f'{100 * gap:.2f}%'} {seconds:.2f} s"
                )
        _line(set_name, rows)
    for stops in args.sizes if args.days else ():
        rows = []
        for seed in range(args.days):
            problem = realistic_day(stops, seed)
            began = time.perf_counter()
            tour = solve_problem(problem)
            seconds = time.perf_counter() - began
            rows.append((f"seed {seed}", problem.size, tour.lateness, 0, None, seconds))
            if args.verbose:
                print(
                    f"  day of {stops} stops, seed {seed}: lateness={tour.lateness} {seconds:.2f} s"
                )
        _line(f"days of {stops} stops", rows)
    return 0


def _line(name, rows):
    if not rows:
        return
    known = [row for row in rows if row[3] is not None]
    on_time = sum(row[2] == 0 for row in known)
    gaps = [row[4] for row in known if row[4] is not None]
    mean_gap = f"{100 * sum(gaps) / len(gaps):8.2f}%" if gaps else "        -"
    seconds = [row[5] for row in rows]
    print(
        f"{name:24} {len(rows):8} {on_time:8} {len(known):8} {mean_gap} "
        f"{max(seconds):6.2f} {sum(seconds) / len(seconds):7.2f}",
        flush=True,
    )
    for row in known:
        if row[2] != 0:
            print(f"  late: {row[0]} (n = {row[1]}), lateness {row[2]}", flush=True)


if __name__ == "__main__":
    sys.exit(main())
