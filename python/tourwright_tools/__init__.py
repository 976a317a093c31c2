"""A friendly layer over `tourwright.solve`: checked problems, problem files, plain results,
batches of problems, pictures of schedules and the `tourwright` command."""

from __future__ import annotations

import time

# Before any other import: the `tourwright` command's time limit counts from here.
_IMPORTED_AT = time.monotonic()

import importlib  # noqa: E402
from typing import TYPE_CHECKING, Any  # noqa: E402

from .files.formats import (  # noqa: E402
    ClassicInstance,
    ClassicReport,
    ProblemFileError,
    read_json,
    read_problem,
    read_problem_file,
    read_tsptw,
)
from .model.breaks import Break  # noqa: E402
from .model.calendar import Calendar  # noqa: E402
from .model.problem import Problem  # noqa: E402
from .solve.options import SolveOptions  # noqa: E402
from .solve.solving import SolveError, evaluate_route, solve_problem, solve_with  # noqa: E402
from .solve.tour import Event, Tour  # noqa: E402

if TYPE_CHECKING:
    from ._classes import PanicException, PyEvent, PyTravel, PyWait, PyWork
    from .render.itinerary import Stop
    from .render.svg import schedule_svg
    from .solve.batch import BatchError, solve_many
    from .solve.replan import replan
    from .units.geo import matrices_from_coordinates
    from .units.roads import RoutingError

__version__ = "0.1.0"

__all__ = [
    "BatchError",
    "Break",
    "Calendar",
    "ClassicInstance",
    "ClassicReport",
    "Event",
    "PanicException",
    "Problem",
    "ProblemFileError",
    "PyEvent",
    "PyTravel",
    "PyWait",
    "PyWork",
    "RoutingError",
    "SolveError",
    "SolveOptions",
    "Stop",
    "Tour",
    "evaluate_route",
    "matrices_from_coordinates",
    "read_json",
    "read_problem",
    "read_problem_file",
    "read_tsptw",
    "replan",
    "schedule_svg",
    "solve_many",
    "solve_problem",
    "solve_with",
]


def imported_at() -> float:
    """The `time.monotonic()` instant this package was first imported."""
    return _IMPORTED_AT


# Imported on first use: their own imports would slow the start of every command.
_LAZY = {
    "BatchError": "solve.batch",
    "solve_many": "solve.batch",
    "schedule_svg": "render.svg",
    "Stop": "render.itinerary",
    "replan": "solve.replan",
    "matrices_from_coordinates": "units.geo",
    "RoutingError": "units.roads",
}


def __getattr__(name: str) -> Any:
    if name in _LAZY:
        return getattr(importlib.import_module(f".{_LAZY[name]}", __name__), name)
    # The classes of `tourwright` that it does not export, looked up on first use.
    from .solve.native import NativeClasses, native_classes

    if name in NativeClasses._fields:
        return getattr(native_classes(), name)
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")
