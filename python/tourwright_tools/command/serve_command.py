"""`tourwright serve`: the HTTP service, run by uvicorn until SIGTERM or SIGINT."""

from __future__ import annotations

import argparse
import signal
import sys
from types import FrameType
from typing import Any

from ..serve.settings import Settings
from ..solve.options import available_cores
from .common import UserError

DEFAULTS = Settings()
# The service's limits: each a setting of the same name, positive.
LIMITS = (
    ("max_body", "BYTES", "the largest request body read, in bytes"),
    ("max_locations", "N", "the most locations of a problem solved"),
    ("max_time_limit", "S", "the longest search in seconds; caps a request's time limit"),
    ("request_timeout", "S", "seconds to send a body in, and the longest synchronous solve"),
)

# What uvicorn waits for once told to stop, beyond the solves' grace time: their answers.
ANSWER_SECONDS = 5.0


def add_serve_command(commands: Any) -> None:
    serve = commands.add_parser("serve", help="serve the solver over HTTP (a JSON API)")
    serve.add_argument(
        "--host", default="127.0.0.1", help="the address to listen on (default: loopback only)"
    )
    serve.add_argument("--port", type=int, default=8080, help="the port (default 8080)")
    serve.add_argument(
        "--workers", type=int, metavar="N", help="solves at once (default: one per core)"
    )
    serve.add_argument(
        "--queue", type=int, metavar="N", help="solves waiting beyond those (default: 2 x workers)"
    )
    for name, metavar, help in LIMITS:
        default = getattr(DEFAULTS, name)
        serve.add_argument(
            f"--{name.replace('_', '-')}",
            type=type(default),
            default=default,
            metavar=metavar,
            help=f"{help} (default {default:.15g})",
        )
    serve.add_argument(
        "--token-file",
        metavar="PATH",
        help="a file holding a bearer token that every request but GET /health must give",
    )


def run_serve(args: argparse.Namespace) -> int:
    try:
        import uvicorn

        from ..serve.app import create_app
    except ImportError as error:
        raise UserError(
            f"serve needs pip install 'tourwright[serve]' ({error.name} is missing)"
        ) from None
    workers = available_cores() if args.workers is None else args.workers
    queue = 2 * workers if args.queue is None else args.queue
    if workers < 1 or queue < 0:
        raise UserError("--workers needs 1 or more, --queue 0 or more")
    for name, _, _ in LIMITS:
        if not getattr(args, name) > 0:
            raise UserError(f"--{name.replace('_', '-')} needs a positive value")
    settings = Settings(
        workers=workers,
        queue=queue,
        max_body=args.max_body,
        max_locations=args.max_locations,
        max_time_limit=args.max_time_limit,
        request_timeout=args.request_timeout,
        token=None if args.token_file is None else _token(args.token_file),
    )
    app = create_app(settings)
    service = app.state.service
    config = uvicorn.Config(
        app,
        host=args.host,
        port=args.port,
        lifespan="off",
        log_level="warning",
        timeout_graceful_shutdown=int(settings.grace + ANSWER_SECONDS),
        # Beyond the solves that can be admitted, room for quick requests (health, jobs'
        # records); uvicorn answers 503 past it.
        limit_concurrency=4 * (workers + queue) + 64,
        timeout_keep_alive=5,
    )

    class Server(uvicorn.Server):
        def handle_exit(self, sig: int, frame: FrameType | None) -> None:
            # A stop asked for is the service's normal end (exit 0), so the signal is not
            # raised again after it, as uvicorn does; a second SIGINT forces it.
            if self.should_exit and sig == signal.SIGINT:
                self.force_exit = True
            service.stop()
            self.should_exit = True

    print(f"tourwright serve: listening on http://{args.host}:{args.port}", file=sys.stderr)
    Server(config).run()
    service.slots.close()
    return 0


def _token(path: str) -> str:
    try:
        with open(path, encoding="utf-8") as file:
            token = file.read().strip()
    except OSError as error:
        raise UserError(f"--token-file {path}: {error.strerror or error}") from None
    except UnicodeDecodeError:
        raise UserError(f"--token-file {path}: not UTF-8 text") from None
    if not token or any(character.isspace() for character in token):
        raise UserError(f"--token-file {path}: expected one token on one line")
    return token
