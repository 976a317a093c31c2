from typing import Callable, Optional, Sequence

import tourwright

class EngineError(RuntimeError): ...

def solve(
    distance_matrix: Sequence[Sequence[int]],
    duration_matrix: Optional[Sequence[Sequence[int]]] = None,
    job_durations: Optional[Sequence[int]] = None,
    time_windows: Optional[Sequence[Sequence[tuple[int, int]]]] = None,
    operation_times: Optional[tuple[int, int]] = None,
    time_limit: Optional[float] = None,
    max_descents: Optional[int] = None,
    start: Optional[int] = None,
    seed: Optional[int] = None,
    threads: Optional[int] = None,
    on_progress: Optional[Callable[[float, int, Optional[tuple[int, ...]]], Optional[bool]]] = None,
    strategy: Optional[str] = None,
    end: Optional[int] = None,
    open_end: bool = False,
    latest_departure: bool = False,
) -> tourwright.PyOutput: ...

def integer_rows(text: str, at: int, json: bool) -> Optional[tuple[int, bytes, tuple[int, ...], int]]: ...
