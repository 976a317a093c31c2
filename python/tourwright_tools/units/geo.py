"""Places on the earth: (lat, lon) pairs checked, and the distance and travel time matrices between
them, over great circles (a detour factor for the roads' windings and a speed) or from a routing
server the user runs (`roads`)."""

from __future__ import annotations

import math
import numbers
from collections.abc import Iterator
from typing import TYPE_CHECKING, Any, Literal, NamedTuple

if TYPE_CHECKING:
    import numpy

EARTH_RADIUS_KM = 6371.0088  # the mean radius (IUGG)
METRES = {"m": 1000.0, "km": 1.0}  # per kilometre, by unit
SOURCES = ("great-circle", "osrm", "valhalla")
DEFAULT_DETOUR = 1.3
# OSRM's `table` refuses more than 100 x 100 pairs by default (its --max-table-size).
DEFAULT_BLOCK = 100
# Rows of the matrices worked out at a time: their temporary arrays stay small.
_ROWS_AT_ONCE = 64


def matrices_from_coordinates(
    points: Any,
    *,
    speed: float | None = None,
    detour: float = DEFAULT_DETOUR,
    unit: Literal["m", "km"] = "m",
    source: Literal["great-circle", "osrm", "valhalla"] = "great-circle",
    url: str | None = None,
    block: int = DEFAULT_BLOCK,
    timeout: float = 60.0,
) -> tuple[numpy.ndarray, numpy.ndarray]:
    """The distance matrix (whole `unit`s, "m" or "km") and the travel time matrix (whole
    seconds) between `points`, (lat, lon) pairs in degrees, as read-only numpy arrays of
    unsigned 64-bit integers with zero diagonals (what `Problem` takes fastest).

    By default over great circles (haversine, on the earth's mean radius) lengthened by
    `detour` for the roads' windings, travelled at `speed` km/h. With `source="osrm"` or
    `"valhalla"`, the road network's distances and times from the routing server at `url`
    (its table of sources to targets, asked in blocks of at most `block` x `block` points,
    each within `timeout` seconds); `speed` and `detour` are then the server's, not given.
    A server that cannot be reached or gives no usable answer raises `RoutingError`."""
    import numpy

    if source not in SOURCES:
        raise ValueError(f"source: expected one of {', '.join(SOURCES)}, got {source!r}")
    if unit not in METRES:
        raise ValueError(f"unit: expected 'm' or 'km', got {unit!r}")
    places = checked_places(points, "points")
    if source == "great-circle":
        if url is not None:
            raise ValueError("url: great-circle distances need no server; give source too")
        hours_per_km = 1.0 / _positive(speed, "speed", "km/h")
        blocks = _great_circle_rows(places, _positive(detour, "detour", "a factor"), hours_per_km)
        mirrored = True
    else:
        if speed is not None:
            raise ValueError(f"speed: {source} gives its own travel times; leave speed out")
        if url is None:
            raise ValueError(f"url: {source} needs the address of its server")
        from .roads import road_matrices  # HTTP's modules, imported when a server is asked

        blocks = iter([(0, *road_matrices(source, url, places, block, timeout))])
        mirrored = False
    n = len(places)
    distances, durations = (numpy.empty((n, n), dtype=numpy.uint64) for _ in range(2))
    # Rounded and stored a block of rows at a time (over great circles their columns from the
    # diagonal on, mirrored below it), which keeps every temporary array small.
    for top, km, seconds in blocks:
        km *= METRES[unit]
        for whole, part in ((distances, km), (durations, seconds)):
            numpy.rint(part, out=part)
            whole[top : top + len(part), n - part.shape[1] :] = part
            if mirrored:
                whole[top:, top : top + len(part)] = part.T
    for whole in (distances, durations):
        numpy.fill_diagonal(whole, 0)
        whole.flags.writeable = False
    return distances, durations


class PlaceTravel(NamedTuple):
    """How a problem's matrices were made from its places: over great circles, `detour` times
    longer, at `speed` km/h, distances in `unit`."""

    speed: float
    detour: float = DEFAULT_DETOUR
    unit: str = "m"

    def keys(self) -> dict[str, Any]:
        """As the keys of a problem file, those at their defaults left out."""
        return {
            key: value
            for key, value in self._asdict().items()
            if key == "speed" or value != self._field_defaults[key]
        }


def checked_places(points: Any, name: str) -> numpy.ndarray:
    """`points` (the argument `name`) as a read-only n x 2 float array of (lat, lon) in
    degrees, n >= 1; refused with the first pair at fault: not finite, out of range, or
    evidently (lon, lat)."""
    import numpy

    try:
        places = numpy.array(points, dtype=numpy.float64)
    except (TypeError, ValueError):
        raise TypeError(f"{name}: expected (lat, lon) pairs of numbers") from None
    if places.ndim != 2 or places.shape[1] != 2 or len(places) == 0:
        raise ValueError(f"{name}: expected (lat, lon) pairs, got an array of shape {places.shape}")
    lat, lon = places[:, 0], places[:, 1]
    swapped = "has its latitude beyond ±90 and its longitude within: given as (lon, lat)?"
    faults = (
        (~numpy.isfinite(places).all(axis=1), "is not a finite (lat, lon) pair"),
        ((abs(lat) > 90) & (abs(lon) <= 90), f"{swapped} expected (lat, lon)"),
        (abs(lat) > 90, "has its latitude beyond ±90"),
        (abs(lon) > 180, "has its longitude beyond ±180"),
    )
    for wrong, why in faults:
        if wrong.any():
            i = int(numpy.argmax(wrong))
            raise ValueError(f"{name}[{i}]: ({lat[i]:g}, {lon[i]:g}) {why}")
    places.flags.writeable = False
    return places


def _great_circle_rows(
    places: numpy.ndarray, detour: float, hours_per_km: float
) -> Iterator[tuple[int, numpy.ndarray, numpy.ndarray]]:
    """(first row, kilometres, seconds) of blocks of rows of the matrices over great circles,
    `detour` times longer, in the columns from the block's first row on (the matrices are
    symmetric). The haversine of the angle between two places is the square of half
    the chord between their points on the unit sphere: worked out from differences of those
    points it stays exact for places metres apart, and no trigonometry is done for each pair
    but the final arcsine."""
    import numpy

    lat, lon = numpy.radians(places[:, 0]), numpy.radians(places[:, 1])
    sphere = numpy.stack(
        [numpy.cos(lat) * numpy.cos(lon), numpy.cos(lat) * numpy.sin(lon), numpy.sin(lat)]
    )
    n = len(places)
    part = numpy.empty(_ROWS_AT_ONCE * n)
    for top in range(0, n, _ROWS_AT_ONCE):
        rows = sphere[:, top : top + _ROWS_AT_ONCE, None]
        km = numpy.zeros((rows.shape[1], n - top))
        square = part[: km.size].reshape(km.shape)
        for axis in range(3):
            numpy.subtract(rows[axis], sphere[axis, top:], out=square)
            km += numpy.square(square, out=square)
        numpy.sqrt(km, out=km)
        km *= 0.5
        numpy.minimum(km, 1.0, out=km)  # rounding may carry antipodes just past 1
        numpy.arcsin(km, out=km)
        km *= 2 * EARTH_RADIUS_KM * detour
        yield top, km, km * (3600.0 * hours_per_km)


def _positive(value: Any, name: str, what: str) -> float:
    if isinstance(value, bool) or not isinstance(value, numbers.Real):
        given = "none" if value is None else f"a {type(value).__name__}"
        raise TypeError(f"{name}: expected a positive number ({what}), got {given}")
    number = float(value)
    if not (math.isfinite(number) and number > 0):
        raise ValueError(f"{name}: expected a positive number ({what}), got {value!r}")
    return number
