"""Overbooked days: tourwright, VROOM with priorities and PyVRP with prizes at the same limits.

On days of bench/overbooked_days.py (more work than hours; promised customers required, the
other stops optional in classes 3, 2 and 1), each solver gets the same time limit and one
thread: tourwright through `solve_problem` in this process, VROOM and PyVRP in their own
environments through bench/overbooked_opponents.py (which tells how the classes are mapped to
their priorities and prizes). Every order is then timed by tourwright (`evaluate_route` from
the depot), so all figures are in one model: promised customers missed (left out; an opponent
may drop one, and its order is then timed with them optional), lateness of the served stops,
stops and job time served per class, travel time, and the wall time of the search (tourwright's
engine; the opponents' solve, their set-up included). "vs tw" compares each tour with tourwright's
at the same limit by tourwright's objective (promised missed, lateness, what is left out class
by class from the highest, then travel time ...): better, equal or worse.

    python3 bench/bench_overbooked.py --sizes 30 50 100 200 --seeds 101 102 103 --limits 1 5
    python3 bench/bench_overbooked.py --exhaustive 50

`--exhaustive K` instead solves K small days (4 to 7 stops and the depot, a five-hour day) with
the default search and compares the tour with every order of every set of stops that holds the
promised customers, timed by `evaluate_route`: tourwright's tour must be as good as the best.

VROOM from `python3 -m venv /work/venv-vroom && /work/venv-vroom/bin/pip install pyvroom numpy`,
PyVRP from `/work/venv-pyvrp` (see docs/benchmarks.md); neither is needed by the tests.
"""

import argparse
import itertools
import json
import os
import subprocess
import sys
import tempfile
from dataclasses import replace

from overbooked_days import CLASSES, overbooked_day
from tourwright_tools import evaluate_route, solve_problem

OPPONENTS = {"vroom": "/work/venv-vroom/bin/python", "pyvrp": "/work/venv-pyvrp/bin/python"}
HERE = os.path.dirname(os.path.abspath(__file__))
SMALL_DAY = (8 * 3600, 13 * 3600)


def opponent_route(solver, path, limit, seed):
    argv = [OPPONENTS[solver], os.path.join(HERE, "overbooked_opponents.py"), solver, path]
    done = subprocess.run(
        argv + ["--limit", str(limit), "--seed", str(seed)], capture_output=True, text=True
    )
    if done.returncode:
        raise RuntimeError(f"{' '.join(argv)}: exit status {done.returncode}: {done.stderr}")
    answer = json.loads(done.stdout)
    return answer["route"], answer["wall"]


def timed(day, route):
    """tourwright's timing of `route`, and the promised customers it leaves out (made optional
    of a class below the others, so that the order can be timed at all)."""
    served = set(route)
    missed = [k for k in range(day.size) if day.required[k] and k not in served]
    if missed:
        lowest = min(CLASSES) - 1
        day = replace(
            day,
            required=[r and k not in missed for k, r in enumerate(day.required)],
            priority=[lowest if k in missed else p for k, p in enumerate(day.priority)],
        )
    return evaluate_route(day.problem(), route), missed


def objective(day, tour, missed):
    """tourwright's order of tours, with a promised customer missed worse than anything."""
    served = set(tour.route)
    left_out = tuple(
        (
            sum(1 for k in range(day.size) if day.priority[k] == cls and k not in served),
            sum(day.jobs[k] for k in range(day.size) if day.priority[k] == cls and k not in served),
        )
        for cls in CLASSES
    )
    return (
        len(missed),
        tour.lateness,
        left_out,
        tour.traveling_time,
        tour.duration,
        tour.waiting_time,
        tour.distance,
    )


def served_by_class(day, route):
    """Stops and job seconds served, promised customers first (key None), then each class."""
    return {
        cls: (
            sum(1 for k in route[1:] if day.priority[k] == cls),
            sum(day.jobs[k] for k in route[1:] if day.priority[k] == cls),
        )
        for cls in (None, *CLASSES)
    }


def offered_by_class(day):
    return served_by_class(day, range(day.size))


def run(day, solver, limit, seed, path):
    if solver == "tourwright":
        tour = solve_problem(day.problem(), time_limit=limit, seed=seed, threads=1)
        route, wall = list(tour.route), tour.time_taken_microseconds / 1e6
    else:
        route, wall = opponent_route(solver, path, limit, seed)
    tour, missed = timed(day, route)
    return dict(
        route=route,
        missed=len(missed),
        lateness=tour.lateness,
        served=served_by_class(day, route),
        travel=tour.traveling_time,
        wall=wall,
        key=objective(day, tour, missed),
    )


def cell(stops_and_seconds):
    stops, seconds = stops_and_seconds
    return f"{stops} / {seconds / 3600:.1f} h"


HEADER = (
    "| day | limit | solver | promised missed | late [s] | class 3 | class 2 | class 1 "
    "| travel [h] | wall [s] | vs tw |\n|---|---:|---|---:|---:|---|---|---|---:|---:|---|"
)


def row(name, limit, solver, result, verdict):
    served = result["served"]
    return (
        f"| {name} | {limit:g} s | {solver} | {result['missed']} | {result['lateness']} | "
        + " | ".join(cell(served[cls]) for cls in CLASSES)
        + f" | {result['travel'] / 3600:.2f} | {result['wall']:.2f} | {verdict} |"
    )


def verdict(result, reference):
    if result is reference:
        return "-"
    if result["key"] == reference["key"]:
        return "equal"
    return "better" if result["key"] < reference["key"] else "worse"


def compare(args):
    solvers = ["tourwright", *args.opponents]
    days = {
        (stops, seed): overbooked_day(stops, seed) for stops in args.sizes for seed in args.seeds
    }
    totals = {}
    print(HEADER, flush=True)
    with tempfile.TemporaryDirectory() as folder:
        for (stops, seed), day in days.items():
            name = f"{stops} stops, seed {seed}"
            path = os.path.join(folder, f"s{stops}-{seed}.json")
            with open(path, "w") as file:
                file.write(day.json_text())
            offered = offered_by_class(day)
            print(
                f"| {name} | | offered | ({offered[None][0]} promised) | | "
                + " | ".join(cell(offered[cls]) for cls in CLASSES)
                + " | | | |"
            )
            for limit in args.limits:
                results = {s: run(day, s, limit, args.seed, path) for s in solvers}
                for solver, result in results.items():
                    mark = verdict(result, results["tourwright"])
                    print(row(name, limit, solver, result, mark), flush=True)
                    add_to_totals(totals, (limit, solver), result, mark)
    print("\nIn sum over the days:\n")
    print(HEADER.replace("| day ", "| days ").replace("| vs tw |", "| vs tw: better/equal/worse |"))
    for (limit, solver), total in totals.items():
        marks = total.pop("marks")
        counts = (
            "-"
            if solver == "tourwright"
            else "/".join(str(marks.count(m)) for m in ("better", "equal", "worse"))
        )
        print(row(len(days), limit, solver, total, counts))


def add_to_totals(totals, key, result, mark):
    total = totals.setdefault(
        key,
        dict(missed=0, lateness=0, travel=0, wall=0.0, marks=[], served={}),
    )
    for field in ("missed", "lateness", "travel", "wall"):
        total[field] += result[field]
    total["marks"].append(mark)
    for cls, (stops, seconds) in result["served"].items():
        before = total["served"].get(cls, (0, 0))
        total["served"][cls] = (before[0] + stops, before[1] + seconds)


def best_by_enumeration(day):
    """The best key and route over every order of every set of stops that holds the promised
    customers, and the number of orders timed."""
    problem = day.problem()
    promised = [k for k in range(1, day.size) if day.required[k]]
    optional = [k for k in range(1, day.size) if not day.required[k]]
    best, timed_orders = None, 0
    for count in range(len(optional) + 1):
        for chosen in itertools.combinations(optional, count):
            for order in itertools.permutations(promised + list(chosen)):
                tour = evaluate_route(problem, [0, *order])
                key = objective(day, tour, [])
                timed_orders += 1
                if best is None or key < best[0]:
                    best = (key, [0, *order])
    return (*best, timed_orders)


def exhaustive(args):
    worse = leaving_out = orders = 0
    for seed in range(1, args.exhaustive + 1):
        day = overbooked_day(4 + seed % 4, seed, hours=SMALL_DAY)
        tour, _ = timed(day, list(solve_problem(day.problem()).route))
        key = objective(day, tour, [])
        best_key, best_route, timed_orders = best_by_enumeration(day)
        orders += timed_orders
        leaving_out += len(best_route) < day.size
        if key > best_key:
            worse += 1
            print(
                f"seed {seed} ({day.size - 1} stops): tourwright {list(tour.route)} {key}, "
                f"best {best_route} {best_key}"
            )
    print(
        f"{args.exhaustive} small days ({leaving_out} whose best tour leaves stops out, "
        f"{orders} orders timed): tourwright's tour worse than the best on {worse}"
    )
    return worse


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--sizes", type=int, nargs="+", default=[30, 50, 100, 200])
    parser.add_argument("--seeds", type=int, nargs="+", default=[101, 102, 103])
    parser.add_argument("--limits", type=float, nargs="+", default=[1, 5])
    parser.add_argument("--seed", type=int, default=1, help="of the searches")
    parser.add_argument("--opponents", nargs="*", default=list(OPPONENTS), choices=list(OPPONENTS))
    parser.add_argument("--exhaustive", type=int, metavar="K", help="check K small days instead")
    args = parser.parse_args()
    if args.exhaustive:
        sys.exit(1 if exhaustive(args) else 0)
    compare(args)


if __name__ == "__main__":
    main()
