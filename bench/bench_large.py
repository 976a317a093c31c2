"""Large inputs: peak memory of a solve with a time limit, and conversion speed.

Each case runs in a fresh interpreter. Memory is the process's resident set: before
the call (interpreter, module and the Python input) and its peak during the call,
reset just before it (Linux /proc/self/clear_refs). What the call adds should stay
near the native copy of the tables (8 bytes per entry) plus O(n).

    python3 bench/bench_large.py                  # every case, time limit 2 s
    python3 bench/bench_large.py --time-limit 5 --cases distance-2000 convert-numpy

Plain tours: random Euclidean points without time data (n = 5000 and 10,000), given as a numpy
int64 array to the friendly layer's engine (`tourwright_tools._engine.solve`, the iterated search
that `solve_problem` runs, without `Problem`'s checks in Python); "overrun ms" is its search time
beyond the limit.

    python3 bench/bench_large.py --time-limit 10 --cases plain-5000 plain-10000

Conversion: a matrix of 10^7 entries (3163 x 3163) given as lists of ints and as a
numpy uint64 array, solved with time_limit=0 (the search stops at once, so the call
is the conversion plus one evaluation of the identity tour).
"""

import argparse
import json
import random
import subprocess
import sys
import time

import tourwright

MB = 1 << 20
DAY0 = 1_796_601_600  # 2026-12-07T00:00:00Z


def status_bytes(field):
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith(field + ":"):
                return int(line.split()[1]) * 1024
    raise RuntimeError(field)


def reset_peak():
    try:
        with open("/proc/self/clear_refs", "w") as clear:
            clear.write("5")
        return True
    except OSError:
        return False


def random_rows(rng, n, low, high):
    pool = list(range(low, high))  # shared int objects: 8 bytes per entry in the lists
    return [rng.choices(pool, k=n) for _ in range(n)]


def distance_case(n):
    def build(rng):
        return dict(distance_matrix=random_rows(rng, n, 1, 1000)), n * n

    return build


def windows_case(n):
    def build(rng):
        windows = []
        for _ in range(n):
            opens = DAY0 + rng.randrange(0, 20) * 3600
            windows.append([(opens, opens + rng.randrange(1, 6) * 3600)])
        problem = dict(
            distance_matrix=random_rows(rng, n, 1, 1000),
            duration_matrix=random_rows(rng, n, 60, 1800),
            job_durations=[rng.randrange(0, 900) for _ in range(n)],
            time_windows=windows,
            operation_times=(6 * 3600, 22 * 3600),
        )
        return problem, 2 * n * n

    return build


def conversion_case(as_numpy):
    def build(rng):
        n = 3163
        if as_numpy:  # made directly, so that no freed lists lend the call their memory
            import numpy as np

            rows = np.random.default_rng(rng.randrange(2**32)).integers(
                1, 1000, size=(n, n), dtype=np.uint64
            )
        else:
            rows = random_rows(rng, n, 1, 1000)
        return dict(distance_matrix=rows), n * n

    return build


def plain_case(n):
    def build(rng):
        import numpy as np

        points = np.random.default_rng(rng.randrange(2**32)).uniform(0, 40000, size=(n, 2))
        rows = np.empty((n, n), dtype=np.int64)
        for a in range(0, n, 500):  # in blocks, so that the float temporaries stay small
            rows[a : a + 500] = np.rint(
                np.hypot(*(points[a : a + 500, None, :] - points[None, :, :]).T).T
            )
        return dict(distance_matrix=rows, plain=True), n * n

    return build


CASES = {
    "distance-2000": (distance_case(2000), True),
    "distance-5000": (distance_case(5000), True),
    "windows-1000": (windows_case(1000), True),
    "convert-lists": (conversion_case(False), False),
    "convert-numpy": (conversion_case(True), False),
    "plain-5000": (plain_case(5000), True),
    "plain-10000": (plain_case(10000), True),
}


def run_case(name, time_limit):
    build, limited = CASES[name]
    problem, entries = build(random.Random(20261208))
    limit = time_limit if limited else 0
    before = status_bytes("VmRSS")
    peak_reset = reset_peak()
    started = time.perf_counter()
    if problem.pop("plain", False):
        from tourwright_tools import _engine

        result, _ = _engine.solve(
            problem["distance_matrix"],
            None,
            None,
            None,
            None,
            time_limit=limit,
            max_descents=None,
            seed=1,
            threads=1,
            on_progress=None,
            strategy="iterated",
        )
    else:
        result = tourwright.solve(**problem, time_limit=limit)
    elapsed = time.perf_counter() - started
    peak = status_bytes("VmHWM")
    return dict(
        case=name,
        entries=entries,
        time_limit=limit,
        seconds=elapsed,
        iterations=result.iterations,
        rss_before=before,
        distance=result.distance,
        overrun_ms=result.time_taken_microseconds / 1000 - limit * 1000,
        peak_added=peak - before if peak_reset else None,
    )


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--time-limit", type=int, default=2)
    parser.add_argument("--cases", nargs="*", default=list(CASES), choices=list(CASES))
    parser.add_argument("--child", help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.child:
        print(json.dumps(run_case(args.child, args.time_limit)))
        return
    print(
        f"{'case':<14} {'entries':>10} {'limit s':>7} {'call s':>7} {'ns/entry':>8} "
        f"{'iters':>6} {'RSS before MB':>13} {'peak added MB':>13} {'tables MB':>9} "
        f"{'B/pair':>6} {'overrun ms':>10} {'distance':>10}"
    )
    for name in args.cases:
        output = subprocess.run(
            [sys.executable, __file__, "--child", name, "--time-limit", str(args.time_limit)],
            check=True,
            capture_output=True,
            text=True,
        ).stdout
        row = json.loads(output)
        added = "n/a" if row["peak_added"] is None else f"{row['peak_added'] / MB:.0f}"
        print(
            f"{row['case']:<14} {row['entries']:>10} {row['time_limit']:>7} "
            f"{row['seconds']:>7.2f} {row['seconds'] * 1e9 / row['entries']:>8.1f} "
            f"{row['iterations']:>6} {row['rss_before'] / MB:>13.0f} {added:>13} "
            f"{row['entries'] * 8 / MB:>9.0f} "
            f"{'n/a' if row['peak_added'] is None else format(row['peak_added'] / row['entries'], '.2f'):>6} "
            f"{row['overrun_ms']:>10.1f} {row['distance']:>10}"
        )


if __name__ == "__main__":
    main()
