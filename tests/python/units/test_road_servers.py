"""Road matrices from OSRM and Valhalla, served on loopback with answers in each server's
documented format: blocks put together, and each way a server can fail named."""

import http.server
import json
import threading
import urllib.parse

import pytest
from tourwright_tools import RoutingError, matrices_from_coordinates

PLACES = [(52.5 + 0.01 * k, 13.4 + 0.02 * k) for k in range(5)]


def road(lat, to_lat):
    """The recorded network's metres and seconds between two places (one-way streets)."""
    a, b = (round((x - 52.5) / 0.01) for x in (lat, to_lat))
    return 1000.0 * a + 10.5 * b + 7, 60.0 * a + b + 0.4


def osrm(path, _):
    parts = urllib.parse.urlsplit(path)
    lats = [float(point.split(",")[1]) for point in parts.path.rsplit("/", 1)[1].split(";")]
    asked = urllib.parse.parse_qs(parts.query)
    rows, columns = (
        [lats[int(k)] for k in asked[key][0].split(";")] for key in ("sources", "destinations")
    )
    cells = [[road(a, b) for b in columns] for a in rows]
    distances, durations = ([[cell[k] for cell in row] for row in cells] for k in (0, 1))
    return {"code": "Ok", "distances": distances, "durations": durations}


def valhalla(_, body):
    def cell(source, target):
        metres, seconds = road(source["lat"], target["lat"])
        return {"distance": metres / 1000, "time": seconds}  # in the "units" asked

    asked = json.loads(body)
    rows = [[cell(s, t) for t in asked["targets"]] for s in asked["sources"]]
    return {"units": "kilometers", "sources_to_targets": rows}


@pytest.fixture
def server():
    """On loopback: `answer(path, body)` gives each request's JSON, or (status, bytes)."""

    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
            self.server.asked += 1
            answer = self.server.answer(self.path, body)
            status, data = (
                answer if isinstance(answer, tuple) else (200, json.dumps(answer).encode())
            )
            self.send_response(status)
            self.end_headers()
            self.wfile.write(data)

        do_POST = do_GET

        def log_message(self, *_):
            pass

    running = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    running.asked, running.url = 0, f"http://127.0.0.1:{running.server_port}"
    threading.Thread(target=running.serve_forever, daemon=True).start()
    yield running
    running.shutdown()
    running.server_close()


@pytest.mark.parametrize("source, answer", [("osrm", osrm), ("valhalla", valhalla)])
def test_blocks_of_the_table_are_put_together(server, source, answer):
    server.answer = answer
    metres, seconds = matrices_from_coordinates(PLACES, source=source, url=server.url, block=2)
    assert server.asked == 9  # 3 x 3 blocks of at most 2 x 2
    expected = [[(0, 0) if a == b else road(a[0], b[0]) for b in PLACES] for a in PLACES]
    assert metres.tolist() == [[round(m) for m, _ in row] for row in expected]
    assert seconds.tolist() == [[round(s) for _, s in row] for row in expected]
    km, _ = matrices_from_coordinates(PLACES, source=source, url=server.url + "/", unit="km")
    assert server.asked == 10 and km[4, 0] == 4


def test_each_fault_of_a_server_is_named(server):
    def fault(answer):
        server.answer = answer
        with pytest.raises(RoutingError) as failed:
            matrices_from_coordinates(PLACES, source="osrm", url=server.url)
        return str(failed.value)

    def without_roads(path, body):
        answer = osrm(path, body)
        answer["durations"][1][3] = answer["distances"][2][0] = None
        return answer

    assert fault(without_roads).endswith(
        "no road from places[1] to places[3], places[2] to places[0]"
    )
    too_big = (400, b'{"code": "TooBig", "message": "Too many table coordinates"}')
    assert fault(lambda *_: too_big).endswith("HTTP 400 Bad Request (Too many table coordinates)")
    assert fault(lambda *_: (200, b"<html>")).endswith("the answer is not JSON")
    small = {"code": "Ok", "durations": [[0]], "distances": [[0]]}
    assert fault(lambda *_: small).endswith("distances are 1 x 1, asked 5 x 5")
    assert fault(lambda *_: {"code": "NoTable"}).endswith("code is 'NoTable', not 'Ok'")
    server.shutdown()
    server.server_close()
    assert "cannot reach the server" in fault(osrm)
    with pytest.raises(ValueError, match="^speed: osrm gives its own travel times"):
        matrices_from_coordinates(PLACES, source="osrm", url=server.url, speed=50)
