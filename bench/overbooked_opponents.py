"""VROOM or PyVRP on one overbooked day: reads its JSON problem file, prints the route as JSON.

    /work/venv-vroom/bin/python bench/overbooked_opponents.py vroom DAY.json --limit 5
    /work/venv-pyvrp/bin/python bench/overbooked_opponents.py pyvrp DAY.json --limit 5 --seed 1

Each runs in its own environment (the library and numpy, never tourwright), one thread, and
prints `{"route": [0, ...], "wall": seconds}`: the order from the depot, the locations left out
absent; bench_overbooked.py times the order with tourwright. Both get the day as the same
model: one vehicle out of the depot and back within the depot's window, travel seconds as the
cost, each window of a location as a window on the start of its job that lets the whole job end
within it (start at most the window's end less the job), so that their feasible tours are on
time for tourwright too.

VROOM keeps every window hard and leaves out what does not fit; it first maximises the sum of
the priorities (0 to 100) of the jobs it serves, then their number, then lowers the cost. A sum
cannot express "one stop of a higher class outweighs any number of a lower one" throughout, so
the classes are spread over its range by factors of ten, the lowest at 0: promised customers
100, class 3 10, class 2 1, class 1 0. One promised customer then outweighs ten stops of class
3, one of class 3 ten of class 2, and one of class 2 any number of class 1 (which count only
through the number served).

PyVRP leaves out clients that are not required when their prize does not pay for the detour;
its documentation asks for prizes "sufficiently large to offset any travel cost" of a client.
So a stop of class 1 is worth its job's seconds plus W1 = twice the longest leg plus the longest
job (more than any detour to it, and more than any difference in job time, so that a stop more
counts before a longer job), and each class above is worth one more than all of the class below
together: W(c+1) = (stops of class c + 1) x (W(c) + the longest job). Promised customers are
required clients. A location with several windows is a mutually exclusive group of clients,
one per window, the group required for a promised customer. PyVRP treats windows as soft while
it searches (time warp) and may end late.
"""

import argparse
import datetime as dt
import json
import sys
import time

DAY0 = 1_796_601_600  # the generator's midnight: times are handed over as seconds of the day
VROOM_PRIORITY = {None: 100, 3: 10, 2: 1, 1: 0}


def read_day(path):
    """The day's matrix of travel seconds, jobs, start windows (seconds of the day) and classes."""
    with open(path) as file:
        spec = json.load(file)
    jobs = spec["job_durations"]
    starts = [
        [(a - DAY0, b - DAY0 - job) for a, b in windows if b - job >= a]
        for windows, job in zip(spec["time_windows"], jobs)
    ]
    return spec["duration_matrix"], jobs, starts, spec["priority"]


def vroom_route(path, limit, seed):
    import numpy as np
    import vroom

    del seed  # VROOM's search is deterministic
    seconds, jobs, starts, priority = read_day(path)
    problem = vroom.Input()
    problem.set_durations_matrix(profile="car", matrix_input=np.array(seconds, dtype=np.uint32))
    (opening, closing), *_ = starts[0]
    window = vroom.TimeWindow(opening, closing)
    problem.add_vehicle(vroom.Vehicle(0, start=0, end=0, time_window=window))
    problem.add_job(
        [
            vroom.Job(
                k,
                location=k,
                default_service=jobs[k],
                time_windows=[vroom.TimeWindow(a, b) for a, b in starts[k]],
                priority=VROOM_PRIORITY[priority[k]],
            )
            for k in range(1, len(jobs))
        ]
    )
    solution = problem.solve(
        exploration_level=5, nb_threads=1, timeout=dt.timedelta(seconds=limit)
    ).to_dict()
    steps = solution["routes"][0]["steps"] if solution["routes"] else []
    return [0] + [step["location_index"] for step in steps if step["type"] == "job"]


def pyvrp_prizes(seconds, jobs, priority):
    longest_job = max(jobs)
    worth = {1: 2 * max(map(max, seconds)) + longest_job}
    for cls in (2, 3):
        below = priority.count(cls - 1)
        worth[cls] = (below + 1) * (worth[cls - 1] + longest_job)
    return [0 if p is None else worth[p] + job for p, job in zip(priority, jobs)]


def pyvrp_route(path, limit, seed):
    import numpy as np
    from pyvrp import Client, ClientGroup, Depot, Location, ProblemData, VehicleType, solve
    from pyvrp.stop import MaxRuntime

    seconds, jobs, starts, priority = read_day(path)
    prizes = pyvrp_prizes(seconds, jobs, priority)
    (opening, closing), *_ = starts[0]
    clients, groups, located = [], [], []
    for k in range(1, len(jobs)):
        required = priority[k] is None
        alone = len(starts[k]) == 1
        if not alone:
            first = len(clients)
            groups.append(ClientGroup(list(range(first, first + len(starts[k]))), required))
        for a, b in starts[k]:
            clients.append(
                Client(
                    k,
                    service_duration=jobs[k],
                    tw_early=a,
                    tw_late=b,
                    prize=prizes[k],
                    required=required and alone,
                    group=None if alone else len(groups) - 1,
                )
            )
            located.append(k)
    matrix = np.array(seconds, dtype=np.int64)
    data = ProblemData(
        locations=[Location(0, 0) for _ in jobs],
        clients=clients,
        depots=[Depot(0, tw_early=opening, tw_late=closing)],
        vehicle_types=[VehicleType(1, tw_early=opening, tw_late=closing)],
        distance_matrices=[matrix],  # travel seconds as the cost
        duration_matrices=[matrix],
        groups=groups,
    )
    result = solve(data, MaxRuntime(limit), seed=seed, display=False)
    routes = result.best.routes()
    return [0] + [located[a.idx] for a in routes[0] if a.is_client()] if routes else [0]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("solver", choices=("vroom", "pyvrp"))
    parser.add_argument("path", help="the day's JSON problem file")
    parser.add_argument("--limit", type=float, default=1, help="seconds of search")
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    route_of = vroom_route if args.solver == "vroom" else pyvrp_route
    started = time.perf_counter()
    route = route_of(args.path, args.limit, args.seed)
    json.dump({"route": route, "wall": time.perf_counter() - started}, sys.stdout)


if __name__ == "__main__":
    main()
