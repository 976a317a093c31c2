"""A progress bar for a time-limited solve in a terminal, drawn from the search's own
progress reports (the search releases the interpreter lock and calls back about every 100 ms)."""

from __future__ import annotations

from typing import TextIO

WIDTH = 30


class ProgressBar:
    """An `on_progress` callback that draws elapsed of the limit on `stream`; `close()` wipes it.
    `spent`: seconds of the limit already used before the search began."""

    def __init__(self, stream: TextIO, time_limit: float, spent: float = 0.0) -> None:
        self._stream = stream
        self._limit = time_limit
        self._spent = spent
        # Drawn at once: a search whose limit is nearly used up by then reports no progress.
        self(0.0, 0, None)

    def __call__(self, elapsed: float, descents: int, best: tuple[int, ...] | None) -> bool:
        elapsed = min(self._limit, elapsed + self._spent)
        done = min(1.0, elapsed / self._limit) if self._limit else 1.0
        filled = round(done * WIDTH)
        self._stream.write(
            f"\rsolving [{'#' * filled}{'.' * (WIDTH - filled)}] "
            f"{elapsed:5.1f} / {self._limit:g} s, {descents} descents"
        )
        self._stream.flush()
        return True

    def close(self) -> None:
        self._stream.write("\r" + " " * (WIDTH + 48) + "\r")
        self._stream.flush()
