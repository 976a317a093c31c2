from collections.abc import Callable, Sequence

import numpy
import tourwright

class EngineError(RuntimeError): ...

def solve(
    distance_matrix: Sequence[Sequence[int]],
    duration_matrix: Sequence[Sequence[int]] | None = None,
    job_durations: Sequence[int] | None = None,
    time_windows: Sequence[Sequence[tuple[int, int]]] | None = None,
    operation_times: tuple[int, int] | None = None,
    time_limit: float | None = None,
    max_descents: int | None = None,
    start: int | None = None,
    seed: int | None = None,
    threads: int | None = None,
    on_progress: Callable[[float, int, tuple[int, ...] | None], bool | None] | None = None,
    strategy: str | None = None,
    end: int | None = None,
    open_end: bool = False,
    latest_departure: bool = False,
    initial: Sequence[int] | None = None,
    pinned: Sequence[int] | None = None,
    open_hours: Sequence[tuple[int, int]] | None = None,
    start_windows: Sequence[bool | int] | None = None,
    breaks: Sequence[tuple[int, int, int]] | None = None,
    optional: Sequence[int | None] | None = None,
) -> tuple[tourwright.PyOutput, bool]: ...
def evaluate(
    distance_matrix: Sequence[Sequence[int]],
    duration_matrix: Sequence[Sequence[int]] | None,
    job_durations: Sequence[int] | None,
    time_windows: Sequence[Sequence[tuple[int, int]]] | None,
    operation_times: tuple[int, int] | None,
    route: Sequence[int],
    start: int | None = None,
    end: int | None = None,
    open_end: bool = False,
    latest_departure: bool = False,
    open_hours: Sequence[tuple[int, int]] | None = None,
    start_windows: Sequence[bool | int] | None = None,
    breaks: Sequence[tuple[int, int, int]] | None = None,
    optional: Sequence[int | None] | None = None,
) -> tourwright.PyOutput: ...
def breaks_of(output: tourwright.PyOutput) -> list[tuple[int, int, int | None]]: ...
def integer_rows(
    text: str, at: int, json: bool
) -> tuple[int, bytes, tuple[int, ...], int] | None: ...
def shorten_through_third(
    matrix: numpy.ndarray, xs: numpy.ndarray, ys: numpy.ndarray, scale: int
) -> None: ...
