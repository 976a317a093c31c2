"""The `tourwright` command: solve the bundled example or a problem file, print a summary and
the schedule, and optionally write the result as JSON, a picture as SVG and a report page."""

from __future__ import annotations

import argparse
import os
import sys
import time
from collections.abc import Sequence
from typing import Any, NoReturn, TextIO

from .. import __version__, imported_at
from ..files.atomic import write_text_atomically
from ..files.formats import ClassicInstance, ProblemFileError, read_json, read_problem_file
from ..model.problem import Problem
from ..solve.options import SolveOptions, from_arguments
from ..solve.options import add_arguments as add_search_arguments
from ..solve.solving import SolveError, solve_with
from ..solve.tour import Tour
from ..units.local_time import zone_name
from ..units.values import clock, format_instant, format_length, shifted_local
from .common import CUT_SHORT_STATUS, UserError, cut_short_advice, shown
from .progress import Interruption, ProgressBar

# The time kept back from the search for the schedule, the summary and the files, which grow
# with the tour: about 0.15 ms a location for the table and the JSON (bench/bench_big_inputs.py).
OUTPUT_SECONDS_PER_LOCATION = 0.000_15


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
    _output_options(solve, argparse.SUPPRESS)
    batch = commands.add_parser(
        "batch", help=("solve many problem files at once, on local workers or a Dask cluster")
    )
    _batch_arguments(batch)
    add_search_arguments(batch, argparse.SUPPRESS)
    parser.set_defaults(command="example")
    return parser


def _output_options(parser: argparse.ArgumentParser, default: str | None) -> None:
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
    outputs = {"--json": args.json, "--svg": args.svg, "--html": args.html}
    _refuse_overwriting(args.file if args.command == "solve" else None, outputs)
    _refuse_unwritable(outputs)
    classic: ClassicInstance | None = None
    in_file: dict[str, Any] = {}
    if args.command == "solve":
        source = args.file
        try:
            loaded, in_file = read_problem_file(args.file)
        except ProblemFileError as error:
            raise UserError(str(error)) from None
        problem = loaded.problem if isinstance(loaded, ClassicInstance) else loaded
        classic = loaded if isinstance(loaded, ClassicInstance) else None
    else:
        source = "bundled example"
        import importlib.resources  # here: slow to import, and only the example needs it

        with importlib.resources.as_file(
            importlib.resources.files("tourwright_tools") / "example.json"
        ) as path:
            problem = read_json(path)
    options = _options(args, in_file, problem, classic)
    with Interruption() as interruption:
        tour = _solve(problem, options, started, interruption)
    # Files first: a reader of the summary that goes away (`| head`) must not cost them.
    title = f"{os.path.basename(source)}: {_short_summary(tour)}"
    if args.json is not None and args.json != "-":
        _write(args.json, tour.to_json(indent=1, readable=True) + "\n")
    if args.svg is not None:
        from ..render.svg import schedule_svg  # here: its imports are slow, and few runs draw

        try:
            picture = schedule_svg(tour, problem, title=title)
        except ValueError as error:
            raise UserError(f"--svg: {error}") from None
        _write(args.svg, picture)
    if args.html is not None:
        from ..render.report_page import report_html  # here, as the picture

        _write(args.html, report_html(tour, problem, title=title))
    # With the JSON on standard output the summary moves to standard error, so the JSON can be piped.
    out: TextIO = sys.stderr if args.json == "-" else sys.stdout
    _summary(out, source, problem, tour, classic)
    if interruption.happened:
        out.write("\ninterrupted: this is the best tour found before the interruption\n")
    if args.json == "-":
        _write(args.json, tour.to_json(indent=1, readable=True) + "\n")
    if tour.cut_short:
        print(f"tourwright: warning: {cut_short_advice(options)}", file=sys.stderr)
    if interruption.happened:
        return 130
    return CUT_SHORT_STATUS if tour.cut_short else 0


def _options(
    args: argparse.Namespace,
    in_file: dict[str, Any],
    problem: Problem,
    classic: ClassicInstance | None,
) -> SolveOptions:
    """The search options given over those `in_file`, each fault named by its option; a
    classic file leaves from its depot unless they say otherwise."""
    try:
        options = from_arguments(args, in_file)
    except (TypeError, ValueError) as error:
        raise UserError(str(error)) from None
    ends_given = any(value is not None for value in (options.depot, options.start, options.end))
    if classic is not None and not ends_given:
        return options.replace(depot=classic.depot)
    if options.end is not None and options.start is None and options.depot is None:
        if problem.start is None and classic is None:
            raise UserError(
                "--end needs a start, the location the tour leaves from: add --start LOCATION "
                '(or give the file a "start" or "depot")'
            )
        if classic is not None:
            return options.replace(start=classic.depot)
    return options


def _solve(
    problem: Problem, options: SolveOptions, started: float, interruption: Interruption
) -> Tour:
    """Solves within what is left of the time limit after what was spent since `started`, less
    what printing and writing the result will take; with a bar on a terminal, and ended (with
    its best tour) by an interruption."""
    limit = options.time_limit
    if limit is not None:
        spent = time.monotonic() - started
        left = max(0.0, limit - spent - OUTPUT_SECONDS_PER_LOCATION * problem.size)
        options = options.replace(time_limit=left)
    bar = None
    if sys.stderr.isatty() and (limit is None or limit > 0):
        descents, _ = options.effort(problem)
        bar = ProgressBar(sys.stderr, limit, descents, time.monotonic() - started)
    watch = interruption.watch(bar)
    try:
        return solve_with(problem, options.replace(on_progress=watch))
    except (TypeError, ValueError) as error:
        raise UserError(str(error)) from None
    finally:
        if bar is not None:
            bar.close()


def _refuse_overwriting(source: str | None, outputs: dict[str, str | None]) -> None:
    """Before any work: an output that is the problem file (also through a link) would lose it,
    and two outputs to one file (or both to standard output) would leave only the last."""
    seen: dict[object, str] = {}
    if source is not None:
        seen[_file_identity(source)] = "the problem file"
    for option, path in outputs.items():
        if path is None:
            continue
        identity = _file_identity(path)
        if identity in seen:
            earlier = seen[identity]
            if earlier == "the problem file":
                raise UserError(
                    f"{option} {path} is the problem file {source}; write the result elsewhere"
                )
            where = "standard output" if path == "-" else f"the same file {path}"
            raise UserError(f"{earlier} and {option} both write to {where}; give each its own")
        seen[identity] = option


def _refuse_unwritable(outputs: dict[str, str | None]) -> None:
    """Before any work: an output that cannot be written would fail only after the search."""
    for option, path in outputs.items():
        if path is None or path == "-":
            continue
        if os.path.isdir(path):
            raise UserError(f"{option} {path} is a folder; name a file")
        folder = os.path.dirname(os.path.abspath(path))
        if not os.path.isdir(folder):
            raise UserError(f"cannot write {path}: there is no folder {folder}")
        if not os.access(folder, os.W_OK | os.X_OK):
            raise UserError(f"cannot write {path}: no permission to write in {folder}")


def _file_identity(path: str) -> object:
    """What names one file whatever the path: its device and inode where it exists, else the
    path with every link resolved (a file yet to be written)."""
    if path == "-":
        return "-"
    try:
        status = os.stat(path)
        return (status.st_dev, status.st_ino)
    except OSError:  # absent
        return os.path.realpath(path)
    except ValueError:  # not a name the system takes: writing it fails with its own message
        return path


def _write(path: str, text: str) -> None:
    if path == "-":
        sys.stdout.write(text)
        return
    try:
        write_text_atomically(path, text)
    except OSError as error:
        raise UserError(f"cannot write {path}: {error.strerror or error}") from None


def _short_summary(tour: Tour) -> str:
    text = f"distance {tour.distance}"
    if tour.lateness is not None and tour.start_time is not None:
        text += f", lateness {format_length(tour.lateness, tour.dated)}"
    return text


def _summary(
    out: TextIO, source: str, problem: Problem, tour: Tour, classic: ClassicInstance | None
) -> None:
    dated = tour.dated
    back = tour.route[:1] if tour.returns else ()
    names = [shown(problem.name(location)) for location in tour.route + back]
    rows: list[tuple[str, str | int]] = [
        ("problem", f"{shown(source)}: {problem!r}"),
        ("tour", " > ".join(names)),
        ("distance", tour.distance),
    ]
    if tour.lateness is not None:
        rows += [
            (label, format_length(value or 0, dated))
            for label, value in (
                ("lateness", tour.lateness),
                ("duration", tour.duration),
                ("working time", tour.working_time),
                ("traveling time", tour.traveling_time),
                ("waiting time", tour.waiting_time),
            )
        ]
        if tour.start_time is not None and tour.end_time is not None:
            rows += [
                ("start", _instant(tour, tour.start_time)),
                ("end", _instant(tour, tour.end_time)),
            ]
    if problem.operation_times is not None:
        opening, closing = problem.operation_times
        zone = "UTC" if problem.timezone is None else zone_name(problem.timezone)
        rows.append(("operating hours", f"{clock(opening)} to {clock(closing)} {zone}"))
    rows += [
        ("iterations", tour.iterations),
        ("time taken", f"{tour.time_taken_microseconds / 1e6:.2f} s"),
    ]
    for label, value in rows:
        out.write(f"{label + ':':16} {value}\n")
    if classic is not None:
        report = classic.report(tour)
        out.write("\nIn the literature's terms (leave the depot at its opening, hard windows):\n")
        out.write(f"{'route:':16} {' '.join(map(str, report.route))}\n")
        out.write(f"{'travel time:':16} {report.travel_time:g}\n")
        out.write(f"{'makespan:':16} {report.makespan:g}\n")
        verdict = "yes" if report.feasible else f"no, {report.late_arrivals} late arrivals"
        out.write(f"{'feasible:':16} {verdict}\n")
    if tour.schedule is not None:
        _schedule_table(out, problem, tour, dated)


def _instant(tour: Tour, instant: int) -> str:
    """Local date and time with the offset (and UTC beside it when they differ)."""
    if not tour.dated:
        return str(instant)
    if tour.zone is None:  # also past the year 9999, where datetime ends
        return f"{format_instant(instant, True)} UTC"
    offset = f"{shifted_local(instant, tour.zone)[0]:%z}"
    text = f"{format_instant(instant, True, zone=tour.zone)} {offset}"
    return f"{text} ({format_instant(instant, True)} UTC)"


def _schedule_table(out: TextIO, problem: Problem, tour: Tour, dated: bool) -> None:
    assert tour.schedule is not None
    # Times of day suffice when the whole tour lies within one local day (given in the summary).
    days = {
        format_instant(t or 0, dated, zone=tour.zone)[:-9] for t in (tour.start_time, tour.end_time)
    }
    with_date = len(days) > 1
    width = (19 if with_date else 8) if dated else 10
    lines = [f"\n{'kind':7} {'location':32} {'start':>{width}} {'end':>{width}} {'length':>10}\n"]
    for event in tour.schedule:
        if event.location is not None:
            where = shown(problem.name(event.location))
        elif event.from_location is not None and event.to_location is not None:
            where = (
                f"{shown(problem.name(event.from_location))} > "
                f"{shown(problem.name(event.to_location))}"
            )
        else:
            where = ""
        start, end = (
            format_instant(t, dated, with_date, tour.zone) for t in (event.start, event.end)
        )
        length = format_length(event.length, dated)
        lines.append(f"{event.kind:7} {where:32} {start:>{width}} {end:>{width}} {length:>10}\n")
    out.write("".join(lines))  # at once: a write per line costs more than the table's making
