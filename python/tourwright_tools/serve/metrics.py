"""The service's counters, rendered in the Prometheus text format (0.0.4) by hand: a few lines
need no client library."""

from __future__ import annotations

import collections
import threading

CONTENT_TYPE = "text/plain; version=0.0.4; charset=utf-8"


class Metrics:
    def __init__(self) -> None:
        self._lock = threading.Lock()
        self._requests: collections.Counter[tuple[str, int]] = collections.Counter()
        self._solves = 0
        self._solve_seconds = 0.0

    def request(self, path: str, status: int) -> None:
        with self._lock:
            self._requests[path, status] += 1

    def solved(self, seconds: float) -> None:
        with self._lock:
            self._solves += 1
            self._solve_seconds += seconds

    def text(self, solving: int, queued: int) -> str:
        with self._lock:
            requests = sorted(self._requests.items())
            solves, seconds = self._solves, self._solve_seconds
        lines = [
            "# HELP tourwright_requests_total Requests answered, by path and status.",
            "# TYPE tourwright_requests_total counter",
            *(
                f'tourwright_requests_total{{path="{path}",status="{status}"}} {count}'
                for (path, status), count in requests
            ),
            "# HELP tourwright_solves_total Searches finished (solves, jobs and re-plans).",
            "# TYPE tourwright_solves_total counter",
            f"tourwright_solves_total {solves}",
            "# HELP tourwright_solving Searches running now.",
            "# TYPE tourwright_solving gauge",
            f"tourwright_solving {solving}",
            "# HELP tourwright_queue_length Searches waiting for a slot.",
            "# TYPE tourwright_queue_length gauge",
            f"tourwright_queue_length {queued}",
            "# HELP tourwright_solve_seconds Time the searches took.",
            "# TYPE tourwright_solve_seconds summary",
            f"tourwright_solve_seconds_sum {seconds:.6f}",
            f"tourwright_solve_seconds_count {solves}",
        ]
        return "\n".join(lines) + "\n"
