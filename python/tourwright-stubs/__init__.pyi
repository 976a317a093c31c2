# Type information for the extension module `tourwright`, which holds `solve` and `PyOutput`.
#
# The event, payload and exception classes that it creates but does not export are declared in
# `tourwright_tools` (`from tourwright_tools import PyEvent, PanicException`); the names below
# that start with `_` are not the module's.
from collections.abc import Sequence
from typing import SupportsIndex, final

from tourwright_tools._classes import PyEvent_Travel as _Travel
from tourwright_tools._classes import PyEvent_Wait as _Wait
from tourwright_tools._classes import PyEvent_Work as _Work

__all__ = ["solve", "PyOutput"]

_Int = SupportsIndex
_Pair = tuple[SupportsIndex, SupportsIndex]
# What `PyOutput.schedule` holds.
_Event = _Work | _Wait | _Travel

def solve(
    distance_matrix: Sequence[Sequence[_Int]],
    duration_matrix: Sequence[Sequence[_Int]] | None = None,
    job_durations: Sequence[_Int] | None = None,
    time_windows: Sequence[Sequence[_Pair]] | None = None,
    operation_times: _Pair | None = None,
    time_limit: _Int | None = None,
) -> PyOutput:
    """Solving the Traveling Salesman Problem with Time Windows.

    Returns the best tour found: its route and distance and, where the problem has time
    data, its lateness, totals and timed schedule of events.
    """

@final
class PyOutput:
    """What `solve` returns: the route, its distance and, where the problem has time data,
    its totals and schedule (otherwise `None`)."""

    @property
    def distance(self) -> int: ...
    @property
    def route(self) -> list[int]: ...
    @property
    def lateness(self) -> int | None: ...
    @property
    def duration(self) -> int | None: ...
    @property
    def working_time(self) -> int | None: ...
    @property
    def waiting_time(self) -> int | None: ...
    @property
    def traveling_time(self) -> int | None: ...
    @property
    def start_time(self) -> int | None: ...
    @property
    def end_time(self) -> int | None: ...
    @property
    def iterations(self) -> int: ...
    @property
    def time_taken_microseconds(self) -> int: ...
    @property
    def schedule(self) -> list[_Event] | None: ...
