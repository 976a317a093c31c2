"""A progress bar for a solve in a terminal, drawn from the search's own progress reports (the
search releases the interpreter lock and calls back about every 100 ms), and the Ctrl-C that
ends a search with its best tour."""

from __future__ import annotations

import signal
from typing import Any, TextIO

from ..solve.options import ProgressCallback, stoppable

WIDTH = 30


class ProgressBar:
    """An `on_progress` callback that draws on `stream` how much of the search is done: the
    elapsed part of `time_limit`, or the descents made of `descents`, whichever is further;
    `close()` wipes it. `spent`: seconds of the limit already used before the search began."""

    def __init__(
        self,
        stream: TextIO,
        time_limit: float | None,
        descents: int | None = None,
        spent: float = 0.0,
    ) -> None:
        self._stream = stream
        self._limit = time_limit
        self._descents = descents
        self._spent = spent
        # Drawn at once: a search whose limit is nearly used up by then reports no progress.
        self(0.0, 0, None)

    def __call__(self, elapsed: float, descents: int, best: tuple[int, ...] | None) -> bool:
        elapsed += self._spent
        done = 0.0
        if self._limit is not None:
            elapsed = min(self._limit, elapsed)
            done = min(1.0, elapsed / self._limit) if self._limit else 1.0
        if self._descents:
            done = max(done, min(1.0, descents / self._descents))
        filled = round(done * WIDTH)
        of_limit = f" / {self._limit:g}" if self._limit is not None else ""
        of_descents = f" of {self._descents}" if self._descents else ""
        self._stream.write(
            f"\rsolving [{'#' * filled}{'.' * (WIDTH - filled)}] "
            f"{elapsed:5.1f}{of_limit} s, {descents}{of_descents} descents"
        )
        self._stream.flush()
        return True

    def close(self) -> None:
        self._stream.write("\r" + " " * (WIDTH + 56) + "\r")
        self._stream.flush()


class Interruption:
    """Ctrl-C during the search ends it with the best tour found, rather than losing it: the
    signal only marks the interruption, which the search's progress check then reports."""

    def __init__(self) -> None:
        self.happened = False
        self._previous: Any = None

    def __enter__(self) -> Interruption:
        try:
            self._previous = signal.signal(signal.SIGINT, self._mark)
        except ValueError:  # not the main thread: Ctrl-C is not ours to take
            self._previous = None
        return self

    def __exit__(self, *exc: object) -> None:
        if self._previous is not None:
            signal.signal(signal.SIGINT, self._previous)

    def _mark(self, signum: int, frame: object) -> None:
        if self.happened:  # a second Ctrl-C: stop at once
            raise KeyboardInterrupt
        self.happened = True

    def watch(self, bar: ProgressBar | None) -> ProgressCallback:
        """An `on_progress` that draws `bar` and ends the search once interrupted."""
        return stoppable(bar, lambda: self.happened)
