"""solve_problem's own engine: a depot kept first whose late return counts, seeded and
capped runs that repeat on any number of threads, progress reports that can stop a search,
and clear errors for bad options."""

import dataclasses
import json
import os
import subprocess
import sys
import textwrap
import time

import pytest
import tourwright
from conftest import DAY0, HOUR, delivery_problem
from tourwright_tools import Problem, SolveError, solve_problem
from tourwright_tools.command.cli import main

# The helpers' folder, where a fresh interpreter finds conftest.
HERE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def test_the_multistart_strategy_without_options_searches_as_the_module_does():
    problem = delivery_problem()
    tour = solve_problem(problem, strategy="multistart", departure="earliest")
    raw = tourwright.solve(**problem.solve_arguments())
    assert (list(tour.route), tour.distance, tour.lateness, tour.duration, tour.iterations) == (
        raw.route,
        raw.distance,
        raw.lateness,
        raw.duration,
        raw.iterations,
    )


@pytest.mark.parametrize("depot", [0, 7])
def test_a_depot_starts_the_tour_at_its_opening_and_ends_it(depot):
    problem = delivery_problem(seed=depot)
    tour = solve_problem(problem, depot=depot, seed=3, max_descents=4, departure="earliest")
    assert tour.route[0] == depot
    assert tour.schedule[0].kind == "work" and tour.schedule[0].location == depot
    assert tour.start_time == problem.time_windows[depot][0][0]
    last_travel = [event for event in tour.schedule if event.kind == "travel"][-1]
    assert last_travel.to_location == depot and last_travel.end == tour.end_time


def test_a_return_after_the_depot_closes_counts_as_lateness():
    # The depot closes at 09:00, long before any tour can be back.
    problem = delivery_problem(depot_hours=(7, 9))
    tour = solve_problem(problem, depot=0)
    closing = problem.time_windows[0][-1][1]
    late_jobs = sum(
        max(0, event.end - problem.time_windows[event.location][-1][1])
        for event in tour.schedule
        if event.kind == "work"
    )
    assert tour.end_time > closing
    assert tour.lateness == late_jobs + (tour.end_time - closing)


def objective(tour):
    return (tour.lateness, tour.traveling_time, tour.duration, tour.waiting_time, tour.distance)


def test_a_seed_and_a_descent_cap_repeat_the_multistart_tour_on_any_number_of_threads():
    problem = delivery_problem(40, seed=5)
    tours = [
        solve_problem(problem, seed=11, max_descents=6, threads=threads, strategy="multistart")
        for threads in (1, 2, 3, 1)
    ]
    assert len({(t.route, t.lateness, t.traveling_time) for t in tours}) == 1
    assert all(t.iterations == 6 for t in tours)
    # More descents from the same seed never end worse than the first one alone.
    first = solve_problem(problem, seed=11, max_descents=1, strategy="multistart")
    assert objective(tours[0]) <= objective(first)


def test_the_iterated_search_repeats_its_tour_and_never_ends_worse_than_its_first_descent():
    problem = delivery_problem(40, seed=6)
    tours = [solve_problem(problem, depot=0, seed=3, max_descents=60, threads=2) for _ in range(2)]
    assert tours[0] == dataclasses.replace(
        tours[1], time_taken_microseconds=tours[0].time_taken_microseconds
    )
    assert tours[0].route[0] == 0 and tours[0].iterations == 60
    first = solve_problem(problem, depot=0, seed=3, max_descents=1)
    assert objective(tours[0]) <= objective(first)


def test_progress_is_reported_and_false_stops_the_search():
    calls = []

    def on_progress(elapsed, descents, best):
        calls.append((elapsed, descents, best))
        return len(calls) < 3

    tour = solve_problem(delivery_problem(), time_limit=60, threads=2, on_progress=on_progress)
    assert len(calls) == 3
    assert tour.time_taken_microseconds < 30_000_000  # stopped, not run to its limit
    elapsed = [call[0] for call in calls]
    assert elapsed == sorted(elapsed) and elapsed[1] - elapsed[0] >= 0.09
    best = calls[-1][2]
    assert len(best) == 5 and best[0] >= tour.lateness


def test_an_exception_in_the_progress_callback_ends_the_search_and_propagates():
    def on_progress(elapsed, descents, best):
        raise LookupError("stop here")

    with pytest.raises(LookupError, match="stop here"):
        solve_problem(delivery_problem(), time_limit=60, on_progress=on_progress)


def test_progress_is_never_reported_once_the_limit_has_passed():
    elapsed = []

    def on_progress(seconds, descents, best):
        elapsed.append(seconds)
        time.sleep(0.15)

    solve_problem(delivery_problem(), time_limit=0.5, on_progress=on_progress)
    assert elapsed and max(elapsed) <= 0.5


@pytest.mark.parametrize("strategy", ["iterated", "multistart"])
def test_a_limit_spent_before_the_search_still_gives_a_whole_tour(strategy):
    problem = delivery_problem(n=400)
    for limit in (0, 1e-3):
        tour = solve_problem(problem, time_limit=limit, threads=2, strategy=strategy, depot=0)
        assert sorted(tour.route) == list(range(400)) and tour.route[0] == 0
        assert tour.schedule


@pytest.mark.skipif((os.cpu_count() or 1) < 2, reason="one core: the search starts no thread")
def test_threads_that_cannot_be_started_are_a_solve_error():
    # Address space for the process as it stands and little more: no room for a
    # helper thread's stack.
    result = subprocess.run(
        [
            sys.executable,
            "-c",
            textwrap.dedent("""
        import resource
        from conftest import delivery_problem
        from tourwright_tools import SolveError, solve_problem
        problem = delivery_problem(n=40)
        size = int(open("/proc/self/statm").read().split()[0]) * resource.getpagesize()
        resource.setrlimit(resource.RLIMIT_AS, (size + (4 << 20), resource.RLIM_INFINITY))
        try:
            solve_problem(problem, threads=4, seed=1, max_descents=8)
        except SolveError as error:
            print(error)
    """),
        ],
        capture_output=True,
        text=True,
        timeout=60,
        cwd=HERE,
    )
    assert result.returncode == 0, result.stderr
    assert "could not start search thread" in result.stdout


def test_threads_short_of_memory_fail_cleanly_and_never_abort():
    # Under these limits the process once ended with status 127 in 13 of 66 runs.
    script = textwrap.dedent("""
        import resource, sys
        from conftest import delivery_problem
        from tourwright_tools import SolveError, solve_problem
        problem = delivery_problem(n=800)
        resource.setrlimit(resource.RLIMIT_AS, (int(sys.argv[1]) << 10, resource.RLIM_INFINITY))
        try:
            print("tour", len(solve_problem(problem, time_limit=0.3, threads=100, seed=1).route))
        except (SolveError, MemoryError) as error:
            print(type(error).__name__)
    """)
    for kib in (600_000, 700_000, 800_000, 1_000_000, 1_500_000):
        run = [sys.executable, "-c", script, str(kib)]
        result = subprocess.run(run, capture_output=True, text=True, cwd=HERE)
        assert result.returncode == 0, (kib, result.returncode, result.stderr[-500:])
        assert result.stdout.split() in (["tour", "800"], ["SolveError"], ["MemoryError"])


def test_a_schedule_too_long_to_build_is_refused_by_both_surfaces(PanicException):
    # A job of 40,000,000 s with one second of opening a day: a record per day.
    arguments = ([[0]], [[0]], [40_000_000], [[(DAY0 + 8 * HOUR, DAY0 + 9 * HOUR)]], (28800, 28801))
    with pytest.raises(PanicException, match="spans too many days to build"):
        tourwright.solve(*arguments)
    # The friendly layer sees it in the problem, before anything is built.
    with pytest.raises(ValueError, match="a schedule holds at most 10000 open days"):
        Problem(*arguments, check_units=False)
    # 499,000 days of records once took 5 s past a 0.5 s limit; solve_problem refuses a
    # tour of more than 10,000 days, here 5,000 days of work and 12,000 of travel.
    windows = [[(DAY0 + 8 * HOUR, DAY0 + 9 * HOUR)]] * 2

    def two_stops(travel, work):
        hours, durations = (28800, 28801), [[0, travel], [travel, 0]]
        return Problem([[0, 1], [1, 0]], durations, [0, work], windows, hours, check_units=False)

    with pytest.raises(SolveError, match="spans too many days to build: more than 10000 days"):
        solve_problem(two_stops(6000, 5000), time_limit=0.5)
    assert len(solve_problem(two_stops(3000, 3000), time_limit=0.5).schedule) > 9000


@pytest.mark.parametrize(
    "options, error, message",
    [
        (dict(threads=-1), ValueError, "threads: -1 is not a whole number >= 1"),
        (dict(threads=1.5), TypeError, "threads: expected an int, got float"),
        (dict(depot=25), ValueError, "depot: 25 is not a location of this problem"),
        (dict(depot=True), TypeError, "depot: expected an integer, got bool"),
        (dict(max_descents=0), ValueError, "max_descents: 0 descents search nothing"),
        (dict(on_progress=3), TypeError, "on_progress: expected a callable, got int"),
        (dict(seed="x"), TypeError, "seed: expected an int, got str"),
        (
            dict(strategy="best"),
            ValueError,
            "strategy: expected one of 'iterated', 'multistart', got 'best'",
        ),
    ],
)
def test_bad_options_are_refused_by_name(options, error, message):
    with pytest.raises(error, match=message):
        solve_problem(delivery_problem(), **options)


def test_the_command_takes_a_depot_a_seed_and_threads(tmp_path, capsys):
    path = tmp_path / "problem.json"
    path.write_text(json.dumps(delivery_problem(12).to_dict()))
    out = tmp_path / "tour.json"
    assert (
        main(
            [
                "solve",
                str(path),
                "--depot",
                "4",
                "--seed",
                "2",
                "--max-descents",
                "3",
                "--threads",
                "2",
                "--json",
                str(out),
            ]
        )
        == 0
    )
    result = json.loads(out.read_text())
    assert result["route"][0] == 4 and result["iterations"] == 3
    assert main(["solve", str(path), "--depot", "12"]) == 2
    assert "depot: 12 is not a location" in capsys.readouterr().err


@pytest.mark.parametrize(
    "options",
    [
        {"depot": 0},
        {"start": 2, "end": "open", "departure": "earliest"},
        {"start": 1, "end": 4},
        {},  # no start: the search turns the tour to begin where one can
    ],
)
def test_a_route_timed_afresh_is_what_the_search_reported(options):
    from tourwright_tools.solve.options import SolveOptions
    from tourwright_tools.solve.solving import timed_route
    from tourwright_tools.solve.tour_check import EVALUATED

    for seed in range(3):
        problem = delivery_problem(12, seed)
        record = SolveOptions(max_descents=5, seed=seed, **options)
        tour = solve_problem(problem, **options, max_descents=5, seed=seed)
        fresh = timed_route(problem, tour.route, record)
        assert [getattr(fresh, name) for name in EVALUATED] == [
            getattr(tour, name) for name in EVALUATED
        ]
    with pytest.raises(ValueError, match="visit each of the 12 locations once"):
        timed_route(problem, [0, 0, *range(2, 12)], record)
