"""The classes that `tourwright` creates but does not export, as a module that type checkers
read through `_classes.pyi`. Importing it finds them (a tiny solve); `tourwright_tools` itself
looks them up on first use instead."""

from .solve.native import native_classes

__all__ = [
    "PanicException",
    "PyEvent",
    "PyEvent_Travel",
    "PyEvent_Wait",
    "PyEvent_Work",
    "PyTravel",
    "PyWait",
    "PyWork",
]

PyEvent, PyWork, PyWait, PyTravel, PanicException = native_classes()
PyEvent_Work, PyEvent_Wait, PyEvent_Travel = PyEvent.Work, PyEvent.Wait, PyEvent.Travel
