"""The `tourwright` command: solve the bundled example or a problem file, print a summary and
the schedule, and optionally write the result as JSON, a picture as SVG and a report page."""

from __future__ import annotations

import argparse
import os
import sys
import time
from collections.abc import Sequence
from typing import Any, NoReturn

from .. import __version__, imported_at
from ..files.formats import ClassicInstance, read_json
from ..solve.options import add_arguments as add_search_arguments
from ..solve.solving import SolveError, solve_with
from .common import UserError, shown
from .one_tour import (
    command_options,
    deliver,
    outputs_of,
    read_problem,
    refuse_overwriting,
    refuse_unwritable,
    search_status,
    searched,
)
from .plan_commands import add_plan_commands, initial_route, run_check, run_replan
from .progress import Interruption
from .serve_command import add_serve_command, run_serve


class _Parser(argparse.ArgumentParser):
    def error(self, message: str) -> NoReturn:
        raise UserError(f"{message} (see tourwright --help)")


def command() -> int:
    """The `tourwright` command: its time limit counts from the package's import, the command's
    first line of Python, so that its imports are within the limit too (and not whatever ran
    before it in the process, such as the installation a shell ran before exec'ing it)."""
    return main(started=imported_at())


def main(argv: Sequence[str] | None = None, *, started: float | None = None) -> int:
    """Runs the command line `argv` (default: the process's); its time limit counts from
    `started` (a `time.monotonic()` instant; default: now)."""
    started = time.monotonic() if started is None else started
    try:
        args = _parser().parse_args(argv)
        return _run(args, started)
    except UserError as error:
        print(f"tourwright: {shown(str(error), keep_lines=True)}", file=sys.stderr)
        return 2
    except SolveError as error:
        print(f"tourwright: {shown(str(error), keep_lines=True)}", file=sys.stderr)
        return 1
    except OverflowError as error:
        # A value of the problem or its result beyond what can be computed with or shown.
        print(f"tourwright: a value out of range: {error}", file=sys.stderr)
        return 2
    except KeyboardInterrupt:
        print("tourwright: interrupted", file=sys.stderr)
        return 130
    except BrokenPipeError:
        # The reader of the output went away (e.g. `| head`): stop quietly.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return 1


def _parser() -> argparse.ArgumentParser:
    parser = _Parser(
        prog="tourwright",
        description=(
            "Solve a Traveling Salesman Problem with Time Windows. Without a command, solves a "
            "bundled example: a delivery day of one van and 24 customers."
        ),
    )
    parser.add_argument("--version", action="version", version=f"tourwright {__version__}")
    _output_options(parser, None)
    commands = parser.add_subparsers(dest="command", metavar="COMMAND", parser_class=_Parser)
    example = commands.add_parser("example", help="solve the bundled example (the default)")
    _output_options(example, argparse.SUPPRESS)
    solve = commands.add_parser(
        "solve", help="solve a problem file (JSON, or the classic TSPTW format)"
    )
    solve.add_argument("file", help="the problem file")
    solve.add_argument(
        "--initial",
        metavar="TOUR.json",
        help="begin the search from the route of this result of --json ('-': standard input)",
    )
    _output_options(solve, argparse.SUPPRESS)
    batch = commands.add_parser(
        "batch", help=("solve many problem files at once, on local workers or a Dask cluster")
    )
    _batch_arguments(batch)
    add_search_arguments(batch, argparse.SUPPRESS)
    add_plan_commands(commands, _output_options)
    add_serve_command(commands)
    parser.set_defaults(command="example")
    return parser


def _output_options(
    parser: argparse.ArgumentParser, default: str | None, search: bool = True
) -> None:
    # Given before or after the command; the command's own options leave unset ones alone.
    parser.add_argument(
        "--json",
        metavar="OUT",
        default=default,
        help="write the result as one JSON object ('-': standard output)",
    )
    parser.add_argument(
        "--svg",
        metavar="OUT",
        default=default,
        help="write a picture of the schedule (and of the tour on a map) as SVG",
    )
    parser.add_argument(
        "--html",
        metavar="OUT",
        default=default,
        help=(
            "write a report page: one HTML file with the map, the timeline and a table of stops, "
            "to open in a browser (works offline)"
        ),
    )
    if search:
        add_search_arguments(parser, default)


def _batch_arguments(batch: argparse.ArgumentParser) -> None:
    batch.add_argument(
        "inputs",
        nargs="+",
        metavar="INPUT",
        help="problem files, or folders whose files are all problem files",
    )
    batch.add_argument(
        "--out",
        required=True,
        metavar="DIR",
        help=(
            "folder for one result per problem (NAME.tour.json), summary.csv and summary.json; "
            "a problem that already has a complete result there is not solved again"
        ),
    )
    batch.add_argument(
        "--workers", type=int, metavar="N", help="solve N problems at once (default: one per core)"
    )
    batch.add_argument(
        "--scheduler",
        metavar="ADDRESS",
        help=(
            "run on the Dask cluster whose scheduler listens at ADDRESS (tcp://HOST:PORT); "
            "needs pip install 'tourwright[dask]'"
        ),
    )


def _run(args: argparse.Namespace, started: float) -> int:
    if args.command == "batch":
        from .batch_command import run

        return run(args)
    if args.command == "check":
        return run_check(args)
    if args.command == "replan":
        return run_replan(args, started)
    if args.command == "serve":
        return run_serve(args)
    outputs = outputs_of(args)
    sources = {args.file: "the problem file"} if args.command == "solve" else {}
    initial = getattr(args, "initial", None)
    if initial is not None:
        sources.setdefault(initial, "the tour file")
    refuse_overwriting(sources, outputs)
    refuse_unwritable(outputs)
    classic: ClassicInstance | None = None
    in_file: dict[str, Any] = {}
    if args.command == "solve":
        source = args.file
        problem, classic, in_file = read_problem(args.file)
    else:
        source = "bundled example"
        import importlib.resources  # here: slow to import, and only the example needs it

        with importlib.resources.as_file(
            importlib.resources.files("tourwright_tools") / "example.json"
        ) as path:
            problem = read_json(path)
    options = command_options(args, in_file, problem, classic)
    if initial is not None:
        options = options.replace(initial=initial_route(initial, problem, options))
    with Interruption() as interruption:
        tour = searched(
            lambda given: solve_with(problem, given), problem, options, started, interruption
        )
    deliver(args, source, problem, tour, classic, interrupted=interruption.happened)
    return search_status(tour, options, interruption)
