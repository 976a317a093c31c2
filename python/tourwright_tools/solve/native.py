"""The classes that `tourwright` creates but does not export, found once through its results."""

from __future__ import annotations

import functools
from typing import TYPE_CHECKING, NamedTuple, cast

import tourwright

if TYPE_CHECKING:
    from .._classes import PanicException, PyEvent, PyTravel, PyWait, PyWork


class NativeClasses(NamedTuple):
    PyEvent: type[PyEvent]
    PyWork: type[PyWork]
    PyWait: type[PyWait]
    PyTravel: type[PyTravel]
    PanicException: type[PanicException]


@functools.cache
def native_classes() -> NativeClasses:
    # One descent over two locations whose schedule is work, travel, wait, work, travel.
    output = tourwright.solve([[0, 1], [1, 0]], [[0, 1], [1, 0]], [1, 1], [[(0, 10)], [(100, 200)]])
    schedule = output.schedule
    assert schedule is not None
    work, travel, wait = schedule[0], schedule[1], schedule[2]
    try:
        tourwright.solve([])  # the empty tour fails an internal check
    except BaseException as error:  # noqa: BLE001 - the class derives from BaseException only
        panic = type(error)
    else:
        raise AssertionError("tourwright.solve([]) did not fail")
    return NativeClasses(
        PyEvent=cast("type[PyEvent]", type(work).__base__),
        PyWork=cast("type[PyWork]", type(work._0)),
        PyWait=cast("type[PyWait]", type(wait._0)),
        PyTravel=cast("type[PyTravel]", type(travel._0)),
        PanicException=cast("type[PanicException]", panic),
    )
