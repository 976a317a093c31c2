# Type information for the classes that `tourwright` creates but does not export: its schedule's
# events and their payloads, and the exception of a failed internal check. Import them from
# `tourwright_tools`; `PyOutput.schedule` in the stubs of `tourwright` names them from here.
from typing import ClassVar, Final, Literal, SupportsIndex, final

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
