"""Big inputs: checking a `Problem` built from numpy arrays, and the `tourwright` command's
start-up, reading and writing around its time limit, at n = 1000, 2000 and 5000.

    python3 bench/bench_big_inputs.py                 # every size
    python3 bench/bench_big_inputs.py --sizes 2000 --repeat 5

Columns (seconds, the best of --repeat runs):
- check: `Problem(...)` from numpy arrays (distance, duration, job durations, one window each);
- solve0: `solve_problem(problem, 0)` (hand-over to the engine, set-up, one evaluation);
- import: `python -c "import tourwright_tools.command.cli"` in a fresh interpreter;
- read classic, read json: `read_problem(FILE)` of the classic (matrix layout) and JSON files;
- classic, json: `tourwright solve FILE --time-limit L --json OUT` in a fresh interpreter, less L
  (what the command spends outside its search; the limit should bound the whole command).
"""

import argparse
import json
import os
import subprocess
import sys
import tempfile
import time

import numpy as np
from tourwright_tools import Problem, read_problem, solve_problem

DAY0 = 1_796_601_600  # 2026-12-07T00:00:00Z
LIMIT = 1.0


def arrays(n, seed=1):
    rng = np.random.default_rng(seed)
    points = rng.uniform(0, 50_000, size=(n, 2))
    distances = np.rint(np.hypot(*(points[:, None, :] - points[None, :, :]).transpose(2, 0, 1)))
    distances = distances.astype(np.int64)
    durations = distances // 10
    opening = DAY0 + rng.integers(8, 16, size=n) * 3600
    windows = np.stack([opening, opening + 2 * 3600], axis=1).reshape(n, 1, 2)
    return distances, durations, np.full(n, 600, dtype=np.int64), windows


def best_of(repeat, action):
    times = []
    for _ in range(repeat):
        start = time.perf_counter()
        action()
        times.append(time.perf_counter() - start)
    return min(times)


def write_files(folder, n, distances, windows):
    classic = os.path.join(folder, f"n{n}.tsptw")
    with open(classic, "w") as file:
        file.write(f"{n}\n")
        file.writelines(" ".join(map(str, row)) + "\n" for row in distances.tolist())
        # The classic format counts time from 0 in the file's own unit.
        file.writelines(f"{a - DAY0} {b - DAY0}\n" for a, b in windows[:, 0, :].tolist())
    problem_json = os.path.join(folder, f"n{n}.json")
    with open(problem_json, "w") as file:
        json.dump(
            {
                "distance_matrix": distances.tolist(),
                "duration_matrix": (distances // 10).tolist(),
                "job_durations": [600] * n,
                "time_windows": windows.tolist(),
            },
            file,
        )
    return classic, problem_json


def command_overhead(path, out, repeat):
    command = os.path.join(os.path.dirname(sys.executable), "tourwright")
    argv = [command, "solve", path, "--time-limit", str(LIMIT), "--json", out]
    run = lambda: subprocess.run(argv, check=True, stdout=subprocess.DEVNULL)  # noqa: E731
    return best_of(repeat, run) - LIMIT


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--sizes", type=int, nargs="+", default=[1000, 2000, 5000])
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()
    importing = [sys.executable, "-c", "import tourwright_tools.command.cli"]
    started = best_of(args.repeat, lambda: subprocess.run(importing, check=True))
    print(f"import of the command: {started:.3f} s")
    print(
        f"{'n':>6} {'check':>8} {'solve0':>8} {'read classic':>13} {'read json':>10} "
        f"{'classic':>8} {'json':>8}"
    )
    with tempfile.TemporaryDirectory() as folder:
        for n in args.sizes:
            distances, durations, jobs, windows = arrays(n)
            problem = Problem(distances, durations, jobs, windows)
            # The lambdas run at once, inside best_of, on this round's values.
            check = best_of(args.repeat, lambda: Problem(distances, durations, jobs, windows))  # noqa: B023
            solve0 = best_of(args.repeat, lambda: solve_problem(problem, 0))  # noqa: B023
            classic, problem_json = write_files(folder, n, distances, windows)
            out = os.path.join(folder, "out.json")
            files = (classic, problem_json)
            reads = [best_of(args.repeat, lambda path=path: read_problem(path)) for path in files]
            overheads = [command_overhead(path, out, args.repeat) for path in files]
            print(
                f"{n:>6} {check:8.3f} {solve0:8.3f} {reads[0]:13.3f} {reads[1]:10.3f} "
                f"{overheads[0]:8.3f} {overheads[1]:8.3f}",
                flush=True,
            )


if __name__ == "__main__":
    main()
