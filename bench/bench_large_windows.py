"""Large time-window days: Dumas-style problems of 1000 to 5000 stops through the command.

Each run is `tourwright solve FILE --time-limit S --seed K --threads 1 --json -` in a fresh
process, on problems of bench/dumas_style.py (written once into --folder and reused). Per run:
on time or not, the distance, the descents made ("cut short": the limit ended the first one),
the gap to the best known for the instance (the shortest on-time tour of every run recorded in
--results so far, PyVRP's included; runs of 120 s and more count like any other) and, from the
engine's progress callback in a run of its own (the same seed, stopped once on time, at most
--first-on-time-cap s), when the search first had a tour on time.

    python3 bench/bench_large_windows.py --sizes 1000 2000 --widths 100 5000 20000 --limits 1 10 30
    python3 bench/bench_large_windows.py --sizes 2000 --limits 120 --no-first-on-time
    python3 bench/bench_large_windows.py --setup     # n = 5000, W = 5000: set-up and memory
    python3 bench/bench_large_windows.py --summary   # every recorded run, against the final best

`--setup` solves the n = 5000 problem in fresh processes with limits of 0.05 s and 1 s and
reports the call's overrun of its limit and the peak resident memory it adds per location pair.
"""

import argparse
import json
import os
import subprocess
import sys
import time

from bench_large import reset_peak, status_bytes
from dumas_style import generate
from tourwright_tools import read_problem, solve_problem

FOLDER = "/tmp/tourwright-large-windows"
INSTANCE_SEED = 101
CUT_SHORT = 3  # the command's exit status when the limit ended the first descent


def instance_name(n, width, seed):
    return f"n{n}-w{width}-s{seed}"


def problem_file(folder, n, width, seed):
    """The problem's JSON file, generated the first time."""
    path = os.path.join(folder, instance_name(n, width, seed) + ".json")
    if not os.path.exists(path):
        os.makedirs(folder, exist_ok=True)
        with open(path + ".part", "w") as file:
            file.write(generate(n, width, seed).json_text())
        os.replace(path + ".part", path)
    return path


class Results:
    """Every run so far, one JSON record a line: its instance, solver, limit, seed, lateness and
    distance. The best known of an instance is the shortest on-time distance among them."""

    def __init__(self, path):
        self.path = path
        self.rows = []
        if os.path.exists(path):
            with open(path) as file:
                self.rows = [json.loads(line) for line in file if line.strip()]

    def add(self, row):
        self.rows.append(row)
        with open(self.path, "a") as file:
            file.write(json.dumps(row) + "\n")

    def best_known(self, instance):
        on_time = [
            r["distance"] for r in self.rows if r["instance"] == instance and not r["lateness"]
        ]
        return min(on_time, default=None)

    def gap(self, row):
        best = self.best_known(row["instance"])
        return None if best is None else 100 * (row["distance"] / best - 1)


def command_run(path, limit, seed):
    command = os.path.join(os.path.dirname(sys.executable), "tourwright")
    argv = [command, "solve", path, "--time-limit", str(limit), "--seed", str(seed)]
    started = time.perf_counter()
    done = subprocess.run(argv + ["--threads", "1", "--json", "-"], capture_output=True, text=True)
    wall = time.perf_counter() - started
    if done.returncode not in (0, CUT_SHORT):
        raise RuntimeError(f"{' '.join(argv)}: exit status {done.returncode}: {done.stderr}")
    tour = json.loads(done.stdout)
    return dict(
        lateness=tour["lateness"],
        distance=tour["distance"],
        wall=wall,
        descents=tour["iterations"],
        cut_short=tour["cut_short"],
    )


def first_on_time(path, seed, cap):
    """Seconds of search (the engine's clock) before the best tour was first on time; None
    when it was not within `cap` seconds. The callback comes about every 100 ms."""
    problem = read_problem(path)
    reached = []

    def progress(elapsed, descents, best):
        if best is not None and best[0] == 0:
            reached.append(elapsed)
            return False
        return True

    solve_problem(problem, time_limit=cap, seed=seed, threads=1, on_progress=progress)
    return reached[0] if reached else None


def setup_child(path, limit):
    problem = read_problem(path)
    before = status_bytes("VmRSS")
    peak_reset = reset_peak()
    started = time.perf_counter()
    tour = solve_problem(problem, time_limit=limit, seed=1, threads=1)
    call = time.perf_counter() - started
    added = status_bytes("VmHWM") - before if peak_reset else None
    pairs = problem.size**2
    return dict(limit=limit, call=call, pairs=pairs, added=added, lateness=tour.lateness)


def in_child(*arguments):
    argv = [sys.executable, __file__, "--child", json.dumps(arguments)]
    return json.loads(subprocess.run(argv, check=True, capture_output=True, text=True).stdout)


def child(arguments):
    kind, *rest = json.loads(arguments)
    print(json.dumps({"first_on_time": first_on_time, "setup": setup_child}[kind](*rest)))


def setup_report(folder):
    path = problem_file(folder, 5000, 5000, INSTANCE_SEED)
    print(f"{'limit s':>7} {'call s':>7} {'overrun s':>9} {'peak added MB':>13} {'B/pair':>6}")
    for limit in (0.05, 1.0):
        row = in_child("setup", path, limit)
        added = row["added"]
        print(
            f"{limit:7g} {row['call']:7.2f} {row['call'] - limit:9.2f} "
            f"{'n/a' if added is None else format(added / 2**20, '.0f'):>13} "
            f"{'n/a' if added is None else format(added / row['pairs'], '.2f'):>6}",
            flush=True,
        )


def summary(results):
    """Every run recorded, its gap over the best known as it now stands."""
    print(f"{'instance':<18} {'solver':<10} {'limit':>5} {'seed':>4} {'on time':>7} {'gap':>8}")

    def order(row):  # by n, then W, as numbers
        numbers = tuple(int(part[1:]) for part in row["instance"].split("-"))
        return numbers, row["solver"], row["limit"]

    for row in sorted(results.rows, key=order):
        gap = results.gap(row)
        print(
            f"{row['instance']:<18} {row['solver']:<10} {row['limit']:5g} {row['seed']:4} "
            f"{'yes' if not row['lateness'] else 'no':>7} "
            f"{'-' if gap is None else format(gap, '+.3f') + '%':>8}"
            f"{' cut short' if row.get('cut_short') else ''}"
        )


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--sizes", type=int, nargs="+", default=[1000, 2000, 5000])
    parser.add_argument("--widths", type=int, nargs="+", default=[100, 1000, 5000, 20000])
    parser.add_argument("--limits", type=float, nargs="+", default=[1, 10, 30])
    parser.add_argument("--seed", type=int, default=1, help="the search's seed")
    parser.add_argument("--instance-seed", type=int, default=INSTANCE_SEED)
    parser.add_argument("--folder", default=FOLDER, help="problem files (default: %(default)s)")
    parser.add_argument("--results", help="the results file (default: FOLDER/results.jsonl)")
    parser.add_argument("--first-on-time-cap", type=float, default=10)
    parser.add_argument("--no-first-on-time", action="store_true")
    parser.add_argument("--setup", action="store_true", help="only the set-up and memory report")
    parser.add_argument("--summary", action="store_true", help="only the runs recorded so far")
    parser.add_argument("--child", help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.child:
        return child(args.child)
    if args.setup:
        return setup_report(args.folder)
    results = Results(args.results or os.path.join(args.folder, "results.jsonl"))
    if args.summary:
        return summary(results)
    print(
        f"{'instance':<18} {'limit':>5} {'on time':>7} {'distance':>9} {'gap':>8} "
        f"{'descents':>9} {'wall s':>7} {'first on time s':>15}"
    )
    for n in args.sizes:
        for width in args.widths:
            path = problem_file(args.folder, n, width, args.instance_seed)
            name = instance_name(n, width, args.instance_seed)
            reached = "-"
            if not args.no_first_on_time:
                seconds = in_child("first_on_time", path, args.seed, args.first_on_time_cap)
                reached = f">{args.first_on_time_cap:g}" if seconds is None else f"{seconds:.2f}"
            for limit in args.limits:
                row = dict(instance=name, solver="tourwright", limit=limit, seed=args.seed)
                row.update(command_run(path, limit, args.seed))
                results.add(row)
                gap = results.gap(row)
                print(
                    f"{name:<18} {limit:5g} {'yes' if not row['lateness'] else 'no':>7} "
                    f"{row['distance']:9} {'-' if gap is None else format(gap, '+.3f') + '%':>8} "
                    f"{row['descents'] if not row['cut_short'] else 'cut short':>9} {row['wall']:7.2f} "
                    f"{reached:>15}",
                    flush=True,
                )


if __name__ == "__main__":
    main()
