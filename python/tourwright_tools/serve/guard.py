"""What every request passes first: the refusal while the service stops, the bearer token, and
the count of answers by path and status."""

from __future__ import annotations

import hmac
import json
from collections.abc import Callable

from starlette.types import ASGIApp, Message, Receive, Scope, Send

from .metrics import Metrics

PATHS = frozenset({"/solve", "/check", "/replan", "/jobs", "/health", "/metrics", "/openapi.json"})
OPEN_PATHS = frozenset({"/health"})


def counted_path(path: str) -> str:
    """The path as counted: a job's by its pattern, and any unknown one as one, so that the
    count of series stays bounded."""
    if path in PATHS:
        return path
    return "/jobs/{id}" if path.startswith("/jobs/") else "other"


class Guard:
    def __init__(
        self, app: ASGIApp, token: str | None, metrics: Metrics, stopping: Callable[[], bool]
    ) -> None:
        self._app = app
        self._token = None if token is None else token.encode()
        self._metrics = metrics
        self._stopping = stopping

    async def __call__(self, scope: Scope, receive: Receive, send: Send) -> None:
        if scope["type"] != "http":
            await self._app(scope, receive, send)
            return
        path = scope["path"]
        status = 500

        async def counting(message: Message) -> None:
            nonlocal status
            if message["type"] == "http.response.start":
                status = message["status"]
            await send(message)

        try:
            if self._stopping() and path not in OPEN_PATHS:
                await refuse(counting, 503, "the service is shutting down")
            elif path not in OPEN_PATHS and not self._authorized(scope):
                await refuse(
                    counting, 401, "a valid bearer token is needed (Authorization: Bearer TOKEN)"
                )
            else:
                await self._app(scope, receive, counting)
        finally:
            self._metrics.request(counted_path(path), status)

    def _authorized(self, scope: Scope) -> bool:
        if self._token is None:
            return True
        given = dict(scope["headers"]).get(b"authorization", b"")
        scheme, _, token = given.partition(b" ")
        return scheme.lower() == b"bearer" and hmac.compare_digest(token.strip(), self._token)


async def refuse(send: Send, status: int, message: str) -> None:
    body = json.dumps({"error": message}).encode()
    headers = [(b"content-type", b"application/json"), (b"content-length", str(len(body)).encode())]
    if status == 401:
        headers.append((b"www-authenticate", b"Bearer"))
    await send({"type": "http.response.start", "status": status, "headers": headers})
    await send({"type": "http.response.body", "body": body})
