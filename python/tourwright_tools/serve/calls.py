"""What a request asks for, read as the commands read their files: a problem by the file reader
(and so with its checks), a tour as --json writes it; each search as a function of the
callback that reports its progress and stops it."""

from __future__ import annotations

import json
from collections.abc import Iterable
from typing import Any

from ..files.formats import ProblemFileError, problem_file_from_text
from ..model.problem import Problem
from ..solve.options import SolveOptions
from ..solve.replan import replan_with
from ..solve.solving import evaluate_route, solve_with
from ..solve.tour import Tour
from .failures import RequestError, refused
from .jobs import Search
from .settings import Settings

# The search options a re-plan takes, from the problem's "options" and then the request's.
REPLAN_OPTIONS = ("time_limit", "max_descents", "seed", "threads", "strategy")
REQUEST_REPLAN_OPTIONS = ("time_limit", "seed", "max_descents")
REPLAN_ARGUMENTS = ("done", "position", "in_progress", "keep_next", "options")


def solve_call(text: str, settings: Settings) -> Search:
    """`POST /solve` and `POST /jobs`: the body is a problem file."""
    problem, in_file = read_problem(text, settings)
    options = _options(in_file, settings)
    return lambda progress: solve_with(problem, options.replace(on_progress=progress))


def check(data: dict[str, Any], settings: Settings) -> dict[str, Any]:
    """`POST /check`: the route (or the tour's) timed, and whether it is on time."""
    _known(data, ("problem",), ("route", "tour"))
    if ("route" in data) == ("tour" in data):
        raise RequestError(400, 'give either "route" (locations) or "tour" (a result), not both')
    problem, in_file = problem_of(data["problem"], settings)
    route = data["route"] if "route" in data else tour_of(data["tour"]).route
    try:
        tour = evaluate_route(problem, route, departure=in_file.get("departure", "latest"))
    except (TypeError, ValueError) as error:
        raise refused(error) from None
    return {**tour.to_dict(readable=True), "on_time": not tour.lateness}


def replan_call(data: dict[str, Any], settings: Settings) -> Search:
    """`POST /replan`: the rest of the day of "tour" from "now"."""
    _known(data, ("problem", "tour", "now"), REPLAN_ARGUMENTS)
    problem, in_file = problem_of(data["problem"], settings)
    given = data.get("options", {})
    if not isinstance(given, dict):
        raise RequestError(422, f"options: expected an object, found {type(given).__name__}")
    unknown = sorted(set(given) - set(REQUEST_REPLAN_OPTIONS))
    if unknown:
        known = ", ".join(REQUEST_REPLAN_OPTIONS)
        raise RequestError(422, f"options: unknown option {unknown[0]!r}; known: {known}")
    chosen = {name: value for name, value in in_file.items() if name in REPLAN_OPTIONS}
    options = _options({**chosen, **given}, settings)
    plan = tour_of(data["tour"])

    def search(progress: Any) -> Tour:
        return replan_with(
            problem,
            plan,
            data["now"],
            options.replace(on_progress=progress),
            done=data.get("done"),
            position=data.get("position"),
            in_progress=data.get("in_progress"),
            keep_next=data.get("keep_next", 0),
        )

    return search


def read_problem(text: str, settings: Settings) -> tuple[Problem, dict[str, Any]]:
    """The problem file `text` and the search options it holds."""
    try:
        loaded, in_file = problem_file_from_text("problem.json", text)
    except ProblemFileError as error:
        status = refused(ValueError(error.message)).status
        where = "problem" if error.line is None else f"problem, line {error.line}"
        raise RequestError(status, f"{where}: {error.message}") from None
    assert isinstance(loaded, Problem)  # a .json file is never read as a classic one
    if loaded.size > settings.max_locations:
        message = f"problem: {loaded.size} locations; this service solves at most {settings.max_locations}"
        raise RequestError(413, message)
    return loaded, in_file


def problem_of(value: Any, settings: Settings) -> tuple[Problem, dict[str, Any]]:
    """A problem file given as a member of a request's object."""
    if not isinstance(value, dict):
        raise RequestError(400, f"problem: expected a JSON object, found {_kind(value)}")
    return read_problem(json.dumps(value), settings)


def tour_of(value: Any) -> Tour:
    try:
        if not isinstance(value, dict):
            raise TypeError(f"expected a JSON object, found {_kind(value)}")
        return Tour.from_dict(value)
    except (TypeError, ValueError) as error:
        first = str(error).splitlines()[0] if str(error) else type(error).__name__
        raise RequestError(400, f"tour: not a tour written by --json ({first})") from None


def _options(given: dict[str, Any], settings: Settings) -> SolveOptions:
    """The options, a time limit capped at the service's longest; a search without one is
    stopped there by its callback, so that the default search stays what it is."""
    try:
        options = SolveOptions(**given)
    except (TypeError, ValueError) as error:
        raise RequestError(422, f"options: {error}") from None
    if options.time_limit is not None and options.time_limit > settings.max_time_limit:
        return options.replace(time_limit=settings.max_time_limit)
    return options


def _known(data: dict[str, Any], required: Iterable[str], optional: Iterable[str]) -> None:
    required = tuple(required)
    unknown = sorted(set(data) - set(required) - set(optional))
    if unknown:
        known = ", ".join((*required, *optional))
        raise RequestError(400, f"unknown key {unknown[0]!r}; known keys: {known}")
    for key in required:
        if key not in data:
            raise RequestError(400, f"missing key {key!r}")


def _kind(value: Any) -> str:
    return {dict: "object", list: "list", str: "text", bool: "true or false"}.get(
        type(value), "a number" if isinstance(value, (int, float)) else "null"
    )
