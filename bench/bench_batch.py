"""Batches: 200 problems (n = 100 with time windows, a fixed max_descents) through `solve_many`
on a local pool of 1 and 2 threads, and on a Dask LocalCluster of 2 single-threaded worker
processes against the local pool of 2 (the executor must not change the tours either).

    python3 bench/bench_batch.py                       # 200 problems, 20 descents each
    python3 bench/bench_batch.py --problems 50 --descents 10
    python3 bench/bench_batch.py --repeat 3                # each run's best of three rounds

Prints the wall time of each run, the speed-up of 2 threads over 1 and the cluster's overhead
over the local pool, once with Dask's default settings and once with its housekeeping slowed down
(QUIET_DASK): on a machine whose every core solves, the event-loop ticks, the workers' sampling
profiler and the memory monitors take their time from the solving. Needs
`pip install "tourwright[dask]"` for the cluster runs.
"""

import argparse
import concurrent.futures as cf
import random
import time

from tourwright_tools import Problem, Tour, solve_many

# Housekeeping that Dask does several times a second in every process by default.
QUIET_DASK = {
    "distributed.admin.tick.interval": "1s",
    "distributed.admin.system-monitor.interval": "5s",
    "distributed.worker.memory.monitor-interval": "1s",
    "distributed.worker.profile.enabled": False,
}

DAY0 = 1_796_601_600  # 2026-12-07T00:00:00Z
HOUR = 3600


def problem(n, seed):
    """A depot open 06:00-22:00 and customers with one or two two-hour windows."""
    rng = random.Random(seed)
    points = [(rng.uniform(0, 30), rng.uniform(0, 30)) for _ in range(n)]
    metres = [
        [int(1000 * ((ax - bx) ** 2 + (ay - by) ** 2) ** 0.5) for bx, by in points]
        for ax, ay in points
    ]
    windows = [[(DAY0 + 6 * HOUR, DAY0 + 22 * HOUR)]]
    for _ in range(1, n):
        opening = DAY0 + rng.randrange(7, 18) * HOUR
        windows.append(
            [(opening, opening + 2 * HOUR)]
            + ([(opening + 3 * HOUR, opening + 5 * HOUR)] if rng.random() < 0.3 else [])
        )
    seconds = [[m // 8 for m in row] for row in metres]  # 8 m/s
    return Problem(metres, seconds, [0] + [300] * (n - 1), windows)


def timed(problems, options, executor):
    start = time.perf_counter()
    results = solve_many(problems, executor=executor, **options)
    elapsed = time.perf_counter() - start
    assert all(isinstance(result, Tour) for result in results), results
    return elapsed, [result.route for result in results]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--problems", type=int, default=200)
    parser.add_argument("--size", type=int, default=100)
    parser.add_argument("--descents", type=int, default=20)
    parser.add_argument(
        "--repeat", type=int, default=1, help="rounds of every run, in turn; the best counts"
    )
    args = parser.parse_args()
    problems = [problem(args.size, seed) for seed in range(args.problems)]
    options = dict(seed=1, max_descents=args.descents)
    print(f"{args.problems} problems of {args.size} locations, max_descents={args.descents}")
    try:
        import dask
        import distributed  # noqa: F401 - the cluster runs need it

        clusters = {"default settings": {}, "quiet housekeeping": QUIET_DASK}
    except ImportError:
        print("Dask: not installed (pip install 'tourwright[dask]')")
        clusters = {}
    # On a shared machine a run is only ever slowed down by others: the runs take turns, round
    # after round, and each keeps its fastest.
    best: dict[str, float] = {}
    reference = None
    for _ in range(args.repeat):
        runs = {}
        with cf.ThreadPoolExecutor(1) as one, cf.ThreadPoolExecutor(2) as two:
            runs["local, 1 thread"] = timed(problems, options, one)
            runs["local, 2 threads"] = timed(problems, options, two)
        for label, settings in clusters.items():
            with dask.config.set(settings):
                runs[f"Dask, {label}"] = timed_on_cluster(problems, options)
        for label, (seconds, routes) in runs.items():
            reference = reference or routes
            assert routes == reference, f"{label}: other tours"
            best[label] = min(best.get(label, seconds), seconds)
    local = best["local, 2 threads"]
    for label, seconds in best.items():
        if label == "local, 2 threads":
            note = f"speed-up {best['local, 1 thread'] / local:.2f}x"
        elif label.startswith("Dask"):
            note = f"overhead over the local pool {100 * (seconds / local - 1):+.1f} %"
        else:
            note = ""
        print(f"{label + ':':30} {seconds:7.2f} s   {note}".rstrip())


def timed_on_cluster(problems, options):
    """The batch on a fresh LocalCluster of 2 single-threaded worker processes."""
    import distributed

    cluster = distributed.LocalCluster(n_workers=2, threads_per_worker=1, dashboard_address=None)
    with cluster, distributed.Client(cluster) as client:
        solve_many(problems[:4], executor=client.get_executor(), **options)  # workers warmed up
        return timed(problems, options, client.get_executor())


if __name__ == "__main__":
    main()
