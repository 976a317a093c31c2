"""The day as it happens, measured on realistic days (realistic_days.py): how long a given
route takes to time, what a warm start gives at short limits, and how long a re-plan at noon
takes and what it gains over driving on with the morning's plan.

    python bench/bench_plan_mode.py [--sizes 50,100,200] [--seeds 3]

Figures are ratios and side-by-side values of one run; the machine is shared and noisy.
"""

import argparse
import random
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from realistic_days import realistic_day  # noqa: E402
from tourwright_tools import Problem, evaluate_route, replan, solve_problem  # noqa: E402


def seconds(function, *args, **options):
    began = time.perf_counter()
    result = function(*args, **options)
    return time.perf_counter() - began, result


def key(tour):
    return (tour.lateness, tour.distance)


def tomorrow(problem, rng):
    """The same customers with a third of the windows moved by up to an hour either way."""
    windows = []
    for location, own in enumerate(problem.time_windows):
        shift = rng.choice([-3600, -1800, 1800, 3600]) if location and rng.random() < 1 / 3 else 0
        windows.append([(start + shift, end + shift) for start, end in own])
    return Problem(
        problem.distance_matrix.tolist(),
        problem.duration_matrix.tolist(),
        problem.job_durations,
        windows,
        problem.operation_times,
        start=0,
    )


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--sizes", default="50,100,200")
    parser.add_argument("--seeds", type=int, default=3)
    args = parser.parse_args()
    print(
        f"{'stops':>5} {'timing a route':>15} {'cold 0.1 s':>18} {'warm 0.1 s':>18} "
        f"{'plan at noon':>18} {'re-plan 0.5 s':>18} {'re-plan took':>12}"
    )
    for stops in map(int, args.sizes.split(",")):
        for seed in range(args.seeds):
            rng = random.Random(seed)
            day = realistic_day(stops, seed)
            plan = solve_problem(day, 2.0, depot=0, seed=seed)
            timed, _ = seconds(evaluate_route, day, plan.route, depot=0)
            # Tomorrow's plan at 0.1 s, cold and from today's order.
            next_day = tomorrow(day, rng)
            cold = solve_problem(next_day, 0.1, depot=0, seed=seed)
            warm = solve_problem(next_day, 0.1, depot=0, seed=seed, initial=plan)
            # At noon a quarter of the remaining stops take twice as long: the plan as it
            # stands against a re-plan of half a second.
            noon = plan.start_time + (plan.end_time - plan.start_time) // 2
            slower = list(day.job_durations)
            for location in rng.sample(range(1, day.size), day.size // 4):
                slower[location] *= 2
            late_day = Problem(
                day.distance_matrix.tolist(),
                day.duration_matrix.tolist(),
                slower,
                day.time_windows,
                day.operation_times,
                start=0,
            )
            as_planned = replan(late_day, plan, noon, max_descents=0)
            took, again = seconds(replan, late_day, plan, noon, time_limit=0.5, seed=1)
            print(
                f"{stops:>5} {timed * 1e3:>12.2f} ms {str(key(cold)):>18} {str(key(warm)):>18} "
                f"{str(key(as_planned)):>18} {str(key(again)):>18} {took:>10.2f} s"
            )
    print("(lateness s, distance) per cell; 'plan at noon' drives on in the morning's order")


if __name__ == "__main__":
    main()
