"""`tourwright serve` as a client meets it: a real process on a loopback port, driven over HTTP."""

import concurrent.futures
import contextlib
import importlib.resources
import json
import signal
import socket
import subprocess
import sys
import threading
import time

import pytest
from conftest import delivery_problem, planned_day

httpx = pytest.importorskip("httpx")
pytest.importorskip("starlette")
pytest.importorskip("uvicorn")

from tourwright_tools import evaluate_route, read_json, replan, solve_problem  # noqa: E402
from tourwright_tools.files.formats import FILE_OPTIONS, JSON_KEYS, JSON_NOTE_KEYS  # noqa: E402

EXAMPLE = importlib.resources.files("tourwright_tools") / "example.json"
TOKEN = "s3cret-token"


class Service:
    """`tourwright serve ARGS` on a free loopback port, answering once /health does."""

    def __init__(self, *args, token=None):
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            self.port = probe.getsockname()[1]
        argv = [sys.executable, "-m", "tourwright_tools", "serve", "--port", str(self.port)]
        self.process = subprocess.Popen([*argv, *args], stderr=subprocess.PIPE, text=True)
        headers = {} if token is None else {"Authorization": f"Bearer {token}"}
        self.url = f"http://127.0.0.1:{self.port}"
        self.client = httpx.Client(base_url=self.url, headers=headers, timeout=30)
        for _ in range(200):
            with contextlib.suppress(httpx.TransportError):
                if self.client.get("/health").status_code == 200:
                    return
            assert self.process.poll() is None, self.process.stderr.read()
            time.sleep(0.05)
        raise AssertionError("the service did not answer /health")

    def close(self):
        self.client.close()
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait()
        self.process.stderr.close()


@pytest.fixture(scope="module")
def service():
    started = Service("--workers", "4", "--queue", "400", "--max-body", "300000",
                      "--request-timeout", "2")  # fmt: skip
    yield started
    started.close()


@pytest.fixture(scope="module")
def narrow(tmp_path_factory):
    """One slot, no queue, and a token."""
    token_file = tmp_path_factory.mktemp("token") / "token"
    token_file.write_text(TOKEN + "\n")
    started = Service("--workers", "1", "--queue", "0", "--token-file", str(token_file),
                      "--max-locations", "200", token=TOKEN)  # fmt: skip
    yield started
    started.close()


def example(**options):
    data = json.loads(EXAMPLE.read_text(encoding="utf-8"))
    return {**data, "options": options} if options else data


def without_timing(record):
    return {key: value for key, value in record.items() if key != "time_taken_microseconds"}


def test_solve_check_replan_answer_what_the_library_gives(service):
    problem = read_json(EXAMPLE)
    answer = service.client.post("/solve", json=example(max_descents=3, seed=1))
    assert answer.status_code == 200, answer.text
    tour = solve_problem(problem, max_descents=3, seed=1)
    assert without_timing(answer.json()) == without_timing(tour.to_dict(readable=True))
    backwards = [0, *tour.route[:0:-1]]
    for given, route in (({"route": backwards}, backwards), ({"tour": answer.json()}, tour.route)):
        checked = service.client.post("/check", json={"problem": example(), **given})
        assert checked.status_code == 200, checked.text
        timed = evaluate_route(problem, route)
        expected = {**timed.to_dict(readable=True), "on_time": timed.lateness == 0}
        assert without_timing(checked.json()) == without_timing(expected)
    assert (
        checked.json()["on_time"]
        and not service.client.post(
            "/check", json={"problem": example(), "route": backwards}
        ).json()["on_time"]
    )
    now = "2026-12-07T12:10"
    body = {"problem": example(), "tour": answer.json(), "now": now, "keep_next": 1,
            "options": {"max_descents": 2, "seed": 3}}  # fmt: skip
    replanned = service.client.post("/replan", json=body)
    assert replanned.status_code == 200, replanned.text
    local = replan(problem, tour, now, keep_next=1, max_descents=2, seed=3)
    assert without_timing(replanned.json()) == without_timing(local.to_dict(readable=True))
    schema = service.client.get("/openapi.json").json()
    assert schema["openapi"].startswith("3.1")
    problem_schema = schema["components"]["schemas"]["Problem"]
    assert set(problem_schema["properties"]) == JSON_KEYS | JSON_NOTE_KEYS | {"options"}
    assert set(problem_schema["properties"]["options"]["properties"]) == set(FILE_OPTIONS)
    assert {"/solve", "/check", "/replan", "/jobs", "/jobs/{id}"} <= set(schema["paths"])
    metrics = service.client.get("/metrics").text
    assert 'tourwright_requests_total{path="/solve",status="200"}' in metrics
    assert "tourwright_solve_seconds_count" in metrics and "tourwright_solving 0" in metrics


def test_200_requests_from_20_threads_are_all_answered_right(service):
    problems = [delivery_problem(12, seed) for seed in range(10)]
    expected = [solve_problem(p, max_descents=2, seed=7).route for p in problems]
    bodies = [{**p.to_dict(), "options": {"max_descents": 2, "seed": 7}} for p in problems]
    local = threading.local()

    def ask(index):
        if not hasattr(local, "client"):
            local.client = httpx.Client(base_url=service.url, timeout=30)
        answer = local.client.post("/solve", json=bodies[index % 10])
        return index, answer.status_code, answer.json()

    with concurrent.futures.ThreadPoolExecutor(20) as pool:
        answers = list(pool.map(ask, range(200)))
    assert len(answers) == 200
    for index, status, record in answers:
        assert status == 200, record
        assert tuple(record["route"]) == expected[index % 10]


def wait_for(condition, seconds=5.0):
    """Whether `condition()` holds within `seconds`."""
    end = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > end:
            return False
        time.sleep(0.02)
    return True


def sent_in_part(service, head, body):
    """The status answered to a request whose body stops short of its length."""
    with socket.create_connection(("127.0.0.1", service.port), timeout=10) as sock:
        sock.sendall(head + body)
        return int(sock.recv(4096).split(b" ")[1])


def test_hostile_bodies_get_their_status_while_others_are_served(service):
    long_job = service.client.post(
        "/jobs", json={**planned_day(150).to_dict(), "options": {"time_limit": 3}}
    )
    assert long_job.status_code == 202
    matrix = '{"distance_matrix": [[0, 1], [1, 0]]'
    hostile = [
        ("/solve", b"{not json", 400),
        ("/solve", b"[" * 100_000, 400),
        ("/check", b'{"problem": ' + b"[" * 100_000, 400),
        ("/solve", b'{"distance_matrix": [[0, 1e999999], [1, 0]]}', 400),
        ("/solve", b'{"distance_matrix": [[0, ' + b"9" * 100_000 + b"], [1, 0]]}", 400),
        ("/check", b'{"problem": {"distance_matrix": [[0, ' + b"9" * 100_000 + b"]]}}", 400),
        ("/solve", b'{"distance_matrix": "x"}', 400),
        ("/solve", b"\xff\xfe{}", 400),
        ("/solve", (matrix + ', "options": {"time_limit": "soon"}}').encode(), 422),
        ("/solve", (matrix + ', "options": {"speed": 3}}').encode(), 422),
        ("/replan", b'{"problem": ' + matrix.encode() + b'}, "tour": 3, "now": 0}', 400),
        (
            "/replan",
            b'{"problem": '
            + matrix.encode()
            + b'}, "tour": {}, "now": 0, "options": {"threads": 2}}',
            422,
        ),
        ("/check", b'{"problem": 5, "route": [0]}', 400),
        ("/check", (b'{"problem": ' + matrix.encode() + b'}, "route": [0, 0]}'), 400),
        ("/solve", b" " * 300_001, 413),
        ("/jobs/nobody", None, 404),
        ("/nowhere", None, 404),
    ]
    for path, body, status in hostile:
        answer = (
            service.client.get(path) if body is None else service.client.post(path, content=body)
        )
        assert answer.status_code == status, (path, body[:40] if body else None, answer.text)
        error = answer.json()["error"]
        assert error and "\n" not in error and "Traceback" not in error
        assert service.client.get("/health").json()["status"] == "ok"
    assert service.client.get("/solve").status_code == 405
    # Streamed without a length: refused once the limit is passed, not read to its end.
    chunks = (b" " * 100_000 for _ in range(50))
    assert service.client.post("/solve", content=chunks).status_code == 413
    head = b"POST /solve HTTP/1.1\r\nHost: x\r\nContent-Length: 100\r\n\r\n"
    assert sent_in_part(service, head, b'{"distance') == 408
    assert service.client.post("/solve", json=example(max_descents=1)).status_code == 200
    record = service.client.get(f"/jobs/{long_job.json()['id']}").json()
    assert record["status"] == "running"


def test_a_full_service_says_429_and_a_stopped_job_keeps_its_best_tour(narrow):
    anonymous = httpx.get(f"{narrow.url}/metrics")
    wrong = httpx.get(f"{narrow.url}/metrics", headers={"Authorization": "Bearer wrong"})
    assert (anonymous.status_code, wrong.status_code) == (401, 401)
    assert httpx.get(f"{narrow.url}/health").status_code == 200
    assert narrow.client.get("/metrics").status_code == 200
    assert narrow.client.post("/solve", json=planned_day(201).to_dict()).status_code == 413
    body = {**planned_day(150).to_dict(), "options": {"time_limit": 20}}
    # A client that goes away stops its solve, freeing the one slot.
    text = json.dumps(body).encode()
    head = f"POST /solve HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer {TOKEN}\r\n"
    head += f"Content-Length: {len(text)}\r\n\r\n"
    with socket.create_connection(("127.0.0.1", narrow.port)) as sock:
        sock.sendall(head.encode() + text)
        assert wait_for(lambda: narrow.client.get("/health").json()["solving"] == 1)
    assert wait_for(lambda: narrow.client.get("/health").json()["solving"] == 0)
    started = narrow.client.post("/jobs", json=body)
    assert started.status_code == 202, started.text
    job = f"/jobs/{started.json()['id']}"
    assert wait_for(lambda: narrow.client.get(job).json()["progress"]["best"] is not None)
    record = narrow.client.get(job).json()
    assert record["status"] == "running" and record["tour"] is None
    for path in ("/solve", "/jobs"):
        busy = narrow.client.post(path, json=example(max_descents=1))
        assert busy.status_code == 429 and busy.json()["error"]
    stopped = narrow.client.delete(job).json()
    assert stopped["status"] == "stopped" and stopped["error"] is None
    assert sorted(stopped["tour"]["route"]) == list(range(150))
    assert stopped["progress"]["elapsed"] < 10
    assert narrow.client.get(job).json() == stopped
    assert narrow.client.post("/solve", json=example(max_descents=1)).status_code == 200


def test_sigterm_answers_every_accepted_request_and_exits_0():
    started = Service("--workers", "2", "--queue", "4")
    try:
        body = {**delivery_problem(40, 3).to_dict(), "options": {"time_limit": 0.5}}
        with concurrent.futures.ThreadPoolExecutor(4) as pool:
            asked = [pool.submit(httpx.post, f"{started.url}/solve", json=body, timeout=30)
                     for _ in range(4)]  # fmt: skip
            job = started.client.post("/jobs", json={**body, "options": {"time_limit": 20}})
            # All four solves and the job admitted: two solving, three queued.
            health = started.client.get
            assert wait_for(
                lambda: sum(health("/health").json()[n] for n in ("solving", "queued")) == 5
            )
            started.process.send_signal(signal.SIGTERM)
            time.sleep(0.3)
            with contextlib.suppress(httpx.TransportError):  # refused, or closed already
                assert httpx.post(f"{started.url}/solve", json=body).status_code == 503
            answers = [future.result() for future in asked]
        assert [answer.status_code for answer in answers] == [200] * 4
        assert all(len(answer.json()["route"]) == 40 for answer in answers)
        assert started.process.wait(timeout=20) == 0
        assert job.status_code == 202
    finally:
        started.close()
