"""tourwright against other solvers, side by side in one run, one thread each.

With time windows: one instance per group of the public TSPTW collection (a group is the
instance name without its trailing instance number: Dumas n20w20.001..005 are one group, so are
Langevin N20ft301..310), customers relabelled by a seeded permutation so that the file order
gives no hint. Every solver gets the same budget; every tour is mapped back and judged by the
literature's rules (`ClassicInstance.report`): on time, and the gap of its travel time over the
best-known value.

    python3 bench/bench_peers.py --budget 1 --max-n 101
    python3 bench/bench_peers.py --budget 10 --min-n 150 --max-n 251
    python3 bench/bench_peers.py --euclidean --budgets 10 30 --sizes 1000 2000 5000

Without windows (`--euclidean`): seeded random points (default n = 200, 500, 1000), each solver
at each budget (LKH, which has no time limit, makes one run of its own length once), tour lengths
and the gap to the shortest tour any solver found on that problem.

The peers (pyvrp, ortools, elkai, fast-tsp) are imported when used; one that is not installed
is skipped with a note. They belong in the benchmark's own environment, never in the tests'.
"""

import argparse
import math
import os
import random
import re
import statistics
import sys
import time
import types

from bench_instances import (
    COORDINATE_SETS,
    DEFAULT_COLLECTION,
    best_known_travel_times,
    set_folders,
)
from tourwright_tools import Problem, read_tsptw, solve_problem

SETS = (
    "AFG",
    "Dumas",
    "GendreauDumasExtended",
    "Langevin",
    "SolomonPesant",
    "SolomonPotvinBengio",
    "OhlmannThomas",
)
EUCLIDEAN_SIZES = (200, 500, 1000)
UNTIMED = {"elkai"}  # solvers without a time limit: run once per problem
# The trailing instance number: ".001", or the two digits after Langevin's "ftK" (N20ft301..310).
INSTANCE_NUMBER = re.compile(r"(\.\d+|(?<=ft\d)\d\d)$")


def chosen_instances(folder, min_n, max_n):
    """The first instance (in name order) of each group whose size is within [min_n, max_n]."""
    first_of_group = {}
    for file_name in sorted(os.listdir(folder)):
        instance = read_tsptw(os.path.join(folder, file_name))
        group = INSTANCE_NUMBER.sub("", instance.name)
        if group not in first_of_group:
            first_of_group[group] = instance
    return [
        instance for instance in first_of_group.values() if min_n <= instance.problem.size <= max_n
    ]


def relabelled(instance, rng):
    """(matrix, windows, labels): the customers in a random order, the depot kept at 0;
    labels[new] is the location's number in the file."""
    labels = [0] + rng.sample(range(1, instance.problem.size), instance.problem.size - 1)
    matrix = instance.problem.distance_matrix
    return (
        [[matrix[a][b] for b in labels] for a in labels],
        [instance.windows[a] for a in labels],
        labels,
    )


# Each solver takes (matrix, windows or None, budget in seconds) and returns a closed route
# (a list of locations, any rotation) or None when it found no tour.


def tourwright_solver(strategy):
    def solve(matrix, windows, budget):
        if windows is None:
            # Seeded: with the same seed a longer budget never returns a longer tour.
            problem = Problem(matrix)
            tour = solve_problem(problem, time_limit=budget, threads=1, strategy=strategy, seed=1)
            return list(tour.route)
        problem = Problem(
            matrix, matrix, [0] * len(matrix), [[window] for window in windows], check_units=False
        )
        tour = solve_problem(problem, time_limit=budget, depot=0, threads=1, strategy=strategy)
        return list(tour.route)

    return solve


def pyvrp_solver(matrix, windows, budget):
    from pyvrp import Model
    from pyvrp.stop import MaxRuntime

    model = Model()
    locations = [model.add_location(0, 0) for _ in matrix]
    opening, closing = windows[0]
    model.add_depot(locations[0], tw_early=opening, tw_late=closing)
    for location, (ready, due) in zip(locations[1:], windows[1:]):
        model.add_client(location, tw_early=ready, tw_late=due)
    model.add_vehicle_type(1, tw_early=opening, tw_late=closing)
    for i, row in enumerate(matrix):
        for j, length in enumerate(row):
            if i != j:
                model.add_edge(locations[i], locations[j], distance=length, duration=length)
    result = model.solve(MaxRuntime(budget), seed=1, display=False)
    routes = result.best.routes()
    if not routes:
        return None
    # Clients are numbered from 0 in the order they were added: location = client + 1.
    return [0] + [activity.idx + 1 for activity in routes[0] if activity.is_client()]


# OR-Tools' price of one unit of lateness, against one unit of travel.
LATENESS_PRICE = 1000


def ortools_solver(matrix, windows, budget):
    from ortools.constraint_solver import pywrapcp, routing_enums_pb2

    manager = pywrapcp.RoutingIndexManager(len(matrix), 1, 0)
    routing = pywrapcp.RoutingModel(manager)

    def travel(from_index, to_index):
        return matrix[manager.IndexToNode(from_index)][manager.IndexToNode(to_index)]

    callback = routing.RegisterTransitCallback(travel)
    routing.SetArcCostEvaluatorOfAllVehicles(callback)
    horizon = max(due for _, due in windows)
    routing.AddDimension(callback, horizon, 2 * horizon, False, "time")  # slack = waiting
    clock = routing.GetDimensionOrDie("time")
    # Due times as hard cumul ranges leave OR-Tools without any first tour on most of these
    # instances, so a late arrival is allowed at a steep price per unit; the judge decides.
    for node, (ready, due) in enumerate(windows):
        if node:
            index = manager.NodeToIndex(node)
            clock.CumulVar(index).SetMin(ready)
            clock.SetCumulVarSoftUpperBound(index, due, LATENESS_PRICE)
    clock.CumulVar(routing.Start(0)).SetValue(windows[0][0])
    clock.SetCumulVarSoftUpperBound(routing.End(0), windows[0][1], LATENESS_PRICE)
    parameters = pywrapcp.DefaultRoutingSearchParameters()
    parameters.first_solution_strategy = routing_enums_pb2.FirstSolutionStrategy.PATH_CHEAPEST_ARC
    parameters.local_search_metaheuristic = (
        routing_enums_pb2.LocalSearchMetaheuristic.GUIDED_LOCAL_SEARCH
    )
    parameters.time_limit.FromMilliseconds(int(budget * 1000))
    solution = routing.SolveWithParameters(parameters)
    if solution is None:
        return None
    route, index = [], routing.Start(0)
    while not routing.IsEnd(index):
        route.append(manager.IndexToNode(index))
        index = solution.Value(routing.NextVar(index))
    return route


def elkai_solver(matrix, windows, budget):
    import elkai

    # One run, as LKH is usually run; it repeats the start at the end.
    return elkai.DistanceMatrix(matrix).solve_tsp(runs=1)[:-1]


def fast_tsp_solver(matrix, windows, budget):
    import fast_tsp

    return list(fast_tsp.find_tour(matrix, duration_seconds=budget))


WINDOW_SOLVERS = {
    "tw-iterated": (tourwright_solver("iterated"), None),
    "tw-multistart": (tourwright_solver("multistart"), None),
    "pyvrp": (pyvrp_solver, "pyvrp"),
    "ortools": (ortools_solver, "ortools"),
}
EUCLIDEAN_SOLVERS = {
    "tw-iterated": (tourwright_solver("iterated"), None),
    "tw-multistart": (tourwright_solver("multistart"), None),
    "elkai": (elkai_solver, "elkai"),
    "fast-tsp": (fast_tsp_solver, "fast_tsp"),
}


def available(solvers, chosen=None):
    """The solvers (of `chosen`, when given) whose module is installed; a note for each one
    that is not."""
    usable = {}
    for name, (solve, module) in solvers.items():
        if chosen and name not in chosen:
            continue
        if module is not None:
            try:
                __import__(module)
            except ImportError:
                print(f"skipping {name}: the module {module!r} is not installed", file=sys.stderr)
                continue
        usable[name] = solve
    return usable


def timed(solve, matrix, windows, budget):
    start = time.perf_counter()
    route = solve(matrix, windows, budget)
    return route, time.perf_counter() - start


def windows_benchmark(args, parser):
    instances, folders = set_folders(parser, args.collection, args.sets)
    best_known = best_known_travel_times(instances)
    solvers = available(WINDOW_SOLVERS, args.solvers)
    rng = random.Random(args.seed)
    # results[set][solver] = [(on time, gap % or None, seconds)]
    results = {name: {solver: [] for solver in solvers} for name in folders}
    if args.verbose:
        print(
            f"{'instance':36} {'n':>4} {'best':>9} " + " ".join(f"{name:>22}" for name in solvers)
        )
    for set_name, folder in folders.items():
        for instance in chosen_instances(folder, args.min_n, args.max_n):
            matrix, windows, labels = relabelled(instance, rng)
            best = best_known.get((set_name, instance.name))
            cells = []
            for name, solve in solvers.items():
                route, seconds = timed(solve, matrix, windows, args.budget)
                if route is None or sorted(route) != list(range(len(matrix))):
                    results[set_name][name].append((False, None, seconds))
                    cells.append(f"{'no tour':>15} {seconds:5.1f}s")
                    continue
                report = instance.report(
                    types.SimpleNamespace(route=tuple(labels[i] for i in route))
                )
                gap = 100 * (report.travel_time / best - 1) if best else None
                results[set_name][name].append((report.feasible, gap, seconds))
                shown = f"{report.travel_time:g}{'' if report.feasible else ' late'}"
                cells.append(f"{shown:>15} {seconds:5.1f}s")
            if args.verbose:
                print(
                    f"{set_name + '/' + instance.name:36} {len(matrix):4} {best if best else '-':>9} "
                    + " ".join(f"{cell:>22}" for cell in cells),
                    flush=True,
                )
    print(
        f"\nbudget {args.budget:g} s, {args.min_n} <= n <= {args.max_n}, seed {args.seed}; "
        "on time = by the literature's rules; gap over the best-known travel time, "
        "over the instances that solver had on time"
    )
    print(
        f"{'set':22} {'solver':14} {'on time':>9} {'mean gap':>9} {'worst gap':>9} {'mean time':>9}"
    )
    everything = {solver: [] for solver in solvers}
    for set_name, by_solver in results.items():
        for solver, rows in by_solver.items():
            everything[solver].extend(rows)
            if rows:
                print(summary_line(set_name, solver, rows))
    for solver, rows in everything.items():
        print(summary_line("all sets", solver, rows))


def summary_line(label, solver, rows):
    on_time = [row for row in rows if row[0]]
    gaps = [gap for feasible, gap, _ in on_time if gap is not None]
    mean_gap = f"{statistics.fmean(gaps):+8.2f}%" if gaps else f"{'-':>9}"
    worst_gap = f"{max(gaps):+8.2f}%" if gaps else f"{'-':>9}"
    mean_time = statistics.fmean(seconds for _, _, seconds in rows) if rows else 0.0
    return (
        f"{label:22} {solver:14} {f'{len(on_time)}/{len(rows)}':>9} {mean_gap} {worst_gap} "
        f"{mean_time:8.2f}s"
    )


def euclidean_matrix(n, rng):
    """Rounded distances between n points drawn uniformly in a square of side 40000 (fast-tsp takes
    distances below 2^16)."""
    points = [(rng.uniform(0, 40000), rng.uniform(0, 40000)) for _ in range(n)]
    return [[round(math.dist(a, b)) for b in points] for a in points]


def tour_length(matrix, route):
    return sum(matrix[a][b] for a, b in zip(route, route[1:] + route[:1]))


def euclidean_benchmark(args):
    solvers = available(EUCLIDEAN_SOLVERS, args.solvers)
    rng = random.Random(args.seed)
    budgets = args.budgets or [args.budget]
    print(
        f"random Euclidean, no windows, budgets {budgets} s (elkai: one LKH run, no time limit), "
        f"seed {args.seed}; gap to the shortest tour any solver found on the problem"
    )
    print(f"{'n':>5} {'solver':14} {'budget':>6} {'length':>12} {'gap':>8} {'time':>7}")
    for n in args.sizes:
        matrix = euclidean_matrix(n, rng)
        found = {}
        for name, solve in solvers.items():
            if name in UNTIMED and n > args.untimed_max_n:
                continue
            for budget in [budgets[0]] if name in UNTIMED else budgets:
                route, seconds = timed(solve, matrix, None, budget)
                if sorted(route) != list(range(n)):
                    raise SystemExit(f"bench_peers: {name} returned no tour through all {n} points")
                found[name, "-" if name in UNTIMED else budget] = (
                    tour_length(matrix, route),
                    seconds,
                )
        shortest = min(length for length, _ in found.values())
        for (name, budget), (length, seconds) in found.items():
            print(
                f"{n:5} {name:14} {budget:>6} {length:12} {100 * (length / shortest - 1):+7.2f}% "
                f"{seconds:6.1f}s",
                flush=True,
            )


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument(
        "--collection",
        default=DEFAULT_COLLECTION,
        help="folder of the public TSPTW collection (default: %(default)s)",
    )
    parser.add_argument(
        "--sets", nargs="+", default=list(SETS), choices=SETS + COORDINATE_SETS, metavar="SET"
    )
    parser.add_argument("--min-n", type=int, default=0, help="fewest locations, the depot included")
    parser.add_argument("--max-n", type=int, default=101, help="most locations, the depot included")
    parser.add_argument("--budget", type=float, default=1.0, help="seconds per solver and problem")
    parser.add_argument("--seed", type=int, default=1, help="seeds the relabelling and the points")
    parser.add_argument(
        "--euclidean",
        action="store_true",
        help="random Euclidean problems without windows instead of the collection",
    )
    parser.add_argument(
        "--sizes",
        type=int,
        nargs="+",
        default=list(EUCLIDEAN_SIZES),
        help="with --euclidean: the problem sizes",
    )
    parser.add_argument(
        "--budgets",
        type=float,
        nargs="+",
        help="with --euclidean: several budgets in one run (default: --budget)",
    )
    parser.add_argument(
        "--solvers",
        nargs="+",
        metavar="SOLVER",
        help=f"only these (of {', '.join(WINDOW_SOLVERS)}; with --euclidean, of "
        f"{', '.join(EUCLIDEAN_SOLVERS)})",
    )
    parser.add_argument(
        "--untimed-max-n",
        type=int,
        default=10**9,
        help="with --euclidean: run LKH (no time limit) only up to this size",
    )
    parser.add_argument("--verbose", action="store_true", help="also print a line per instance")
    args = parser.parse_args(argv)
    if args.euclidean:
        euclidean_benchmark(args)
    else:
        windows_benchmark(args, parser)
    return 0


if __name__ == "__main__":
    sys.exit(main())
