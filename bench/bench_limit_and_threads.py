"""How well a search keeps to its time limit, and how searches on two threads scale.

    python3 bench/bench_limit_and_threads.py [--sizes 200 1000 2000] [--limits 1 2] [--problems 8]

First, it solves random Euclidean problems (with and without time windows) with
each time limit and reports the overrun, time taken minus time limit, in
milliseconds: the search reads the clock inside sweeps and stops where it is.
With --tools it does so through solve_problem, counting the whole call:

    python3 bench/bench_limit_and_threads.py --tools --sizes 1000 5000 --limits 0.2 1

Second, it solves the same independent problems (one descent each, no limit) on one
thread, then spread over two threads, and reports the speed-up: the interpreter
lock is released while the search runs.

Third, it runs the friendly layer's engine with a time limit on one thread, then on
two, and reports descents per second and their ratio.
"""

import argparse
import pathlib
import sys
import threading
import time

import tourwright
from tourwright_tools import Problem, solve_problem

# The random problems of the tests' own making (tests/python/problems.py).
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "tests" / "python"))
import problems  # noqa: E402

HOUR = 3600


def random_problem(n, seed, windows):
    """The tests' random Euclidean problem, with wider days: windows within 10 hours, travel of a
    second per unit, jobs under 5 minutes, and working hours 06:00-20:00."""
    return problems.random_problem(
        n,
        seed,
        windows,
        opens_within=10 * HOUR,
        seconds_per_unit=1,
        longest_job=300,
        window_length=(HOUR // 2, 2 * HOUR),
        operation_times=(6 * HOUR, 20 * HOUR),
    )


def overruns(sizes, limits, tools):
    """With `tools`, through solve_problem, timed from the call to the returned tour (reading
    the tables, the set-up of the search and the tour included), with the tour's objective."""
    print(
        f"{'n':>5} {'windows':>8} {'limit s':>8} {'overrun ms':>11} {'descents':>9}"
        + (f" {'lateness':>12} {'distance':>10}" if tools else "")
    )
    worst = 0.0
    for n in sizes:
        for windows in (False, True):
            problem = random_problem(n, n, windows)
            checked = Problem(**problem, check_units=False) if tools else None
            for limit in limits:
                if tools:
                    started = time.perf_counter()
                    result = solve_problem(checked, time_limit=limit)
                    overrun = (time.perf_counter() - started - limit) * 1000
                    quality = f" {result.lateness or 0:12} {result.distance:10}"
                else:
                    result = tourwright.solve(**problem, time_limit=limit)
                    overrun = result.time_taken_microseconds / 1000 - limit * 1000
                    quality = ""
                worst = max(worst, overrun)
                print(
                    f"{n:5} {str(windows):>8} {limit:8} {overrun:11.1f} {result.iterations:9}"
                    + quality
                )
    print(f"worst overrun: {worst:.1f} ms")


def solve_all(problems, threads):
    # The threads take the next problem as they come free, so no thread gets only long ones.
    queue = list(reversed(problems))
    lock = threading.Lock()

    def work():
        while True:
            with lock:
                if not queue:
                    return
                problem = queue.pop()
            tourwright.solve(**problem)

    workers = [threading.Thread(target=work) for _ in range(threads)]
    started = time.perf_counter()
    for worker in workers:
        worker.start()
    for worker in workers:
        worker.join()
    return time.perf_counter() - started


def scaling(count):
    problems = [random_problem(150, 1000 + k, windows=True) for k in range(count)]
    one = solve_all(problems, 1)
    two = solve_all(problems, 2)
    print(
        f"{count} problems (n = 150 with windows, one descent each): "
        f"1 thread {one:.2f} s, 2 threads {two:.2f} s, speed-up {one / two:.2f}x"
    )


def engine_threads(limit):
    for n, windows in ((100, False), (100, True)):
        problem = Problem(**random_problem(n, 7 + n, windows), check_units=False)
        rates = []
        for threads in (1, 2):
            tour = solve_problem(problem, time_limit=limit, threads=threads)
            rates.append(tour.iterations / (tour.time_taken_microseconds / 1e6))
        print(
            f"engine, n = {n}, windows {windows}: descents per second 1 thread {rates[0]:.1f}, "
            f"2 threads {rates[1]:.1f}, ratio {rates[1] / rates[0]:.2f}x"
        )


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--sizes", type=int, nargs="+", default=[200, 1000, 2000])
    parser.add_argument("--limits", type=float, nargs="+", default=[1, 2])
    parser.add_argument("--problems", type=int, default=8)
    parser.add_argument("--engine-limit", type=float, default=3.0)
    parser.add_argument(
        "--tools",
        action="store_true",
        help=("the first only, through solve_problem: the overrun of the whole call"),
    )
    args = parser.parse_args(argv)
    overruns(args.sizes, args.limits, args.tools)
    if args.tools:
        return
    scaling(args.problems)
    engine_threads(args.engine_limit)


if __name__ == "__main__":
    main()
