"""The service under load: requests per second and latency of `POST /solve` for small problems
at 1, 4 and 20 concurrent clients, and the service's resident memory before and after 10^4
requests. The service runs as a user runs it, as a process of its own on a free loopback port;
"solve ms" is the mean time of a solve as its /metrics tell, the rest of a latency is HTTP,
JSON and the problem's check.

    python bench/bench_serve.py [--workers 2] [--queue 20] [--sizes 10,50] [--clients 1,4,20]
                                [--requests 1000] [--descents 5] [--memory-requests 10000]

Needs the serve extra (`pip install "tourwright[serve]"`) and httpx. The clients are threads of
this process and share the machine with the service, so on a small machine they take some of
its cores; compare figures of one run with each other.
"""

import argparse
import json
import os
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

import httpx

sys.path.insert(0, str(Path(__file__).resolve().parent))

from realistic_days import realistic_day  # noqa: E402


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def resident_kib(pid):
    for line in Path(f"/proc/{pid}/status").read_text().splitlines():
        if line.startswith("VmRSS:"):
            return int(line.split()[1])
    raise RuntimeError(f"no VmRSS for process {pid}")


def start_service(workers, queue):
    port = free_port()
    command = [
        sys.executable,
        "-m",
        "tourwright_tools",
        "serve",
        "--port",
        str(port),
        "--workers",
        str(workers),
        "--queue",
        str(queue),
    ]
    # Its log goes to a file: a pipe nobody reads would stop the service once full.
    log = tempfile.TemporaryFile()
    service = subprocess.Popen(command, stdout=log, stderr=log)
    url = f"http://127.0.0.1:{port}"
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline:
        if service.poll() is not None:
            log.seek(0)
            sys.exit(
                f"the service exited with status {service.returncode}:\n"
                + log.read().decode(errors="replace")
            )
        try:
            if httpx.get(f"{url}/health", timeout=1).status_code == 200:
                return service, url, " ".join(["python", *command[1:]])
        except httpx.TransportError:
            pass
        time.sleep(0.1)
    service.kill()
    sys.exit("the service did not answer /health within 30 s")


def problem_body(locations, descents, seed=1):
    """A realistic day of `locations` (the depot included) as the JSON of a problem file."""
    data = realistic_day(stops=locations - 1, seed=seed).to_dict()
    data["options"] = {"max_descents": descents, "seed": seed}
    return json.dumps(data).encode()


def load(url, path, body, clients, requests):
    """`requests` requests shared by `clients` threads, each with its own connection, as fast as
    they are answered: (wall seconds, every latency in seconds, count of each status)."""
    taken = iter(range(requests))
    lock = threading.Lock()
    latencies, statuses = [], {}

    def client():
        mine, seen = [], {}
        with httpx.Client(base_url=url, timeout=120) as session:
            while True:
                with lock:
                    if next(taken, None) is None:
                        break
                began = time.perf_counter()
                try:
                    if body is None:
                        status = session.get(path).status_code
                    else:
                        status = session.post(
                            path, content=body, headers={"Content-Type": "application/json"}
                        ).status_code
                except httpx.TransportError as error:  # counted, so that the row shows it
                    status = type(error).__name__
                mine.append(time.perf_counter() - began)
                seen[status] = seen.get(status, 0) + 1
        with lock:
            latencies.extend(mine)
            for status, count in seen.items():
                statuses[status] = statuses.get(status, 0) + count

    threads = [threading.Thread(target=client) for _ in range(clients)]
    began = time.perf_counter()
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    return time.perf_counter() - began, sorted(latencies), statuses


def solve_totals(url):
    """(seconds, count) of the service's searches so far, from its /metrics."""
    totals = {}
    for line in httpx.get(f"{url}/metrics").text.splitlines():
        name, _, value = line.partition(" ")
        if name in ("tourwright_solve_seconds_sum", "tourwright_solve_seconds_count"):
            totals[name] = float(value)
    return totals["tourwright_solve_seconds_sum"], totals["tourwright_solve_seconds_count"]


def measured(url, path, body, clients, requests):
    """`load`'s figures and the mean milliseconds of the service's solves meanwhile, as its
    /metrics count them (the wait for a slot included), None for requests that solve nothing."""
    seconds, count = solve_totals(url)
    wall, latencies, statuses = load(url, path, body, clients, requests)
    more_seconds, more = solve_totals(url)
    solving = 1000 * (more_seconds - seconds) / (more - count) if more > count else None
    return wall, latencies, statuses, solving


def percentile(ordered, share):
    return ordered[min(len(ordered) - 1, int(share * len(ordered)))]


def row(label, clients, wall, latencies, statuses, solving):
    ms = [1000 * percentile(latencies, p) for p in (0.50, 0.90, 0.99)]
    solve = "-" if solving is None else f"{solving:.1f}"
    others = sorted((str(s), n) for s, n in statuses.items() if s != 200)
    refused = ", ".join(f"{s}: {n}" for s, n in others) or "-"
    print(
        f"{label:<14} {clients:>7} {len(latencies):>8} {len(latencies) / wall:>8.0f}"
        f" {ms[0]:>8.1f} {ms[1]:>8.1f} {ms[2]:>8.1f} {solve:>9}  {refused}",
        flush=True,
    )


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--workers", type=int, default=2, help="the service's --workers")
    parser.add_argument("--queue", type=int, help="the service's --queue (default: most clients)")
    parser.add_argument("--sizes", default="10,50", help="locations of the problems")
    parser.add_argument("--clients", default="1,4,20", help="concurrent clients")
    parser.add_argument("--requests", type=int, default=1000, help="requests of each row")
    parser.add_argument("--descents", type=int, default=5, help="max_descents of each solve")
    parser.add_argument("--memory-requests", type=int, default=10_000)
    arguments = parser.parse_args()
    sizes = [int(n) for n in arguments.sizes.split(",")]
    concurrency = [int(c) for c in arguments.clients.split(",")]
    queue = arguments.queue if arguments.queue is not None else max(concurrency)

    service, url, command = start_service(arguments.workers, queue)
    try:
        idle = resident_kib(service.pid)
        print(
            f"service: {command} (pid {service.pid}); {os.cpu_count()} cores, "
            f"clients in this process; max_descents {arguments.descents}, seed 1"
        )
        print(
            f"{'request':<14} {'clients':>7} {'answers':>8} {'per s':>8} {'p50 ms':>8}"
            f" {'p90 ms':>8} {'p99 ms':>8} {'solve ms':>9}  not 200"
        )
        for clients in concurrency:
            figures = measured(url, "/health", None, clients, arguments.requests)
            row("GET /health", clients, *figures)
        bodies = {n: problem_body(n, arguments.descents) for n in sizes}
        for n, body in bodies.items():
            load(url, "/solve", body, 1, 20)  # the first solves of a size take their memory
            for clients in concurrency:
                figures = measured(url, "/solve", body, clients, arguments.requests)
                row(f"/solve n={n}", clients, *figures)

        smallest = bodies[min(sizes)]
        before = resident_kib(service.pid)
        clients = min(4, max(concurrency))
        figures = measured(url, "/solve", smallest, clients, arguments.memory_requests)
        after = resident_kib(service.pid)
        row(f"/solve n={min(sizes)}", clients, *figures)
        print(
            f"resident memory (VmRSS): {idle / 1024:.1f} MiB idle, {before / 1024:.1f} MiB "
            f"before {arguments.memory_requests} solves of n={min(sizes)}, "
            f"{after / 1024:.1f} MiB after ({(after - before) / 1024:+.1f} MiB)"
        )
    finally:
        service.send_signal(signal.SIGTERM)
        try:
            status = service.wait(timeout=30)
            print(f"the service stopped on SIGTERM with exit status {status}")
        except subprocess.TimeoutExpired:
            service.kill()
            print("the service did not stop within 30 s of SIGTERM; killed")


if __name__ == "__main__":
    main()
