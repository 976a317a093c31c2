"""The module as a citizen of a Python program: it lets other threads run while
it searches, answers Ctrl-C, and works in threads and forked children."""

import multiprocessing
import os
import signal
import threading
import time

import pytest
import tourwright
from problems import random_problem


def summary(result):
    return (result.route, result.distance, result.lateness, result.duration, result.iterations)


def test_parallel_calls_give_the_results_of_sequential_ones():
    problems = [random_problem(60, seed, windows=seed % 2 == 0) for seed in range(4)]
    expected = [summary(tourwright.solve(**problem)) for problem in problems]
    results = [None] * len(problems)

    def solve(k):
        results[k] = summary(tourwright.solve(**problems[k]))

    threads = [threading.Thread(target=solve, args=(k,)) for k in range(len(problems))]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert results == expected


def test_other_threads_run_during_a_search():
    ticks = 0
    done = threading.Event()

    def tick():
        nonlocal ticks
        while not done.is_set():
            ticks += 1
            time.sleep(0.01)

    ticker = threading.Thread(target=tick)
    ticker.start()
    try:
        tourwright.solve(**random_problem(80, 1, windows=False), time_limit=1)
    finally:
        done.set()
        ticker.join()
    # A held lock lets the ticker through once or twice; a released one about 100 times.
    assert ticks > 20


@pytest.mark.skipif(
    threading.current_thread() is not threading.main_thread(),
    reason="signals reach only the main thread",
)
@pytest.mark.parametrize("handler", ["default", "custom"])
def test_a_signal_ends_the_search_with_the_handlers_exception(handler):
    class Stop(Exception):
        pass

    def raise_stop(signum, frame):
        raise Stop

    previous = signal.signal(
        signal.SIGINT, raise_stop if handler == "custom" else signal.default_int_handler
    )
    expected = Stop if handler == "custom" else KeyboardInterrupt
    timer = threading.Timer(0.3, os.kill, (os.getpid(), signal.SIGINT))
    started = time.monotonic()
    try:
        timer.start()
        with pytest.raises(expected):
            tourwright.solve(**random_problem(150, 2, windows=True), time_limit=60)
    finally:
        timer.cancel()
        signal.signal(signal.SIGINT, previous)
    # Far below the time limit: the search was interrupted, not run to its end.
    assert time.monotonic() - started < 30
    # The module stays usable.
    assert sorted(tourwright.solve(**random_problem(20, 3, windows=False)).route) == list(range(20))


def solve_in_child(queue):
    result = tourwright.solve(**random_problem(30, 5, windows=True), time_limit=1)
    queue.put((sorted(result.route), result.iterations > 1, result.schedule is not None))


@pytest.mark.skipif(not hasattr(os, "fork"), reason="needs fork")
def test_a_child_forked_during_a_search_solves():
    # Forked while another thread of the parent searches with the lock released
    # and its generator in use: the child restarts from a generator of its own.
    searching = threading.Thread(
        target=tourwright.solve, kwargs=dict(random_problem(60, 4, windows=False), time_limit=1)
    )
    searching.start()
    try:
        time.sleep(0.2)
        context = multiprocessing.get_context("fork")
        queue = context.Queue()
        child = context.Process(target=solve_in_child, args=(queue,))
        child.start()
        outcome = queue.get(timeout=60)
        child.join(timeout=60)
    finally:
        searching.join()
    assert child.exitcode == 0
    assert outcome == (list(range(30)), True, True)
