"""The commands of a plan on its day: `check` times a route given by hand or by a result, stop by
stop; `replan` orders what is left of a day from where the van is; `solve --initial` begins the
search from a result."""

from __future__ import annotations

import argparse
from collections.abc import Callable, Iterable
from typing import Any, TextIO

from ..files.formats import ClassicInstance
from ..model.problem import Problem
from ..render.itinerary import Itinerary
from ..solve.options import (
    SolveOptions,
    command_line_fields,
    command_line_message,
    flag,
    from_arguments,
    given_arguments,
    locations_argument,
)
from ..solve.routes import checked_pinned, checked_route
from ..solve.solving import ends_of, evaluate_route
from ..solve.tour import Tour
from ..units import values
from ..units.timetext import TimeText
from .common import UserError, shown
from .one_tour import (
    command_options,
    deliver,
    outputs_of,
    read_problem,
    read_tour,
    refuse_overwriting,
    refuse_unwritable,
    search_status,
    searched,
)
from .progress import Interruption

# The exit status of a checked route that is late somewhere: a route, but not one to drive as is.
LATE_STATUS = 3

# The search options each command takes: a check searches nothing, and a re-plan leaves from
# where the van is, so neither takes the others.
CHECK_OPTIONS = ("depot", "start", "end", "departure")
REPLAN_OPTIONS = ("time_limit", "max_descents", "seed", "end", "threads", "strategy")
# The arguments of `replan` that its command takes under another name.
REPLAN_FLAGS = {
    "now": "--now",
    "done": "--done",
    "position": "--position",
    "in_progress": "--in-progress",
    "keep_next": "--keep-next",
}

OutputOptions = Callable[..., None]


def add_plan_commands(commands: Any, output_options: OutputOptions) -> None:
    """Adds `check` and `replan` to the subcommands; `output_options(parser, default,
    search=False)` gives a parser --json, --svg and --html."""
    check = commands.add_parser(
        "check",
        help="time a route of a problem file stop by stop: when the van arrives, works and "
        "leaves, and which stops are late and why",
    )
    check.add_argument("file", help="the problem file")
    route = check.add_mutually_exclusive_group(required=True)
    route.add_argument(
        "--route",
        metavar="L,L,...",
        type=locations_argument,
        help="the locations in visiting order",
    )
    route.add_argument(
        "--route-from",
        metavar="TOUR.json",
        help="the route of this result of --json ('-': standard input)",
    )
    output_options(check, argparse.SUPPRESS, search=False)
    _search_arguments(check, CHECK_OPTIONS)
    replan = commands.add_parser(
        "replan",
        help="order what is left of a day's plan from where the van is now",
    )
    replan.add_argument("file", help="the problem file (it may hold new jobs)")
    replan.add_argument(
        "--from",
        dest="plan",
        required=True,
        metavar="TOUR.json",
        help="the plan of the day, a result of --json ('-': standard input)",
    )
    replan.add_argument(
        "--now",
        required=True,
        metavar="WHEN",
        help="the instant of the re-plan: ISO 8601 (local to the problem's zone without an "
        "offset, e.g. 2026-12-07T12:10) or Unix seconds",
    )
    replan.add_argument(
        "--done",
        metavar="L,L,...",
        type=locations_argument,
        help="the locations whose jobs are done (default: those the plan had done by --now; "
        "'' for none)",
    )
    replan.add_argument(
        "--position",
        metavar="L|FROM,TO,ELAPSED",
        type=_position,
        help="where the van is: at a location, or on the way from one to another for ELAPSED "
        "(seconds, or ISO 8601 such as PT20M)",
    )
    replan.add_argument(
        "--in-progress",
        metavar="L|L,REMAINING",
        type=_in_progress,
        help="the job being worked on now, and the time it still takes (default: what is left "
        "of it)",
    )
    replan.add_argument(
        "--keep-next",
        metavar="K",
        type=int,
        default=0,
        help="keep the plan's next K stops, in its order, ahead of the rest",
    )
    output_options(replan, argparse.SUPPRESS, search=False)
    _search_arguments(replan, REPLAN_OPTIONS)


def run_check(args: argparse.Namespace) -> int:
    """`tourwright check`: 0 when the route is on time, 3 when it is late (a late stop or end)."""
    problem, classic, options, given = _read(args, "--route-from", args.route_from, CHECK_OPTIONS)
    route, where = args.route, "--route"
    if given is not None:
        route, where = given.route, f"--route-from {args.route_from}"
    try:
        tour = evaluate_route(
            problem,
            route,
            start=options.start,
            end=options.end,
            depot=options.depot,
            departure=options.departure,
        )
    except (TypeError, ValueError) as error:
        raise UserError(_renamed(str(error), {"route": where})) from None
    deliver(
        args, args.file, problem, tour, classic, table=lambda out: stop_table(out, problem, tour)
    )
    return LATE_STATUS if tour.lateness else 0


def run_replan(args: argparse.Namespace, started: float) -> int:
    """`tourwright replan`: exit statuses as for `solve`."""
    from ..solve.replan import replan_with  # here: only a re-plan needs it

    problem, classic, options, plan = _read(args, "--from", args.plan, REPLAN_OPTIONS)
    assert plan is not None
    now: int | str = int(args.now) if args.now.strip().isdigit() else args.now

    def search(given: SolveOptions) -> Tour:
        try:
            return replan_with(
                problem,
                plan,
                now,
                given,
                done=args.done,
                position=args.position,
                in_progress=args.in_progress,
                keep_next=args.keep_next,
            )
        except (TypeError, ValueError) as error:
            flags = {**REPLAN_FLAGS, "tour": f"--from {args.plan}"}
            raise type(error)(command_line_message(_renamed(str(error), flags))) from None

    with Interruption() as interruption:
        tour = searched(search, problem, options, started, interruption)
    deliver(args, args.file, problem, tour, classic, interrupted=interruption.happened)
    return search_status(tour, options, interruption)


def _read(
    args: argparse.Namespace, option: str, path: str | None, names: tuple[str, ...]
) -> tuple[Problem, ClassicInstance | None, SolveOptions, Tour | None]:
    """The problem file, the options given (only the search options `names`) and the tour
    `path` that `option` names, once the outputs are known not to overwrite them."""
    outputs = outputs_of(args)
    sources = {args.file: "the problem file"}
    if path is not None:
        sources.setdefault(path, "the tour file")
    refuse_overwriting(sources, outputs)
    refuse_unwritable(outputs)
    # A search option given before the command's name that the command does not take would be
    # silently ignored.
    for name in given_arguments(args):
        if name not in names:
            raise UserError(f"{flag(name)} is not an option of tourwright {args.command}")
    problem, classic, in_file = read_problem(args.file)
    if args.command == "replan":  # it leaves from where the van is: an end needs no start
        try:
            options = from_arguments(args, in_file)
        except (TypeError, ValueError) as error:
            raise UserError(str(error)) from None
    else:
        options = command_options(args, in_file, problem, classic)
    return problem, classic, options, None if path is None else read_tour(path, option)


def initial_route(path: str, problem: Problem, options: SolveOptions) -> tuple[int, ...]:
    """The route of the result `path` as the start of a search with `options`, refused (before
    any work) where it does not fit the problem and its ends."""
    route = read_tour(path, "--initial").route
    try:
        first, last = ends_of(problem, options)
        pinned = checked_pinned(problem, options.pinned, first, last)
        return checked_route(problem, route, first, last, pinned, where=f"--initial {path}")
    except (TypeError, ValueError) as error:
        raise UserError(command_line_message(str(error))) from None


def stop_table(out: TextIO, problem: Problem, tour: Tour) -> None:
    """The tour stop by stop: when the van arrives, waits, starts work and leaves, how late it
    is, and for a late stop why and the window it missed; each break under the stop whose
    row it is in, from its start to its end; then the optional stops left out, with their
    classes."""
    itinerary = Itinerary.of(tour, problem)
    stops = itinerary.stops
    text = itinerary.text

    def at(instant: int | None) -> str:
        return "-" if instant is None else text.at(instant, seconds=True)

    rows: list[tuple[str, ...]] = [
        ("#", "stop", "arrives", "waits", "starts work", "leaves", "late")
    ]
    notes = [""]
    for stop in stops:
        timed = stop.arrival is not None
        rows.append(
            (
                str(stop.number),
                shown(stop.label),
                at(stop.arrival),
                text.length(stop.wait) if timed else "-",
                at(stop.work_start),
                at(stop.departure),
                text.length(stop.late) if stop.late else "",
            )
        )
        note = ""
        if stop.late:
            note = f"! {stop.late_because}"
            if stop.missed is not None:
                note += f"; missed {_window(text, stop.missed)}"
        notes.append(note)
        for taken in itinerary.breaks:
            if taken.row == stop.index:
                rows.append(
                    ("", shown(f"break {taken.place}"), at(taken.start), "", "", at(taken.end), "")
                )
                notes.append("")
    if tour.lateness is None:  # no time data: the order alone
        rows = [row[:2] for row in rows]
    widths = [max(len(row[column]) for row in rows) for column in range(len(rows[0]))]
    lines = ["\n"]
    for row, note in zip(rows, notes):
        cells = [row[0].rjust(widths[0]), row[1].ljust(widths[1])]
        cells += [cell.rjust(width) for cell, width in zip(row[2:], widths[2:])]
        lines.append(("  ".join(cells) + ("  " + note if note else "")).rstrip() + "\n")
    if itinerary.late_end > 0:
        end = tour.route[0] if tour.returns else tour.route[-1]
        lines.append(
            f"! the end at {shown(problem.name(end))} is {text.length(itinerary.late_end)} after "
            "its last window\n"
        )
    lines += [
        f"{'-'.rjust(widths[0])}  {shown(left.label).ljust(widths[1])}  skipped (class "
        f"{left.priority})\n"
        for left in itinerary.skipped
    ]
    out.write("".join(lines))


def _window(text: TimeText, window: tuple[int, int]) -> str:
    """'11:00-13:00', the date before it on a tour of several days."""
    opening, closing = window
    if not text.dated or text.day(opening) != text.day(closing):
        return f"{text.at(opening)}-{text.at(closing)}"
    return f"{text.at(opening)}-{text.local(closing):%H:%M}"


def _search_arguments(parser: argparse.ArgumentParser, names: Iterable[str]) -> None:
    """The search options `names`, as `solve` takes them."""
    for field in command_line_fields():
        if field.name in names:
            parser.add_argument(
                flag(field.name),
                dest=field.name,
                default=argparse.SUPPRESS,
                metavar=field.metadata["metavar"],
                help=field.metadata["help"],
                **field.metadata["command"],
            )


def _renamed(message: str, names: dict[str, str]) -> str:
    """A message about an argument ("route: ...") as it reads on the command line."""
    name, colon, rest = message.partition(":")
    # "position[2]: ...": the third part of what --position gave.
    given = name.partition("[")[0]
    return names[given] + colon + rest if colon and given in names else message


def _duration(text: str, where: str) -> int:
    """Seconds, given as a count or as an ISO 8601 duration (PT20M)."""
    text = text.strip()
    try:
        return values.seconds(int(text) if text.isdigit() else text, where)
    except ValueError as error:
        raise argparse.ArgumentTypeError(str(error)) from None


def _location(text: str, where: str) -> int:
    try:
        return int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"{where}: expected a location, got {text!r}") from None


def _position(text: str) -> int | tuple[int, int, int]:
    parts = text.split(",")
    if len(parts) == 1:
        return _location(parts[0], "position")
    if len(parts) == 3:
        return (
            _location(parts[0], "position"),
            _location(parts[1], "position"),
            _duration(parts[2], "position's elapsed time"),
        )
    raise argparse.ArgumentTypeError(
        f"expected a location or FROM,TO,ELAPSED (the van on its way), got {text!r}"
    )


def _in_progress(text: str) -> int | tuple[int, int]:
    parts = text.split(",")
    if len(parts) == 1:
        return _location(parts[0], "in-progress")
    if len(parts) == 2:
        return (_location(parts[0], "in-progress"), _duration(parts[1], "remaining time"))
    raise argparse.ArgumentTypeError(f"expected a location or L,REMAINING, got {text!r}")
