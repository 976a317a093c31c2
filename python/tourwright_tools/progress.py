"""A progress bar for a time-limited solve in a terminal.

`tourwright.solve` keeps the interpreter lock for the whole search, so no thread of this
process could draw meanwhile: the search runs in a child process and the parent draws.
"""
from __future__ import annotations

import multiprocessing
import time
from multiprocessing.connection import Connection
from typing import TextIO

from .problem import Problem
from .solving import solve_problem
from .tour import Tour

WIDTH = 30


def solve_with_progress(problem: Problem, time_limit: int, stream: TextIO) -> Tour:
    receiver, sender = multiprocessing.Pipe(duplex=False)
    child = multiprocessing.Process(target=_solve_in_child, args=(sender, problem, time_limit), daemon=True)
    child.start()
    sender.close()
    started = time.monotonic()
    try:
        while not receiver.poll(0.1):
            if not child.is_alive():
                raise RuntimeError(f"the solver process ended without a result (exit code {child.exitcode})")
            _draw(stream, time.monotonic() - started, time_limit)
        outcome, value = receiver.recv()
    finally:
        stream.write("\r" + " " * (WIDTH + 24) + "\r")
        stream.flush()
        child.kill()
        child.join()
    if outcome == "error":
        raise value
    assert isinstance(value, Tour)
    return value


def _draw(stream: TextIO, elapsed: float, limit: int) -> None:
    done = min(1.0, elapsed / limit) if limit else 1.0
    filled = round(done * WIDTH)
    stream.write(f"\rsolving [{'#' * filled}{'.' * (WIDTH - filled)}] {elapsed:5.1f} / {limit} s")
    stream.flush()


def _solve_in_child(sender: Connection, problem: Problem, time_limit: int) -> None:
    try:
        sender.send(("tour", solve_problem(problem, time_limit)))
    except Exception as error:  # handed to the parent, which raises it
        sender.send(("error", error))
