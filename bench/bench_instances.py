"""Solution quality on public TSPTW benchmark problems.

Solves instances from the shared benchmark collection with a time limit and
reports the tour's lateness and travel time in this library's model, next to the
best-known travel time, and judges the tour rotated to its depot by the
literature's rules (start at the depot, wait when early, a violation when late).
The two models differ: here no location is pinned to the front, and a tour
starts when the first window of its first location opens, so a tour may be
on time here and late once rotated to the depot, and its travel time may lie
below the depot-anchored best-known value.

    python3 bench/bench_instances.py --sets Dumas --max-n 60 --per-set 10 --time-limit 2

Travel times are the distances; service times are folded into them as the
collection's matrix format does, so job durations are zero.
"""
import argparse
import os
import sys
import time

import tourwright

HERE = os.path.dirname(os.path.abspath(__file__))
SHARED_BENCH = os.path.normpath(os.path.join(HERE, "..", "..", "shared", "bench"))


def load_reader():
    sys.path.insert(0, SHARED_BENCH)
    import read_instances  # noqa: E402  (lives beside the shared data)

    return read_instances


def solve(instance, time_limit):
    n = instance.n
    windows = [[(ready, due)] for ready, due in instance.windows]
    started = time.perf_counter()
    result = tourwright.solve(instance.dist, instance.dist, [0] * n, windows, time_limit=time_limit)
    elapsed = time.perf_counter() - started
    route = result.route
    depot = route.index(0)
    return route[depot:] + route[:depot], result, elapsed


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--sets", nargs="+", default=["Dumas", "GendreauDumasExtended", "AFG"])
    parser.add_argument("--max-n", type=int, default=60)
    parser.add_argument("--per-set", type=int, default=8)
    parser.add_argument("--time-limit", type=int, default=1)
    args = parser.parse_args(argv)

    reader = load_reader()
    root = reader.default_root()
    print(f"{'instance':34} {'n':>4} {'lateness':>9} {'travel':>8} {'best':>8} {'gap':>7} "
          f"{'depot-late':>10} {'descents':>9}")
    on_time = feasible = total = 0
    for set_name in args.sets:
        folder = os.path.join(root, "lopez-ibanez", set_name)
        paths = sorted(reader.iter_instance_files([folder]))
        chosen = [p for p in paths if reader.read_instance(p).n <= args.max_n][: args.per_set]
        for path in chosen:
            instance = reader.read_instance(path)
            route, result, _ = solve(instance, args.time_limit)
            judged = reader.evaluate(instance, route)
            best = instance.bks.get("traveltime", {}).get("value")
            best = round(best * instance.scale) if best else None
            travel = result.traveling_time
            gap = f"{100 * (travel / best - 1):6.1f}%" if best else "      -"
            total += 1
            on_time += result.lateness == 0
            feasible += judged["violations"] == 0
            print(f"{set_name + '/' + instance.name:34} {instance.n:4} {result.lateness:9} {travel:8} "
                  f"{best if best else '-':>8} {gap} {judged['violations']:10} {result.iterations:9}")
    print(f"on time: {on_time} of {total}; on time once rotated to the depot: {feasible} of {total}")


if __name__ == "__main__":
    main()
