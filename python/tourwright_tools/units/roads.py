"""Distances and travel times over a road network, from a routing server the user runs: OSRM's
`table` service or Valhalla's `sources_to_targets`, over plain HTTP (the standard library's), in
blocks of sources by targets so that no request exceeds what a server takes at once."""

from __future__ import annotations

import json
import urllib.error
import urllib.parse
import urllib.request
from collections.abc import Callable
from typing import TYPE_CHECKING, Any

if TYPE_CHECKING:
    import numpy

# The unreachable pairs a message names before it counts the rest.
_NAMED_PAIRS = 5

Tables = tuple[Any, Any]  # distances in km and durations in seconds, rows by columns


class RoutingError(Exception):
    """A routing server that cannot be reached, answers with an HTTP error, gives an answer that
    is not a table of the pairs asked, or finds no road between some places (named)."""


def road_matrices(
    source: str, url: str, places: numpy.ndarray, block: int, timeout: float
) -> tuple[numpy.ndarray, numpy.ndarray]:
    """Kilometres and seconds between every two of `places` ((lat, lon) rows) by road, as
    floats, asked of the `source` server at `url` in blocks of at most `block` x `block`."""
    import numpy

    if isinstance(block, bool) or not isinstance(block, int) or block < 1:
        raise ValueError(f"block: expected a whole number of at least 1, got {block!r}")
    where = f"{source} at {url}"
    ask = _ASK[source]
    n = len(places)
    km, seconds = numpy.empty((n, n)), numpy.empty((n, n))
    for top in range(0, n, block):
        rows = range(top, min(n, top + block))
        for left in range(0, n, block):
            columns = range(left, min(n, left + block))
            sources, targets = places[top : rows.stop], places[left : columns.stop]
            distances, durations = ask(where, url.rstrip("/"), sources, targets, timeout)
            shape = (len(rows), len(columns))
            block_of = (slice(top, rows.stop), slice(left, columns.stop))
            km[block_of] = _table(where, distances, shape, "distances")
            seconds[block_of] = _table(where, durations, shape, "durations")
    numpy.fill_diagonal(km, 0.0)
    numpy.fill_diagonal(seconds, 0.0)
    _refuse_missing_roads(where, numpy.isnan(km) | numpy.isnan(seconds))
    return km, seconds


def _osrm(where: str, url: str, sources: Any, targets: Any, timeout: float) -> Tables:
    points = ";".join(f"{lon:.6f},{lat:.6f}" for lat, lon in [*sources, *targets])
    query = {
        "annotations": "distance,duration",
        "sources": ";".join(str(k) for k in range(len(sources))),
        "destinations": ";".join(str(len(sources) + k) for k in range(len(targets))),
    }
    address = f"{url}/table/v1/driving/{points}?{urllib.parse.urlencode(query, safe=';,')}"
    answer = _fetch(where, urllib.request.Request(address), timeout)
    if answer.get("code") != "Ok":
        raise RoutingError(f"{where}: the answer's code is {answer.get('code')!r}, not 'Ok'")
    metres = _field(where, answer, "distances")
    return _scaled(metres, 0.001), _field(where, answer, "durations")


def _valhalla(where: str, url: str, sources: Any, targets: Any, timeout: float) -> Tables:
    body = {
        "sources": [{"lat": lat, "lon": lon} for lat, lon in sources.tolist()],
        "targets": [{"lat": lat, "lon": lon} for lat, lon in targets.tolist()],
        "costing": "auto",
        "units": "kilometers",
    }
    request = urllib.request.Request(
        f"{url}/sources_to_targets",
        data=json.dumps(body).encode(),
        headers={"Content-Type": "application/json"},
    )
    rows = _field(where, _fetch(where, request, timeout), "sources_to_targets")
    try:
        distances = [[cell["distance"] for cell in row] for row in rows]
        return distances, [[cell["time"] for cell in row] for row in rows]
    except (TypeError, KeyError) as error:
        raise RoutingError(f"{where}: sources_to_targets holds an entry without {error}") from None


_ASK: dict[str, Callable[[str, str, Any, Any, float], Tables]] = {
    "osrm": _osrm,
    "valhalla": _valhalla,
}


def _fetch(where: str, request: urllib.request.Request, timeout: float) -> dict[str, Any]:
    try:
        with urllib.request.urlopen(request, timeout=timeout) as response:
            text = response.read()
    except urllib.error.HTTPError as error:
        detail = _server_message(error.read())
        raise RoutingError(
            f"{where}: HTTP {error.code} {error.reason}" + (f" ({detail})" if detail else "")
        ) from None
    except (urllib.error.URLError, OSError) as error:
        reason = getattr(error, "reason", error)
        raise RoutingError(f"{where}: cannot reach the server ({reason}); is it running?") from None
    try:
        answer = json.loads(text)
    except ValueError:
        raise RoutingError(f"{where}: the answer is not JSON") from None
    if not isinstance(answer, dict):
        raise RoutingError(f"{where}: the answer is not a JSON object")
    return answer


def _server_message(body: bytes) -> str:
    """What the server says went wrong: OSRM's `message`, Valhalla's `error`."""
    try:
        answer = json.loads(body)
    except ValueError:
        return ""
    return (
        str(answer.get("message") or answer.get("error") or "") if isinstance(answer, dict) else ""
    )


def _field(where: str, answer: dict[str, Any], key: str) -> Any:
    if answer.get(key) is None:
        raise RoutingError(f"{where}: the answer has no {key!r}")
    return answer[key]


def _scaled(table: Any, factor: float) -> Any:
    try:
        return [[None if entry is None else entry * factor for entry in row] for row in table]
    except TypeError:
        return table  # not a table of numbers: _table says so


def _table(where: str, table: Any, shape: tuple[int, int], name: str) -> numpy.ndarray:
    """The answer's table as floats of the block's shape, NaN where it has null."""
    import numpy

    try:
        values = numpy.array(table, dtype=numpy.float64)
    except (TypeError, ValueError):
        raise RoutingError(f"{where}: the answer's {name} are not a table of numbers") from None
    if values.shape != shape:
        raise RoutingError(
            f"{where}: the answer's {name} are {' x '.join(map(str, values.shape))}, "
            f"asked {shape[0]} x {shape[1]}"
        )
    if (values < 0).any():
        raise RoutingError(f"{where}: the answer's {name} hold a negative entry")
    return values


def _refuse_missing_roads(where: str, missing: Any) -> None:
    import numpy

    pairs = numpy.argwhere(missing)
    if len(pairs):
        named = ", ".join(f"places[{i}] to places[{j}]" for i, j in pairs[:_NAMED_PAIRS].tolist())
        more = len(pairs) - _NAMED_PAIRS
        raise RoutingError(
            f"{where}: no road from {named}" + (f" and {more} more pairs" if more > 0 else "")
        )
