"""The state of a running service: its slots, jobs and counters, and how it stops."""

from __future__ import annotations

import threading
import time

from .jobs import Jobs
from .metrics import Metrics
from .settings import Settings
from .slots import Slots


class Service:
    def __init__(self, settings: Settings) -> None:
        self.settings = settings
        self.slots = Slots(settings.workers, settings.queue)
        self.metrics = Metrics()
        self.jobs = Jobs(self.slots, settings.kept_jobs, self.metrics.solved)
        self.stopping = False
        # Set at the end of the grace time: the synchronous solves still running answer their
        # best tour so far.
        self.cut = threading.Event()

    def within(self, elapsed: float, deadline: float | None = None) -> bool:
        """Whether a search `elapsed` seconds in may go on: within the longest search, and
        (for a synchronous one) the request's time and the grace time of a stop."""
        if elapsed >= self.settings.max_time_limit:
            return False
        return deadline is None or (not self.cut.is_set() and time.monotonic() < deadline)

    def stop(self) -> None:
        """Refuse new requests, stop the jobs (keeping their best tours) and give the
        synchronous solves the grace time to finish."""
        self.stopping = True
        self.jobs.stop_all()
        timer = threading.Timer(self.settings.grace, self.cut.set)
        timer.daemon = True
        timer.start()
