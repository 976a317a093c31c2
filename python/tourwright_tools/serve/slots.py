"""The solve slots: `workers` searches at once on threads (the search releases the interpreter
lock), `queue` more waiting, and none beyond: a caller is told at once rather than kept
waiting behind work the service cannot get through."""

from __future__ import annotations

import concurrent.futures
import threading
from collections.abc import Callable
from typing import TypeVar

T = TypeVar("T")


class Busy(Exception):
    """Every slot and place in the queue is taken."""


class Slots:
    def __init__(self, workers: int, queue: int) -> None:
        self._executor = concurrent.futures.ThreadPoolExecutor(workers, thread_name_prefix="solve")
        self._capacity = workers + queue
        self._lock = threading.Lock()
        self._admitted = 0
        self._running = 0

    @property
    def solving(self) -> int:
        return self._running

    @property
    def queued(self) -> int:
        with self._lock:
            return self._admitted - self._running

    def submit(self, work: Callable[[], T]) -> concurrent.futures.Future[T]:
        """`work()` on a free slot, once one is; `Busy` when the queue is full."""
        with self._lock:
            if self._admitted >= self._capacity:
                raise Busy
            self._admitted += 1

        def run() -> T:
            with self._lock:
                self._running += 1
            try:
                return work()
            finally:
                with self._lock:
                    self._running -= 1

        future = self._executor.submit(run)
        # Also when cancelled before it ran.
        future.add_done_callback(lambda _: self._release())
        return future

    def _release(self) -> None:
        with self._lock:
            self._admitted -= 1

    def close(self) -> None:
        self._executor.shutdown(wait=False, cancel_futures=True)
