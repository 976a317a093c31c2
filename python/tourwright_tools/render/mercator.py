"""Places on the earth on a flat map: Web Mercator, the projection of web maps (it keeps angles,
so streets and coasts look as on any map), and lengths on the ground for its scale bar."""

from __future__ import annotations

import math
from collections.abc import Iterable

# The projection's sphere: the earth's mean radius, as the distances between places use.
EARTH_RADIUS_M = 6_371_008.8
# Web Mercator's bound: the poles lie infinitely far north and south.
MOST_NORTHERN = 85.051129


def project(places: Iterable[tuple[float, float]]) -> tuple[tuple[float, float], ...]:
    """(x, y) in metres along the equator of each (lat, lon), y growing northwards."""
    return tuple(
        (
            EARTH_RADIUS_M * math.radians(lon),
            EARTH_RADIUS_M * math.log(math.tan(math.pi / 4 + math.radians(_clamped(lat)) / 2)),
        )
        for lat, lon in places
    )


def metres_per_unit(points: Iterable[tuple[float, float]]) -> float:
    """Metres on the ground per unit of the projection, at the middle latitude of `points`
    (projected): the map's scale shrinks towards the poles with the latitude's cosine."""
    ys = [y for _, y in points]
    middle = (max(ys) + min(ys)) / 2
    return math.cos(2 * math.atan(math.exp(middle / EARTH_RADIUS_M)) - math.pi / 2)


def length_text(metres: float) -> str:
    return f"{metres / 1000:g} km" if metres >= 1000 else f"{metres:g} m"


def _clamped(latitude: float) -> float:
    return max(-MOST_NORTHERN, min(MOST_NORTHERN, latitude))
