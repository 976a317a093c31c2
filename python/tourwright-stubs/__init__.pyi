# Type information for the extension module `tourwright`.
#
# At run time the module holds only `solve` and `PyOutput`. The event, payload and exception
# classes below are created by the module but are not its attributes: reach them through
# results (`type(event)`), or import them from `tourwright_tools`, which finds them once.
# Names here that are not module attributes are for annotations only.
from collections.abc import Sequence
from typing import ClassVar, Final, Literal, SupportsIndex, final

__all__ = ["solve", "PyOutput"]

_Int = SupportsIndex
_Pair = tuple[SupportsIndex, SupportsIndex]

def solve(
    distance_matrix: Sequence[Sequence[_Int]],
    duration_matrix: Sequence[Sequence[_Int]] | None = None,
    job_durations: Sequence[_Int] | None = None,
    time_windows: Sequence[Sequence[_Pair]] | None = None,
    operation_times: _Pair | None = None,
    time_limit: _Int | None = None,
) -> PyOutput: ...

@final
class PyOutput:
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

class PanicException(BaseException):
    """Raised when an internal check fails; not derived from Exception."""

@final
class PyWork:
    @property
    def location(self) -> int: ...
    @property
    def window(self) -> tuple[int, int]: ...

@final
class PyWait:
    @property
    def window(self) -> tuple[int, int]: ...

@final
class PyTravel:
    @property
    def window(self) -> tuple[int, int]: ...

class PyEvent:
    Work: ClassVar[type[PyEvent_Work]]
    Wait: ClassVar[type[PyEvent_Wait]]
    Travel: ClassVar[type[PyEvent_Travel]]

@final
class PyEvent_Work(PyEvent):
    __match_args__: Final = ("_0",)
    def __new__(cls, _0: PyWork) -> PyEvent_Work: ...
    @property
    def _0(self) -> PyWork: ...
    def __len__(self) -> Literal[1]: ...
    def __getitem__(self, idx: SupportsIndex) -> PyWork: ...

@final
class PyEvent_Wait(PyEvent):
    __match_args__: Final = ("_0",)
    def __new__(cls, _0: PyWait) -> PyEvent_Wait: ...
    @property
    def _0(self) -> PyWait: ...
    def __len__(self) -> Literal[1]: ...
    def __getitem__(self, idx: SupportsIndex) -> PyWait: ...

@final
class PyEvent_Travel(PyEvent):
    __match_args__: Final = ("_0",)
    def __new__(cls, _0: PyTravel) -> PyEvent_Travel: ...
    @property
    def _0(self) -> PyTravel: ...
    def __len__(self) -> Literal[1]: ...
    def __getitem__(self, idx: SupportsIndex) -> PyTravel: ...

# What `PyOutput.schedule` holds.
_Event = PyEvent_Work | PyEvent_Wait | PyEvent_Travel
