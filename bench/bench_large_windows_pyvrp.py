"""PyVRP on bench_large_windows.py's problems, at the same limits, as a reference opponent.

One vehicle whose shift is the depot's window, every location's window as PyVRP's time window
of the service start (jobs have no length, so it holds the whole job as tourwright's does),
distance = duration = the file's matrix, the cost the distance alone. PyVRP treats windows as
soft while it searches (time warp) and may end with a tour that is late; its tour is timed by
tourwright (`evaluate_route`), so lateness and distance are in tourwright's model, and recorded
in the same results file, where its on-time tours count towards the best known.

    /work/venv-pyvrp/bin/python bench/bench_large_windows_pyvrp.py --sizes 1000 2000 --limits 10

Run it in the benchmark's own environment (PyVRP and tourwright installed; never the tests'). The
data is handed to PyVRP as matrices (`ProblemData`): its `Model` adds edges one by one, which
takes some 10 s at n = 1000.
"""

import argparse
import json
import os
import time

import numpy as np
from bench_large_windows import FOLDER, INSTANCE_SEED, Results, instance_name, problem_file
from dumas_style import DAY0
from pyvrp import Client, Depot, Location, ProblemData, VehicleType, solve
from pyvrp.stop import MaxRuntime
from tourwright_tools import evaluate_route, read_problem


def pyvrp_route(path, limit, seed):
    """PyVRP's route from the depot, its own verdict on time, and the seconds of set-up."""
    started = time.perf_counter()
    with open(path) as file:
        spec = json.load(file)
    matrix = np.array(spec["distance_matrix"], dtype=np.int64)
    windows = [(a - DAY0, b - DAY0) for [[a, b]] in spec["time_windows"]]
    opening, closing = windows[0]
    data = ProblemData(
        locations=[Location(x, y) for x, y in spec["coordinates"]],
        clients=[Client(i, tw_early=a, tw_late=b) for i, (a, b) in enumerate(windows) if i],
        depots=[Depot(0, tw_early=opening, tw_late=closing)],
        vehicle_types=[VehicleType(1, tw_early=opening, tw_late=closing)],
        distance_matrices=[matrix],
        duration_matrices=[matrix],
    )
    set_up = time.perf_counter() - started
    result = solve(data, MaxRuntime(limit), seed=seed, display=False)
    routes = result.best.routes()
    # Clients are numbered from 0 in the order they were given: location = client + 1.
    route = [0] + [a.idx + 1 for a in routes[0] if a.is_client()] if routes else None
    return route, result.best.is_feasible(), set_up


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--sizes", type=int, nargs="+", default=[1000, 2000])
    parser.add_argument("--widths", type=int, nargs="+", default=[100, 5000, 20000])
    parser.add_argument("--limits", type=float, nargs="+", default=[10])
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--instance-seed", type=int, default=INSTANCE_SEED)
    parser.add_argument("--folder", default=FOLDER)
    parser.add_argument("--results", help="the results file (default: FOLDER/results.jsonl)")
    args = parser.parse_args()
    results = Results(args.results or os.path.join(args.folder, "results.jsonl"))
    print(
        f"{'instance':<18} {'limit':>5} {'on time':>7} {'feasible':>8} {'distance':>9} "
        f"{'gap':>8} {'set-up s':>8} {'wall s':>7}"
    )
    for n in args.sizes:
        for width in args.widths:
            path = problem_file(args.folder, n, width, args.instance_seed)
            problem = read_problem(path)
            for limit in args.limits:
                started = time.perf_counter()
                route, feasible, set_up = pyvrp_route(path, limit, args.seed)
                wall = time.perf_counter() - started
                if route is None or sorted(route) != list(range(problem.size)):
                    print(f"{instance_name(n, width, args.instance_seed):<18} {limit:5g} no tour")
                    continue
                tour = evaluate_route(problem, route)
                row = dict(
                    instance=instance_name(n, width, args.instance_seed),
                    solver="pyvrp",
                    limit=limit,
                    seed=args.seed,
                    lateness=tour.lateness,
                    distance=tour.distance,
                    wall=wall,
                )
                results.add(row)
                gap = results.gap(row)
                print(
                    f"{row['instance']:<18} {limit:5g} {'yes' if not tour.lateness else 'no':>7} "
                    f"{'yes' if feasible else 'no':>8} {tour.distance:9} "
                    f"{'-' if gap is None else format(gap, '+.3f') + '%':>8} {set_up:8.2f} "
                    f"{wall:7.2f}",
                    flush=True,
                )


if __name__ == "__main__":
    main()
