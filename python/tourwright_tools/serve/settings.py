"""The service's settings, fixed when it starts."""

from __future__ import annotations

import dataclasses


@dataclasses.dataclass(frozen=True)
class Settings:
    """What `tourwright serve` is given; see its options for each one's meaning."""

    workers: int = 1
    queue: int = 2
    max_body: int = 10 * 2**20
    max_locations: int = 5000
    max_time_limit: float = 60.0
    request_timeout: float = 120.0
    # None: every request is served without a token.
    token: str | None = None
    # How long a synchronous solve may go on once the service is told to stop.
    grace: float = 10.0
    # Finished jobs kept for their clients to fetch, the oldest forgotten first.
    kept_jobs: int = 1000
