"""Jobs: searches a client starts, watches and stops by id. Each runs in the solve slots; its
progress comes from the search's callback, which also ends it (with its best tour) once the
job is stopped."""

from __future__ import annotations

import collections
import threading
import time
import uuid
from collections.abc import Callable
from typing import Any

from ..solve.options import ProgressCallback
from ..solve.tour import Tour
from .failures import message_of
from .slots import Slots

# A search given the callback it must report to and obey.
Search = Callable[[ProgressCallback], Tour]


class Job:
    def __init__(self) -> None:
        self.id = uuid.uuid4().hex
        self.status = "queued"
        self.elapsed = 0.0
        self.descents = 0
        self.best: tuple[int, ...] | None = None
        self.tour: dict[str, Any] | None = None
        self.error: str | None = None
        self.stopping = threading.Event()
        self.finished = threading.Event()

    def record(self) -> dict[str, Any]:
        progress = {
            "elapsed": round(self.elapsed, 3),
            "descents": self.descents,
            "best": None if self.best is None else list(self.best),
        }
        return {
            "id": self.id,
            "status": self.status,
            "progress": progress,
            "tour": self.tour,
            "error": self.error,
        }

    def report(self, elapsed: float, descents: int, best: tuple[int, ...] | None) -> bool:
        self.elapsed, self.descents, self.best = elapsed, descents, best
        return not self.stopping.is_set()


class Jobs:
    def __init__(self, slots: Slots, kept: int, on_solved: Callable[[float], None]) -> None:
        self._slots = slots
        self._kept = kept
        self._on_solved = on_solved
        self._lock = threading.Lock()
        self._jobs: dict[str, Job] = {}
        self._finished: collections.deque[str] = collections.deque()

    def start(self, search: Search, within: Callable[[float], bool]) -> Job:
        """A job of `search`, which goes on while `within(elapsed)`; `Busy` when the slots
        and the queue are full."""
        job = Job()

        def report(elapsed: float, descents: int, best: tuple[int, ...] | None) -> bool:
            return job.report(elapsed, descents, best) and within(elapsed)

        with self._lock:
            self._jobs[job.id] = job
        try:
            self._slots.submit(lambda: self._run(job, search, report))
        except BaseException:
            with self._lock:
                del self._jobs[job.id]
            raise
        return job

    def get(self, job_id: str) -> Job | None:
        with self._lock:
            return self._jobs.get(job_id)

    def stop(self, job: Job, wait: float) -> None:
        """Stops `job` and waits (at most `wait` seconds) until its search has ended."""
        job.stopping.set()
        job.finished.wait(wait)

    def stop_all(self) -> None:
        with self._lock:
            jobs = list(self._jobs.values())
        for job in jobs:
            job.stopping.set()

    def _run(self, job: Job, search: Search, report: ProgressCallback) -> None:
        started = time.monotonic()
        try:
            if not job.stopping.is_set():
                job.status = "running"
                tour = search(report)
                job.tour = tour.to_dict(readable=True)
                self._on_solved(time.monotonic() - started)
            job.status = "stopped" if job.stopping.is_set() else "done"
        except Exception as error:  # the job's record tells its client what went wrong
            job.error, job.status = message_of(error), "failed"
        finally:
            job.finished.set()
            self._forget_old(job)

    def _forget_old(self, job: Job) -> None:
        with self._lock:
            self._finished.append(job.id)
            while len(self._finished) > self._kept:
                self._jobs.pop(self._finished.popleft(), None)
