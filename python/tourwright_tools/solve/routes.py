"""Given visiting orders, checked against a problem and its ends before the engine sees them:
the first fault is named in one line."""

from __future__ import annotations

from typing import Any

from ..model.problem import End, Problem
from ..units import values


def route_of(value: Any, where: str) -> tuple[int, ...]:
    """The locations of a route given as a sequence of ints or as anything with a `route` (a
    `Tour`), each a whole number >= 0; not yet checked against a problem."""
    route = getattr(value, "route", value)
    if isinstance(route, (str, bytes)):
        raise TypeError(f"{where}: expected a sequence of locations, got {type(route).__name__}")
    return tuple(
        values.integer(location, f"{where}[{index}]")
        for index, location in enumerate(values.items(route, where, "a sequence of locations"))
    )


def checked_pinned(
    problem: Problem, pinned: tuple[int, ...], start: int | None, end: End | None
) -> tuple[int, ...]:
    """Stops kept right after the start in the given order: locations of the problem, each once,
    neither the start nor a fixed end."""
    if not pinned:
        return pinned
    if start is None:
        raise ValueError("pinned: stops kept after the start need a start")
    seen: set[int] = set()
    for location in pinned:
        if location >= problem.size:
            raise ValueError(
                f"pinned: {location} is not a location of this problem (0 to {problem.size - 1})"
            )
        if location in seen:
            raise ValueError(f"pinned: {location} is given twice")
        if location == start:
            raise ValueError(f"pinned: {location} is the start, which comes first anyway")
        if location == end:
            raise ValueError(f"pinned: {location} is the end, which comes last anyway")
        if not problem.required[location]:
            raise ValueError(
                f"pinned: {location} is optional (required=False); a pinned stop is always served"
            )
        seen.add(location)
    return pinned


def checked_route(
    problem: Problem,
    route: tuple[int, ...],
    start: int | None,
    end: End | None,
    pinned: tuple[int, ...] = (),
    where: str = "route",
) -> tuple[int, ...]:
    """`route` when it visits every required location of `problem` once (optional ones at most
    once), begins with `start` and then `pinned` in order, and finishes with a fixed `end`;
    else a ValueError naming its first fault."""
    n = problem.size
    seen: dict[int, int] = {}
    for index, location in enumerate(route):
        if location >= n:
            raise ValueError(
                f"{where}: {location} at position {index} is not a location of this problem "
                f"(0 to {n - 1})"
            )
        if location in seen:
            raise ValueError(
                f"{where}: {location} is visited twice, at positions {seen[location]} and {index}"
            )
        seen[location] = index
    missing = [
        location for location in range(n) if location not in seen and problem.required[location]
    ]
    if missing:
        also = f" (and {len(missing) - 1} more)" if len(missing) > 1 else ""
        rule = (
            f"a route visits all {n}"
            if all(problem.required)
            else "a route leaves out only optional locations"
        )
        raise ValueError(f"{where}: {missing[0]} is never visited{also}; {rule}")
    if not route:
        raise ValueError(f"{where}: visits no location; a route visits at least one")
    if start is not None and route[0] != start:
        raise ValueError(f"{where}: begins with {route[0]}, not with the start {start}")
    for offset, location in enumerate(pinned, start=1):
        if route[offset] != location:
            raise ValueError(
                f"{where}: {route[offset]} at position {offset}, where the pinned {location} is kept"
            )
    if isinstance(end, int) and route[-1] != end:
        raise ValueError(f"{where}: finishes with {route[-1]}, not with the end {end}")
    return route
