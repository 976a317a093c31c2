"""The Starlette application: one handler per path, each a thin shell over `calls`; searches
run on the solve slots' threads, never on the event loop."""

from __future__ import annotations

import asyncio
import threading
import time

from starlette.applications import Starlette
from starlette.concurrency import run_in_threadpool
from starlette.exceptions import HTTPException
from starlette.requests import Request
from starlette.responses import JSONResponse, Response
from starlette.routing import Route

from ..solve.solving import SolveError
from . import calls, openapi
from .bodies import body_text, json_object
from .failures import RequestError, message_of, refused
from .guard import Guard
from .jobs import Search
from .metrics import CONTENT_TYPE
from .service import Service
from .settings import Settings
from .slots import Busy

# How often a synchronous solve looks whether its client is still there.
DISCONNECT_POLL_SECONDS = 0.2


def create_app(settings: Settings) -> Starlette:
    """The service with `settings`; `app.state.service` holds its state (and `stop`)."""
    service = Service(settings)

    def deadline() -> float:
        return time.monotonic() + settings.request_timeout

    async def body(request: Request, until: float) -> str:
        return await body_text(request, settings.max_body, until)

    async def solve(request: Request) -> Response:
        until = deadline()
        search = await run_in_threadpool(calls.solve_call, await body(request, until), settings)
        return await _solved(service, request, search, until)

    async def check(request: Request) -> Response:
        data = await run_in_threadpool(json_object, await body(request, deadline()))
        return JSONResponse(await run_in_threadpool(calls.check, data, settings))

    async def replan(request: Request) -> Response:
        until = deadline()
        data = await run_in_threadpool(json_object, await body(request, until))
        search = await run_in_threadpool(calls.replan_call, data, settings)
        return await _solved(service, request, search, until)

    async def start_job(request: Request) -> Response:
        search = await run_in_threadpool(
            calls.solve_call, await body(request, deadline()), settings
        )
        try:
            job = service.jobs.start(search, service.within)
        except Busy:
            raise _busy() from None
        # Started, or waiting for a slot: one that has already finished says so at its record.
        status = "queued" if job.status == "queued" else "running"
        return JSONResponse({"id": job.id, "status": status}, status_code=202)

    async def job(request: Request) -> Response:
        found = service.jobs.get(request.path_params["id"])
        if found is None:
            raise RequestError(404, f"no job {request.path_params['id']!r}")
        if request.method == "DELETE":
            # The search looks at its flag about every 100 ms.
            await run_in_threadpool(service.jobs.stop, found, settings.grace)
        return JSONResponse(found.record())

    async def health(request: Request) -> Response:
        status = "shutting down" if service.stopping else "ok"
        record = {
            "status": status,
            "solving": service.slots.solving,
            "queued": service.slots.queued,
        }
        return JSONResponse(record, status_code=503 if service.stopping else 200)

    async def metrics(request: Request) -> Response:
        text = service.metrics.text(service.slots.solving, service.slots.queued)
        return Response(text, media_type=CONTENT_TYPE)

    description = openapi.description()

    async def openapi_json(request: Request) -> Response:
        return JSONResponse(description)

    routes = [
        Route("/solve", solve, methods=["POST"]),
        Route("/check", check, methods=["POST"]),
        Route("/replan", replan, methods=["POST"]),
        Route("/jobs", start_job, methods=["POST"]),
        Route("/jobs/{id}", job, methods=["GET", "DELETE"]),
        Route("/health", health, methods=["GET"]),
        Route("/metrics", metrics, methods=["GET"]),
        Route("/openapi.json", openapi_json, methods=["GET"]),
    ]
    app = Starlette(
        routes=routes,
        exception_handlers={
            RequestError: _request_error,
            HTTPException: _http_error,
            Exception: _internal_error,
        },
    )
    app.state.service = service
    app.add_middleware(
        Guard, token=settings.token, metrics=service.metrics, stopping=lambda: service.stopping
    )
    return app


async def _solved(service: Service, request: Request, search: Search, until: float) -> Response:
    """`search` on a free slot, its tour (as --json writes it) once done; stopped (answering its best tour) when the
    client goes away, the request's time is up or the service stops after its grace time."""
    gone = threading.Event()

    def progress(elapsed: float, descents: int, best: tuple[int, ...] | None) -> bool:
        return not gone.is_set() and service.within(elapsed, until)

    started = time.monotonic()
    try:
        future = asyncio.wrap_future(service.slots.submit(lambda: search(progress)))
    except Busy:
        raise _busy() from None
    while not future.done():
        await asyncio.wait({future}, timeout=DISCONNECT_POLL_SECONDS)
        if not future.done() and await request.is_disconnected():
            gone.set()
    try:
        tour = future.result()
    except (TypeError, ValueError, OverflowError, SolveError) as error:
        raise refused(error) from None
    service.metrics.solved(time.monotonic() - started)
    return Response(tour.to_json(indent=1, readable=True) + "\n", media_type="application/json")


def _busy() -> RequestError:
    return RequestError(429, "every solve slot and place in the queue is taken; try again later")


def _error(status: int, message: str) -> Response:
    return JSONResponse({"error": message}, status_code=status)


async def _request_error(request: Request, error: Exception) -> Response:
    assert isinstance(error, RequestError)
    return _error(error.status, error.message)


async def _http_error(request: Request, error: Exception) -> Response:
    assert isinstance(error, HTTPException)
    messages = {
        404: f"no such path: {request.url.path}",
        405: f"{request.method} is not allowed here",
    }
    return _error(error.status_code, messages.get(error.status_code, error.detail))


async def _internal_error(request: Request, error: Exception) -> Response:
    return _error(500, f"internal error: {message_of(error)}")
