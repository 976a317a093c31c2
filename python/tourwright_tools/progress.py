"""A progress bar for a time-limited solve in a terminal, drawn by a thread while the search
runs without the interpreter lock."""
from __future__ import annotations

import threading
import time
from typing import TextIO

from .problem import Problem
from .solving import solve_problem
from .tour import Tour

WIDTH = 30


def solve_with_progress(problem: Problem, time_limit: int, stream: TextIO) -> Tour:
    finished = threading.Event()

    def draw() -> None:
        started = time.monotonic()
        while not finished.wait(0.1):
            elapsed = time.monotonic() - started
            filled = round(min(1.0, elapsed / time_limit) * WIDTH)
            stream.write(f"\rsolving [{'#' * filled}{'.' * (WIDTH - filled)}] {elapsed:5.1f} / {time_limit} s")
            stream.flush()

    drawer = threading.Thread(target=draw, name="tourwright progress", daemon=True)
    drawer.start()
    try:
        return solve_problem(problem, time_limit)
    finally:
        finished.set()
        drawer.join()
        stream.write("\r" + " " * (WIDTH + 24) + "\r")
        stream.flush()
