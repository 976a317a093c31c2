"""What happens around a call: threads ended by the interpreter's exit, forks and
signals. The cases that could bring a process down run in a fresh interpreter."""

import os
import signal
import subprocess
import sys
import textwrap
import time

import numpy as np
import pytest
import tourwright
from conftest import TRACE_MATRIX
from tourwright_tools import Problem, solve_problem


def run_python(code, timeout=60):
    return subprocess.run(
        [sys.executable, "-c", textwrap.dedent(code)],
        capture_output=True,
        text=True,
        timeout=timeout,
    )


def test_daemon_thread_inside_extraction_when_the_interpreter_exits():
    # The daemon thread waits (without the lock) inside an __index__ called by the
    # extraction; it wakes while the interpreter is finalising and is ended from inside
    # the call that takes the lock back, unwinding through the extraction's frames.
    result = run_python("""
        import gc, os, threading, time
        import tourwright

        class Slow:
            def __index__(self):
                time.sleep(0.3)
                return 1

        class Rows:
            def __len__(self):
                return 1
            def __getitem__(self, i):
                if i:
                    raise IndexError
                return [Slow()]

        class LingerAtExit:
            def __del__(self, sleep=time.sleep, write=os.write):
                sleep(1.0)  # collected during finalisation, while the daemon wakes
                write(1, b"finalised")

        threading.Thread(target=lambda: tourwright.solve(Rows()), daemon=True).start()
        time.sleep(0.1)
        gc.disable()
        linger = LingerAtExit()
        linger.cycle = linger
        del linger
    """)
    assert result.returncode == 0, result.stderr
    assert result.stdout == "finalised"


def test_every_class_and_the_exception_exist_once_imported():
    # Made at initialisation: no call ever creates one, so no lock is ever held
    # across the interpreter code that creating a class runs.
    result = run_python("""
        import gc
        import tourwright

        def made():
            return {t.__name__: t for t in gc.get_objects()
                    if isinstance(t, type) and t.__module__ in ("builtins", "tourwright")
                    and (t.__name__.startswith("Py") or t.__name__ == "PanicException")}

        before = made()
        try:
            tourwright.solve([])
        except BaseException as error:
            assert type(error) is before["PanicException"]
        event = tourwright.solve([[0]], [[0]], [5], [[(0, 10)]]).schedule[0]
        assert type(event) is before["PyEvent_Work"] and type(event._0) is before["PyWork"]
        assert made() == before
        print(" ".join(sorted(before)))
    """)
    assert result.returncode == 0, result.stderr
    assert result.stdout.split() == [
        "PanicException",
        "PyEvent",
        "PyEvent_Travel",
        "PyEvent_Wait",
        "PyEvent_Work",
        "PyOutput",
        "PyTravel",
        "PyWait",
        "PyWork",
    ]


@pytest.mark.skipif(not hasattr(os, "fork"), reason="needs fork")
def test_search_in_a_forked_child():
    single_descent = tourwright.solve(TRACE_MATRIX)  # the parent's generator is in use
    pid = os.fork()
    if pid == 0:
        ok = False
        try:
            # Random restarts draw from the generator, reseeded in the child.
            result = tourwright.solve(TRACE_MATRIX, time_limit=1)
            ok = (
                sorted(result.route) == list(range(6))
                and result.iterations > 1
                and result.distance <= single_descent.distance
            )
        finally:
            os._exit(0 if ok else 1)
    _, status = os.waitpid(pid, 0)
    assert os.waitstatus_to_exitcode(status) == 0
    assert tourwright.solve(TRACE_MATRIX).route == single_descent.route


class Interrupted(Exception):
    pass


def raise_interrupted(signum, frame):
    raise Interrupted


@pytest.mark.parametrize(
    "signum, handler, expected",
    [
        (signal.SIGINT, signal.default_int_handler, KeyboardInterrupt),
        (signal.SIGALRM, raise_interrupted, Interrupted),
    ],
)
def test_signal_during_argument_extraction(signum, handler, expected):
    class SignalsItself:
        def __index__(self):
            signal.raise_signal(signum)  # its handler runs before this returns
            return 1

    previous = signal.signal(signum, handler)
    try:
        with pytest.raises(expected) as caught:
            tourwright.solve([[0, 1], [1, SignalsItself()]])
    finally:
        signal.signal(signum, previous)
    assert caught.value.__cause__ is None  # passed on unchanged
    assert tourwright.solve([[0, 1], [1, 0]]).route == [0, 1]


def test_ctrl_c_early_in_a_large_solve_interrupts_its_set_up():
    n = 2500
    points = np.random.default_rng(1).uniform(0, 30_000, (n, 2))
    distances = np.hypot(*(points[:, None, :] - points[None, :, :]).transpose(2, 0, 1))
    distances = distances.astype(np.int64)
    day = 1_796_601_600
    windows = [[(day + 6 * 3600, day + 22 * 3600)]] * n
    problem = Problem(distances, distances // 8, [0] + [300] * (n - 1), windows)
    killer = subprocess.Popen(["sh", "-c", f"sleep 0.05; kill -INT {os.getpid()}"])
    started = time.monotonic()
    try:
        with pytest.raises(KeyboardInterrupt):
            solve_problem(problem, time_limit=60)
    finally:
        killer.wait()
    assert time.monotonic() - started < 30  # long before the search would have ended


EXIT_LOOP = """
    import random, sys, threading, time
    import tourwright
    from tourwright_tools import Problem, solve_problem
    rnd = random.Random(1)
    M = [[0 if i == j else rnd.randint(1, 100) for j in range(40)] for i in range(40)]
    calls = {
        "solve": lambda: tourwright.solve(M),
        "descents": lambda: solve_problem(Problem(M), max_descents=3),
        "progress": lambda: solve_problem(Problem(M), time_limit=0.3, threads=2,
                                          on_progress=lambda *report: True),
        "multistart": lambda: solve_problem(Problem(M), time_limit=0.3, threads=2,
                                            on_progress=lambda *report: True,
                                            strategy="multistart"),
        "sleepy": lambda: solve_problem(Problem(M), time_limit=0.3,
                                        on_progress=lambda *report: time.sleep(0.05)),
    }
    call = calls[sys.argv[1]]
    def loop():
        while True:
            call()
    threading.Thread(target=loop, daemon=True).start()
    time.sleep(0.2)
"""


@pytest.mark.parametrize("call", ["solve", "descents", "progress", "multistart", "sleepy"])
def test_daemon_thread_inside_a_search_when_the_interpreter_exits(call):
    # Ended inside the search, inside the progress callback or where the lock is taken
    # back: every way out must leave the process to exit as usual.
    for _ in range(5):
        result = subprocess.run(
            [sys.executable, "-c", textwrap.dedent(EXIT_LOOP), call],
            capture_output=True,
            text=True,
            timeout=60,
        )
        assert result.returncode == 0, result.stderr
        assert "terminate" not in result.stderr and "Fatal" not in result.stderr
