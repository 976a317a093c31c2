"""What the commands of one problem share (solve, check, replan): reading the problem file and
a tour written by --json, the search with its progress bar and time limit, the files written,
and the summary and schedule printed."""

from __future__ import annotations

import argparse
import os
import sys
import time
from collections.abc import Callable
from typing import Any, TextIO

from ..files.atomic import write_text_atomically
from ..files.formats import ClassicInstance, ProblemFileError, read_problem_file
from ..model.problem import Problem
from ..render.itinerary import skipped_stops, skipped_text
from ..solve.options import SolveOptions, from_arguments
from ..solve.tour import Tour
from ..units.local_time import zone_name
from ..units.values import clock, format_instant, format_length, shifted_local
from .common import CUT_SHORT_STATUS, UserError, cut_short_advice, shown
from .progress import Interruption, ProgressBar

# The time kept back from the search for the schedule, the summary and the files, which grow
# with the tour: about 0.15 ms a location for the table and the JSON (bench/bench_big_inputs.py).
OUTPUT_SECONDS_PER_LOCATION = 0.000_15

OUTPUT_OPTIONS = ("--json", "--svg", "--html")


def outputs_of(args: argparse.Namespace) -> dict[str, str | None]:
    return {"--json": args.json, "--svg": args.svg, "--html": args.html}


def read_problem(path: str) -> tuple[Problem, ClassicInstance | None, dict[str, Any]]:
    """The problem of a file, the classic instance it was read as (if so) and the search
    options the file holds."""
    try:
        loaded, in_file = read_problem_file(path)
    except ProblemFileError as error:
        raise UserError(str(error)) from None
    if isinstance(loaded, ClassicInstance):
        return loaded.problem, loaded, in_file
    return loaded, None, in_file


def read_tour(path: str, option: str) -> Tour:
    """A tour written by --json, from a file or ('-') standard input."""
    try:
        if path == "-":
            text = sys.stdin.read()
        else:
            with open(path, encoding="utf-8") as file:
                text = file.read()
    except OSError as error:
        raise UserError(f"{option} {path}: {error.strerror or error}") from None
    except UnicodeDecodeError:
        raise UserError(f"{option} {path}: not UTF-8 text") from None
    try:
        return Tour.from_json(text)
    except (TypeError, ValueError) as error:
        # Also a file that is no JSON at all: the first line says which.
        first = str(error).splitlines()[0] if str(error) else type(error).__name__
        raise UserError(f"{option} {path}: not a tour written by --json ({first})") from None


def command_options(
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


def searched(
    search: Callable[[SolveOptions], Tour],
    problem: Problem,
    options: SolveOptions,
    started: float,
    interruption: Interruption,
) -> Tour:
    """`search(options)` within what is left of the time limit after what was spent since
    `started`, less what printing and writing the result will take; with a bar on a terminal,
    and ended (with its best tour) by an interruption."""
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
        return search(options.replace(on_progress=watch))
    except (TypeError, ValueError) as error:
        raise UserError(str(error)) from None
    finally:
        if bar is not None:
            bar.close()


def search_status(tour: Tour, options: SolveOptions, interruption: Interruption) -> int:
    """The exit status of a search, after its warning: 130 interrupted, 3 cut short, else 0."""
    if tour.cut_short:
        print(f"tourwright: warning: {cut_short_advice(options)}", file=sys.stderr)
    if interruption.happened:
        return 130
    return CUT_SHORT_STATUS if tour.cut_short else 0


def deliver(
    args: argparse.Namespace,
    source: str,
    problem: Problem,
    tour: Tour,
    classic: ClassicInstance | None,
    *,
    interrupted: bool = False,
    table: Callable[[TextIO], None] | None = None,
) -> None:
    """Writes the files asked for, then prints the summary and the schedule (or `table`)."""
    # Files first: a reader of the summary that goes away (`| head`) must not cost them.
    title = f"{os.path.basename(source)}: {_short_summary(tour)}"
    if args.json is not None and args.json != "-":
        write(args.json, tour.to_json(indent=1, readable=True) + "\n")
    if args.svg is not None:
        from ..render.svg import schedule_svg  # here: its imports are slow, and few runs draw

        try:
            picture = schedule_svg(tour, problem, title=title)
        except ValueError as error:
            raise UserError(f"--svg: {error}") from None
        write(args.svg, picture)
    if args.html is not None:
        from ..render.report_page import report_html  # here, as the picture

        write(args.html, report_html(tour, problem, title=title))
    # With the JSON on standard output the summary moves to standard error, so the JSON can be piped.
    out: TextIO = sys.stderr if args.json == "-" else sys.stdout
    summary(out, source, problem, tour, classic, searched=table is None)
    if table is not None:
        table(out)
    if interrupted:
        out.write("\ninterrupted: this is the best tour found before the interruption\n")
    if args.json == "-":
        write(args.json, tour.to_json(indent=1, readable=True) + "\n")


def refuse_overwriting(sources: dict[str, str], outputs: dict[str, str | None]) -> None:
    """Before any work: an output that is a file read (also through a link; `sources` maps each
    path read to what it is) would lose it, and two outputs to one file (or both to standard
    output) would leave only the last."""
    seen: dict[object, str] = {}
    read: dict[object, tuple[str, str]] = {}
    for source, what in sources.items():
        if source != "-":  # standard input: no output can be it
            read[file_identity(source)] = (what, source)
    for option, path in outputs.items():
        if path is None:
            continue
        identity = file_identity(path)
        if identity in read:
            what, source = read[identity]
            raise UserError(f"{option} {path} is {what} {source}; write the result elsewhere")
        if identity in seen:
            where = "standard output" if path == "-" else f"the same file {path}"
            raise UserError(
                f"{seen[identity]} and {option} both write to {where}; give each its own"
            )
        seen[identity] = option


def refuse_unwritable(outputs: dict[str, str | None]) -> None:
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


def file_identity(path: str) -> object:
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


def write(path: str, text: str) -> None:
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
    if tour.skipped:
        text += f", {len(tour.skipped)} skipped"
    return text


def summary(
    out: TextIO,
    source: str,
    problem: Problem,
    tour: Tour,
    classic: ClassicInstance | None,
    searched: bool = True,
) -> None:
    """The tour's figures, its report in the literature's terms for a classic file and, for a
    tour a search found (`searched`), the search's figures and the schedule."""
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
        if problem.breaks or tour.break_time:
            rows.append(("break time", format_length(tour.break_time or 0, dated)))
        if tour.start_time is not None and tour.end_time is not None:
            rows += [
                ("start", _instant(tour, tour.start_time)),
                ("end", _instant(tour, tour.end_time)),
            ]
    zone = "UTC" if problem.timezone is None else zone_name(problem.timezone)
    if problem.operation_times is not None:
        opening, closing = problem.operation_times
        rows.append(("operating hours", f"{clock(opening)} to {clock(closing)} {zone}"))
    elif problem.hours is not None:
        rows.append(("hours", f"{problem.hours.describe()} ({zone})"))
    if problem.breaks:
        rows.append(("breaks", "; ".join(rule.describe() for rule in problem.breaks)))
    if tour.skipped:
        rows.append(("skipped", skipped_text(skipped_stops(tour.skipped, problem))))
    if searched:
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
    if searched and tour.schedule is not None:
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
