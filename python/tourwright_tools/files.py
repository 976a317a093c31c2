"""Problem files: JSON with `solve`'s parameter names, and the classic TSPTW text format."""
from __future__ import annotations

import array
import dataclasses
import decimal
import json
import math
import operator
import os
from collections.abc import Sequence
from typing import Any, Optional, Union

from .matrix import Matrix
from .problem import Problem
from .tour import Tour

PathLike = Union[str, "os.PathLike[str]"]

JSON_KEYS = frozenset({
    "distance_matrix", "duration_matrix", "job_durations", "time_windows", "operation_times",
    "names", "coordinates", "check_units",
})
CLASSIC_EXTENSIONS = frozenset({".txt", ".tw", ".dat", ".tsptw"})
# Keys a person may add to a JSON problem for their own notes.
JSON_NOTE_KEYS = frozenset({"description", "comment"})


class ProblemFileError(ValueError):
    """A problem file that cannot be read: names the file, the line where there is one, and why."""

    def __init__(self, path: PathLike, message: str, line: Optional[int] = None) -> None:
        super().__init__(path, message, line)
        self.path = os.fspath(path)
        self.message = message
        self.line = line

    def __str__(self) -> str:
        where = self.path if self.line is None else f"{self.path}, line {self.line}"
        return f"{where}: {self.message}"


def read_problem(path: PathLike) -> Union[Problem, "ClassicInstance"]:
    """A JSON problem (a `.json` file, or one starting with '{'), else a classic TSPTW file."""
    return problem_from_text(path, _read_text(path))


def problem_from_text(path: PathLike, text: str) -> Union[Problem, "ClassicInstance"]:
    """What `read_problem` makes of `text`, the contents of the file `path` read elsewhere
    (a batch reads its files where they are and solves them on other machines)."""
    if os.fspath(path).endswith(".json") or text.lstrip().startswith("{"):
        return _json_problem(path, text)
    return _classic_instance(path, text)


def read_json(path: PathLike) -> Problem:
    """A problem from a JSON object whose keys are `solve`'s parameter names (plus `names`,
    `coordinates`, `check_units` and a free-text `description`)."""
    return _json_problem(path, _read_text(path))


def read_tsptw(path: PathLike) -> "ClassicInstance":
    """A problem in the classic TSPTW text format (see `ClassicInstance`)."""
    return _classic_instance(path, _read_text(path))


def _read_text(path: PathLike) -> str:
    try:
        with open(path, encoding="utf-8") as file:
            return file.read()
    except OSError as error:
        raise ProblemFileError(path, error.strerror or str(error)) from error
    except UnicodeDecodeError as error:
        raise ProblemFileError(path, f"not a text file ({error.reason})") from error


def _json_problem(path: PathLike, text: str) -> Problem:
    try:
        data = json.loads(text)
    except json.JSONDecodeError as error:
        raise ProblemFileError(path, f"not valid JSON: {error.msg}", error.lineno) from error
    if not isinstance(data, dict):
        raise ProblemFileError(path, f"expected a JSON object, found {type(data).__name__}")
    unknown = sorted(set(data) - JSON_KEYS - JSON_NOTE_KEYS)
    if unknown:
        raise ProblemFileError(path, f"unknown key {unknown[0]!r}; known keys: {', '.join(sorted(JSON_KEYS))}")
    if "distance_matrix" not in data:
        raise ProblemFileError(path, "missing key 'distance_matrix'")
    try:
        return Problem.from_dict({key: value for key, value in data.items() if key in JSON_KEYS})
    except (TypeError, ValueError) as error:
        raise ProblemFileError(path, str(error)) from error


@dataclasses.dataclass(frozen=True)
class ClassicReport:
    """A tour judged by the literature's rules: leave the depot (location 0) at its opening,
    wait when early, an arrival after its due time (the return included) is a violation.
    Values are in the file's units, comparable with published best-known values."""

    route: tuple[int, ...]  # rotated to start at the depot
    travel_time: float      # the sum of the matrix entries of the closed tour
    makespan: float         # the arrival back at the depot
    late_arrivals: int      # arrivals after their due time, the return to the depot included

    @property
    def feasible(self) -> bool:
        return self.late_arrivals == 0


@dataclasses.dataclass(frozen=True)
class ClassicInstance:
    """A classic TSPTW file: a count N, N matrix rows, then N lines 'ready due'; location 0 is
    the depot; service times are folded into the matrix.

    Read as: distance and duration matrix = the file's matrix, zero job durations, one window
    per location; `depot` (location 0) is to be passed to `solve_problem`, which then leaves it
    at its opening and counts a return after its due time as lateness. Decimal files are
    scaled to integers by `scale` (a power of ten); `windows` are the file's windows so scaled.
    """

    name: str
    problem: Problem
    windows: tuple[tuple[int, int], ...]
    scale: int
    depot: int = 0

    def report(self, tour: Tour) -> ClassicReport:
        route = tour.route
        depot = route.index(0)
        rotated = route[depot:] + route[:depot]
        matrix = self.problem.distance_matrix
        clock = self.windows[0][0]
        travel = late = 0
        for here, there in zip(rotated, rotated[1:] + rotated[:1]):
            travel += matrix.at(here, there)
            ready, due = self.windows[there]
            clock = max(clock + matrix.at(here, there), ready)
            late += clock > due
        return ClassicReport(rotated, travel / self.scale, clock / self.scale, late)


def _classic_instance(path: PathLike, text: str) -> ClassicInstance:
    """Either classic layout: a count on the first line starts the matrix layout."""
    for line in text.splitlines():
        words = line.split()
        if words and not words[0].startswith("#"):
            if len(words) == 1:
                return _matrix_instance(path, text)
            return _coordinates_instance(path, text)
    raise ProblemFileError(path, "empty file; expected the number of locations on the first line")


def _matrix_instance(path: PathLike, text: str) -> ClassicInstance:
    lines = [(number, line.split()) for number, line in enumerate(text.splitlines(), start=1)
             if line.strip() and not line.lstrip().startswith("#")]
    first, words = lines[0]
    if len(words) != 1 or not words[0].isdigit() or int(words[0]) == 0:
        raise ProblemFileError(path, f"expected the number of locations, found {' '.join(words)!r}", first)
    n = int(words[0])
    body = lines[1:]
    if len(body) < 2 * n:
        raise ProblemFileError(
            path, f"ends after {len(body)} lines of data; expected {n} matrix rows and {n} 'ready due' lines"
        )
    if len(body) > 2 * n:
        raise ProblemFileError(path, f"unexpected line after the {n} 'ready due' lines", body[2 * n][0])
    numbers = []
    for index, (number, words) in enumerate(body):
        expected, what = (n, f"matrix row {index}") if index < n else (2, f"'ready due' of location {index - n}")
        if len(words) != expected:
            raise ProblemFileError(path, f"{what}: expected {expected} numbers, found {len(words)}", number)
        whole = _whole_numbers(words)
        numbers.append((number, whole if whole is not None else [_decimal(path, word, number) for word in words]))
    # Decimal files are scaled to whole numbers by the power of ten of their longest fraction.
    decimals = [row for _, row in numbers if not isinstance(row, array.array)]
    places = max((-int(value.as_tuple().exponent) for row in decimals for value in row), default=0)
    scale = 10 ** max(0, places)
    rows = [row if scale == 1 and isinstance(row, array.array) else [int(value * scale) for value in row]
            for _, row in numbers]
    matrix, windows = rows[:n], [(ready, due) for ready, due in rows[n:]]
    for (number, _), (ready, due) in zip(body[n:], windows):
        if due < ready:
            raise ProblemFileError(path, f"the window ends ({due}) before it starts ({ready})", number)
    return _instance(path, matrix, windows, scale, None)


def _instance(path: PathLike, matrix: Sequence[Sequence[int]], windows: list[tuple[int, int]], scale: int,
              coordinates: Optional[list[tuple[float, float]]]) -> ClassicInstance:
    n = len(matrix)
    try:
        table: Any = Matrix.from_rows(matrix, n)  # one buffer for both matrices
    except OverflowError:
        table = matrix  # beyond 64 bits: the problem's checks name the entry
    try:
        problem = Problem(table, table, [0] * n, [[window] for window in windows],
                          coordinates=coordinates, check_units=False)
    except ValueError as error:  # values beyond the engine's range
        raise ProblemFileError(path, str(error)) from error
    stem, extension = os.path.splitext(os.path.basename(os.fspath(path)))
    # Some collections name files without an extension but with dots ("rc201.0").
    name = stem if extension in CLASSIC_EXTENSIONS else stem + extension
    return ClassicInstance(name, problem, tuple(windows), scale)


def _coordinates_instance(path: PathLike, text: str) -> ClassicInstance:
    """One line 'number x y demand ready due service' per location, numbered from 1; header
    lines (not starting with a number) are skipped, and '999 0 0 0 0 0 0' ends the list.
    The matrix is the convention of these collections: the Euclidean distance rounded down,
    then shortened in place through a third location, k innermost (not a full shortest-path
    closure); each location's service time is added to the legs leaving it."""
    rows: list[list[decimal.Decimal]] = []
    for number, line in enumerate(text.splitlines(), start=1):
        words = line.split()
        if not words or not _is_number(words[0]):
            continue
        if len(words) != 7:
            raise ProblemFileError(
                path, f"expected 7 numbers (number x y demand ready due service), found {len(words)}", number)
        values = [_decimal(path, word, number, negative=index in (1, 2)) for index, word in enumerate(words)]
        if values[0] == 999 and not any(values[1:]):
            break
        if values[0] != len(rows) + 1:
            raise ProblemFileError(path, f"location number {words[0]}, expected {len(rows) + 1}", number)
        if any(value != value.to_integral_value() for value in values[4:]):
            raise ProblemFileError(path, "ready, due and service times must be whole numbers", number)
        if values[5] < values[4]:
            raise ProblemFileError(path, f"the window ends ({words[5]}) before it starts ({words[4]})", number)
        rows.append(values)
    if not rows:
        raise ProblemFileError(path, "no location lines (number x y demand ready due service)")
    points = [(row[1], row[2]) for row in rows]
    matrix = [[_floor_distance(a, b) for b in points] for a in points]
    _shorten_through_third(matrix)
    for i, (row, values) in enumerate(zip(matrix, rows)):
        row[:] = [length + int(values[6]) if j != i else length for j, length in enumerate(row)]
    windows = [(int(row[4]), int(row[5])) for row in rows]
    return _instance(path, matrix, windows, 1, [(float(x), float(y)) for x, y in points])


def _floor_distance(a: tuple[decimal.Decimal, decimal.Decimal], b: tuple[decimal.Decimal, decimal.Decimal]) -> int:
    dx, dy = a[0] - b[0], a[1] - b[1]
    square = dx * dx + dy * dy
    if square == square.to_integral_value():
        return math.isqrt(int(square))  # exact for whole coordinates
    return math.floor(math.sqrt(square))


def _shorten_through_third(matrix: list[list[int]]) -> None:
    """For i, for j, for k: d[i][j] = min(d[i][j], d[i][k] + d[k][j]), in place. For fixed
    (i, j) the k loop only lowers d[i][j], so it is one minimum over row i and column j."""
    columns = [list(column) for column in zip(*matrix)]
    for i, row in enumerate(matrix):
        for j, column in enumerate(columns):
            shortest = min(map(operator.add, row, column))
            if shortest < row[j]:
                row[j] = column[i] = shortest


def _whole_numbers(words: list[str]) -> Optional["array.array[int]"]:
    """The words as ints when all are whole numbers in 0 ... 2**64 - 1 (the common case, read
    quickly); None otherwise, for the careful reading that names the fault."""
    try:
        return array.array("Q", map(int, words))
    except (ValueError, OverflowError):
        return None


def _is_number(word: str) -> bool:
    try:
        return decimal.Decimal(word).is_finite()
    except decimal.InvalidOperation:
        return False


def _decimal(path: PathLike, word: str, line: int, negative: bool = False) -> decimal.Decimal:
    try:
        value = decimal.Decimal(word)
    except decimal.InvalidOperation:
        raise ProblemFileError(path, f"{word!r} is not a number", line) from None
    if not value.is_finite():
        raise ProblemFileError(path, f"{word!r} is not a finite number", line)
    if value < 0 and not negative:
        raise ProblemFileError(path, f"{word} is negative", line)
    return value
