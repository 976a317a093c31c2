"""Problem files: JSON with `solve`'s parameter names, and the classic TSPTW text format."""

from __future__ import annotations

import array
import dataclasses
import decimal
import json
import json.decoder
import json.scanner
import os
import re
import stat
from collections.abc import Sequence
from typing import TYPE_CHECKING, Any, Union

from .. import _engine
from ..model.problem import Problem
from ..solve.options import SolveOptions, file_option_names
from ..solve.tour import Tour
from ..units.matrix import Matrix
from ..units.values import MissingOffset
from .schema import NOTE_KEYS, PROBLEM_KEYS

if TYPE_CHECKING:
    import numpy

PathLike = Union[str, "os.PathLike[str]"]

JSON_KEYS = frozenset(PROBLEM_KEYS)
# Search options a JSON problem may hold under "options": those of `SolveOptions` but the ends
# (the file's own "start", "end" and "depot") and the progress callback. Options given to the
# command or to `solve_problem` take their place.
FILE_OPTIONS = file_option_names()
CLASSIC_EXTENSIONS = frozenset({".txt", ".tw", ".dat", ".tsptw"})
# Keys a person may add to a JSON problem for their own notes.
JSON_NOTE_KEYS = frozenset(NOTE_KEYS)
# The longest note read (and then ignored).
MAX_NOTE_CHARACTERS = 1_000_000
# Beyond the largest problem worth solving in memory (a JSON file of 10,000 locations with both
# matrices is about 1.3 GB), and small enough to refuse a wrong file before reading it whole.
MAX_FILE_BYTES = 2 * 2**30
# Numbers of the classic layouts are plain decimals. The bounds keep one absurd token (a
# thousand-digit number, an exponent of a billion) from costing more than microseconds; values
# beyond the engine's range (20 digits) are refused when the problem is checked.
_NUMBER = re.compile(r"[+-]?(?:[0-9]+\.?[0-9]*|\.[0-9]+)(?:[eE][+-]?[0-9]+)?")
MAX_NUMBER_LENGTH = 40
MAX_DECIMAL_PLACES = 9
MAX_INTEGER_DIGITS = 20
# A coordinate file's matrix grows with the square of its lines and its shortening, at worst,
# with the cube: 2,000 locations take about 2 s and 0.2 GB, 5,000 took 30 s and 1.6 GB. The
# collections' coordinate files have at most about 400; larger problems come as a matrix.
MAX_COORDINATE_LOCATIONS = 2000


class ProblemFileError(ValueError):
    """A problem file that cannot be read: names the file, the line where there is one, and why."""

    def __init__(self, path: PathLike, message: str, line: int | None = None) -> None:
        super().__init__(path, message, line)
        self.path = os.fspath(path)
        self.message = message
        self.line = line

    def __str__(self) -> str:
        where = self.path if self.line is None else f"{self.path}, line {self.line}"
        return f"{where}: {self.message}"


def read_problem(path: PathLike) -> Problem | ClassicInstance:
    """A JSON problem (a `.json` file, or one starting with '{'), else a classic TSPTW file."""
    return problem_from_text(path, _read_text(path))


def read_problem_file(path: PathLike) -> tuple[Problem | ClassicInstance, dict[str, Any]]:
    """`read_problem`'s problem and the search options the file holds ("options" of a JSON
    file, checked; none in a classic file), as keywords of `solve_problem`."""
    return problem_file_from_text(path, _read_text(path))


def problem_from_text(path: PathLike, text: str) -> Problem | ClassicInstance:
    """What `read_problem` makes of `text`, the contents of the file `path` read elsewhere
    (a batch reads its files where they are and solves them on other machines)."""
    return problem_file_from_text(path, text)[0]


def problem_file_from_text(
    path: PathLike, text: str
) -> tuple[Problem | ClassicInstance, dict[str, Any]]:
    """What `read_problem_file` makes of `text`, the contents of the file `path`."""
    if os.fspath(path).endswith(".json") or text.lstrip().startswith("{"):
        return _json_file(path, text)
    return _classic_instance(path, text), {}


def read_json(path: PathLike) -> Problem:
    """A problem from a JSON object whose keys are `solve`'s parameter names (plus `names`,
    `coordinates`, `check_units`, `start`, `end`, `depot`, `timezone`, `hours`, `breaks`,
    `window_rule`, `clock_changes` and a free-text `description`). Instants and durations are
    numbers of seconds or ISO 8601 strings, times of day "HH:MM". In place of the matrices:
    `places` with a `speed` (`Problem.from_places`)."""
    return _json_file(path, _read_text(path))[0]


def read_tsptw(path: PathLike) -> ClassicInstance:
    """A problem in the classic TSPTW text format (see `ClassicInstance`)."""
    return _classic_instance(path, _read_text(path))


def _read_text(path: PathLike) -> str:
    """The file's text, at most MAX_FILE_BYTES of it. Regular files and pipes are read; devices
    (/dev/zero) are refused, and a FIFO without a writer reads as empty instead of waiting."""
    try:
        # Opened without blocking, or a FIFO without a writer would wait here for ever.
        descriptor = os.open(path, os.O_RDONLY | getattr(os, "O_NONBLOCK", 0))
        with open(descriptor, "rb") as file:
            status = os.fstat(descriptor)
            if stat.S_ISFIFO(status.st_mode):
                os.set_blocking(descriptor, True)
            elif not stat.S_ISREG(status.st_mode):
                raise ProblemFileError(path, "not a regular file or pipe")
            elif status.st_size > MAX_FILE_BYTES:
                raise ProblemFileError(path, _TOO_LARGE)
            data = file.read(MAX_FILE_BYTES + 1)
    except OSError as error:
        raise ProblemFileError(path, error.strerror or str(error)) from error
    if len(data) > MAX_FILE_BYTES:
        raise ProblemFileError(path, _TOO_LARGE)
    try:
        return data.decode("utf-8-sig")  # a leading byte order mark is dropped
    except UnicodeDecodeError as error:
        raise ProblemFileError(path, f"not a text file ({error.reason})") from error


_TOO_LARGE = f"larger than {MAX_FILE_BYTES // 2**20} MiB, the largest problem file read"


# The standard library's pure Python scanner and array reader, which its stubs do not list.
_make_python_scanner: Any = vars(json.scanner)["py_make_scanner"]
_read_json_array: Any = vars(json.decoder)["JSONArray"]
_read_json_object: Any = vars(json.decoder)["JSONObject"]
_read_json_string: Any = vars(json.decoder)["scanstring"]


class _KeyMemo(dict[str, str]):
    """The decoder's memo of the keys it read, which also keeps the last one: the key of the
    value being read, unless that value is inside a list or object of another key's value."""

    last: str | None = None

    def setdefault(self, key: str, default: Any = None) -> str:
        self.last = key
        return super().setdefault(key, default)


class _TableDecoder(json.JSONDecoder):
    """JSON whose square tables of whole numbers (the matrices) are read at once into a
    `Matrix`; everything else as the standard decoder reads it. Its scanner is the pure
    Python one, as only that one lets arrays be read another way: the rest of a problem
    file is small."""

    def __init__(self) -> None:
        super().__init__(object_pairs_hook=_object_without_repeated_keys, parse_int=_json_integer)
        self.memo = _KeyMemo()
        self.parse_array = self._array
        self.parse_object = self._object
        self.parse_string = self._string
        self.scan_once = _make_python_scanner(self)

    def _refuse_a_long_note(self, found: str) -> None:
        """A note is short text, refused before it is read when it is anything else (a list of
        a million numbers takes seconds to read)."""
        if self.memo.last in JSON_NOTE_KEYS:
            raise ValueError(f"{self.memo.last}: expected a short text (a string), found {found}")

    def _object(self, text_and_end: tuple[str, int], *rest: Any) -> tuple[Any, int]:
        self._refuse_a_long_note("an object")
        result: tuple[Any, int] = _read_json_object(text_and_end, *rest)
        return result

    def _string(self, text: str, end: int, strict: bool) -> tuple[str, int]:
        result: tuple[str, int] = _read_json_string(text, end, strict)
        if len(result[0]) > MAX_NOTE_CHARACTERS and self.memo.last in JSON_NOTE_KEYS:
            self._refuse_a_long_note(
                f"{len(result[0]):,} characters (at most {MAX_NOTE_CHARACTERS:,})"
            )
        return result

    def _array(self, text_and_end: tuple[str, int], scan_once: Any) -> tuple[Any, int]:
        self._refuse_a_long_note("a list")
        text, end = text_and_end  # end: just past the opening bracket
        table = _engine.integer_rows(text, end - 1, True)
        if table is not None:
            after, values, lengths, largest = table
            # Three or more columns: a matrix, never a list of windows or of coordinates.
            if len(lengths) >= 3 and all(length == len(lengths) for length in lengths):
                return Matrix(values, len(lengths), largest), after
        result: tuple[Any, int] = _read_json_array(text_and_end, scan_once)
        return result


def _json_file(path: PathLike, text: str) -> tuple[Problem, dict[str, Any]]:
    try:
        data = _TableDecoder().decode(text)
    except json.JSONDecodeError as error:
        raise ProblemFileError(path, f"not valid JSON: {error.msg}", error.lineno) from error
    except RecursionError:
        raise ProblemFileError(path, "not a problem: lists or objects nested too deeply") from None
    except ValueError as error:  # from the two hooks
        raise ProblemFileError(path, str(error)) from None
    if not isinstance(data, dict):
        raise ProblemFileError(path, f"expected a JSON object, found {type(data).__name__}")
    unknown = sorted(set(data) - JSON_KEYS - JSON_NOTE_KEYS - {"options"})
    if unknown:
        raise ProblemFileError(
            path,
            f"unknown key {unknown[0]!r}; known keys: {', '.join(sorted(JSON_KEYS | {'options'}))}",
        )
    if "distance_matrix" not in data and not {"places", "speed"} <= set(data):
        raise ProblemFileError(path, "missing key 'distance_matrix' (or 'places' with a 'speed')")
    options = _file_options(path, data.get("options", {}))
    try:
        problem = Problem.from_dict({key: value for key, value in data.items() if key in JSON_KEYS})
    except MissingOffset as error:
        message = (
            f"{error.where}: {error.text} has no UTC offset; write one ({error.text}Z for UTC, or "
            f'e.g. {error.text}+01:00), or give the file a "timezone" key (e.g. "Europe/Berlin")'
        )
        raise ProblemFileError(path, message) from error
    except (TypeError, ValueError) as error:
        raise ProblemFileError(path, str(error)) from error
    return problem, options


def _file_options(path: PathLike, given: Any) -> dict[str, Any]:
    """The "options" of a JSON problem, checked as the search will check them."""
    if not isinstance(given, dict):
        raise ProblemFileError(path, f"options: expected an object, found {type(given).__name__}")
    unknown = sorted(set(given) - set(FILE_OPTIONS))
    if unknown:
        raise ProblemFileError(
            path, f"options: unknown option {unknown[0]!r}; known: {', '.join(FILE_OPTIONS)}"
        )
    try:
        SolveOptions(**given)
    except (TypeError, ValueError) as error:
        raise ProblemFileError(path, f"options: {error}") from None
    return dict(given)


def _json_integer(text: str) -> int:
    digits = len(text.lstrip("-"))
    if digits > MAX_INTEGER_DIGITS:
        raise ValueError(f"an integer of {digits} digits; values have at most {MAX_INTEGER_DIGITS}")
    return int(text)


def _object_without_repeated_keys(pairs: list[tuple[str, Any]]) -> dict[str, Any]:
    data: dict[str, Any] = {}
    for key, value in pairs:
        if key in data:
            raise ValueError(f"the key {key!r} is given twice")
        data[key] = value
    return data


@dataclasses.dataclass(frozen=True)
class ClassicReport:
    """A tour judged by the literature's rules: leave the depot (location 0) at its opening,
    wait when early, an arrival after its due time (the return included) is a violation.
    Values are in the file's units, comparable with published best-known values."""

    route: tuple[int, ...]  # rotated to start at the depot
    travel_time: float  # the sum of the matrix entries of the closed tour
    makespan: float  # the arrival back at the depot
    late_arrivals: int  # arrivals after their due time, the return to the depot included

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
    words = _first_words(text)
    if words is None:
        raise ProblemFileError(
            path, "empty file; expected the number of locations on the first line"
        )
    return _matrix_instance(path, text) if len(words) == 1 else _coordinates_instance(path, text)


def _first_words(text: str) -> list[str] | None:
    """The words of the first line that is neither blank nor a comment; looked for in the
    text's first few kilobytes first, as splitting a big file into lines takes a while."""
    for prefix in (text[:4096], text):
        lines = prefix.splitlines()
        for line in lines if prefix is text else lines[:-1]:  # the last may be cut short
            words = line.split()
            if words and not words[0].startswith("#"):
                return words
    return None


def _matrix_instance(path: PathLike, text: str) -> ClassicInstance:
    quick = _plain_matrix_instance(path, text)
    if quick is not None:
        return quick
    lines = [
        (number, line.split())
        for number, line in enumerate(text.splitlines(), start=1)
        if line.strip() and not line.lstrip().startswith("#")
    ]
    first, words = lines[0]
    if len(words) != 1 or not re.fullmatch("[0-9]{1,9}", words[0]) or int(words[0]) == 0:
        raise ProblemFileError(
            path, f"expected the number of locations, found {' '.join(words)!r}", first
        )
    n = int(words[0])
    body = lines[1:]
    if len(body) < 2 * n:
        raise ProblemFileError(
            path,
            f"ends after {len(body)} lines of data; expected {n} matrix rows and {n} 'ready due' lines",
        )
    if len(body) > 2 * n:
        raise ProblemFileError(
            path, f"unexpected line after the {n} 'ready due' lines", body[2 * n][0]
        )
    numbers = []
    for index, (number, words) in enumerate(body):
        expected, what = (
            (n, f"matrix row {index}") if index < n else (2, f"'ready due' of location {index - n}")
        )
        if len(words) != expected:
            raise ProblemFileError(
                path, f"{what}: expected {expected} numbers, found {len(words)}", number
            )
        whole = _whole_numbers(words)
        numbers.append(
            (
                number,
                whole if whole is not None else [_decimal(path, word, number) for word in words],
            )
        )
    # Decimal files are scaled to whole numbers by the power of ten of their longest fraction.
    decimals = [row for _, row in numbers if not isinstance(row, array.array)]
    places = max((_places(value) for row in decimals for value in row), default=0)
    scale = 10**places
    rows = [
        row
        if places == 0 and isinstance(row, array.array)
        else [
            value * scale if isinstance(value, int) else int(value.scaleb(places, _EXACT))
            for value in row
        ]
        for _, row in numbers
    ]
    matrix, windows = rows[:n], [(ready, due) for ready, due in rows[n:]]
    for (number, _), (ready, due) in zip(body[n:], windows):
        if due < ready:
            raise ProblemFileError(
                path, f"the window ends ({due}) before it starts ({ready})", number
            )
    return _instance(path, matrix, windows, scale, None)


def _plain_matrix_instance(path: PathLike, text: str) -> ClassicInstance | None:
    """The matrix layout read at once when it is plainly valid: whole numbers only, a count
    n >= 1, n rows of n and n windows in order. None for anything else, read line by line."""
    table = _engine.integer_rows(text, 0, False)
    if table is None:
        return None
    _, values, lengths, largest = table
    entries = memoryview(values).cast("Q")
    n = entries[0] if lengths and lengths[0] == 1 else 0
    if not 0 < n < 10**9 or lengths[1:] != (n,) * n + (2,) * n:
        return None
    windows = list(zip(entries[1 + n * n :: 2].tolist(), entries[2 + n * n :: 2].tolist()))
    if any(due < ready for ready, due in windows):
        return None
    return _instance(path, Matrix(entries[1 : 1 + n * n], n, largest), windows, 1, None)


def _instance(
    path: PathLike,
    matrix: Sequence[Sequence[int]],
    windows: list[tuple[int, int]],
    scale: int,
    coordinates: list[tuple[float, float]] | None,
) -> ClassicInstance:
    n = len(matrix)
    try:  # one buffer for both matrices
        table: Any = matrix if isinstance(matrix, Matrix) else Matrix.from_rows(matrix, n)
    except OverflowError:
        table = matrix  # beyond 64 bits: the problem's checks name the entry
    try:
        problem = Problem(
            table,
            table,
            [0] * n,
            [[window] for window in windows],
            coordinates=coordinates,
            check_units=False,
        )
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
                path,
                f"expected 7 numbers (number x y demand ready due service), found {len(words)}",
                number,
            )
        values = [
            _decimal(path, word, number, negative=index in (1, 2))
            for index, word in enumerate(words)
        ]
        if values[0] == 999 and not any(values[1:]):
            break
        if values[0] != len(rows) + 1:
            raise ProblemFileError(
                path, f"location number {words[0]}, expected {len(rows) + 1}", number
            )
        if len(rows) == MAX_COORDINATE_LOCATIONS:
            message = (
                f"more than {MAX_COORDINATE_LOCATIONS} locations, the most a coordinate file "
                "holds (give larger problems as a matrix)"
            )
            raise ProblemFileError(path, message, number)
        if any(value != value.to_integral_value() for value in values[4:]):
            raise ProblemFileError(
                path, "ready, due and service times must be whole numbers", number
            )
        if values[5] < values[4]:
            raise ProblemFileError(
                path, f"the window ends ({words[5]}) before it starts ({words[4]})", number
            )
        rows.append(values)
    if not rows:
        raise ProblemFileError(path, "no location lines (number x y demand ready due service)")
    import numpy

    points = [(row[1], row[2]) for row in rows]
    services = [int(row[6]) for row in rows]
    # Exact Python integers for service times too long for 64-bit sums (refused when checked).
    kind = numpy.int64 if max(services) < 2**62 else object
    matrix = _coordinate_matrix(path, points).astype(kind)
    diagonal = matrix.diagonal().copy()
    matrix += numpy.array(services, dtype=kind)[:, None]
    numpy.fill_diagonal(matrix, diagonal)
    windows = [(int(row[4]), int(row[5])) for row in rows]
    coordinates = [(float(x), float(y)) for x, y in points]
    return _instance(path, matrix.tolist(), windows, 1, coordinates)


# The largest difference of two coordinates, in units of their last decimal place, whose
# squared distance fits a 64-bit integer.
_LARGEST_SPAN = 2**31 - 1


def _coordinate_matrix(
    path: PathLike, points: list[tuple[decimal.Decimal, decimal.Decimal]]
) -> numpy.ndarray:
    """The Euclidean distances rounded down, exactly: of the coordinates scaled to whole numbers,
    the integer square root of the squared distance, scaled back and rounded down; then
    shortened through a third location as the collections' loops do, natively: about n^2 steps
    where few legs get shorter, up to the loops' n^3 (fast ones) where most do."""
    import numpy  # only this layout needs it; the command starts faster without

    places = max(_places(coordinate) for point in points for coordinate in point)
    axes = []
    for axis in (0, 1):
        whole = [int(point[axis].scaleb(places, _EXACT)) for point in points]
        if max(whole) - min(whole) > _LARGEST_SPAN:
            apart = _LARGEST_SPAN / 10**places
            raise ProblemFileError(path, f"coordinates more than {apart:g} apart")
        axes.append(numpy.array(whole, dtype=numpy.int64) - min(whole))
    squares = sum((axis[:, None] - axis[None, :]) ** 2 for axis in axes)
    roots = numpy.sqrt(squares).astype(numpy.int64)  # off by at most one: corrected
    roots -= roots * roots > squares
    roots += (roots + 1) * (roots + 1) <= squares
    matrix: numpy.ndarray = roots // 10**places
    _engine.shorten_through_third(matrix, axes[0], axes[1], 10**places)
    return matrix


def _whole_numbers(words: list[str]) -> array.array[int] | None:
    """The words as ints when all are whole numbers in 0 ... 2**64 - 1 (the common case, read
    quickly); None otherwise, for the careful reading that names the fault."""
    joined = "".join(words)
    if not (joined.isascii() and joined.isdigit()):  # int() would also take "1_0" and "١"
        return None
    try:
        return array.array("Q", map(int, words))
    except (ValueError, OverflowError):
        return None


def _is_number(word: str) -> bool:
    return _NUMBER.fullmatch(word) is not None


def _decimal(path: PathLike, word: str, line: int, negative: bool = False) -> decimal.Decimal:
    if not _is_number(word):
        raise ProblemFileError(path, f"{word[:MAX_NUMBER_LENGTH]!r} is not a number", line)
    if len(word) > MAX_NUMBER_LENGTH:
        raise ProblemFileError(path, f"a number of more than {MAX_NUMBER_LENGTH} characters", line)
    try:
        value = decimal.Decimal(word)
    except decimal.InvalidOperation:  # an exponent beyond the decimal module's range
        mantissa, exponent = re.split("[eE]", word)
        # A stand-in as far beyond the bounds below as the number written.
        shift = MAX_INTEGER_DIGITS if int(exponent) > 0 else -MAX_DECIMAL_PLACES - 1
        value = decimal.Decimal(mantissa).scaleb(shift)
    if value < 0 and not negative:
        raise ProblemFileError(path, f"{word} is negative", line)
    if _places(value) > MAX_DECIMAL_PLACES:
        message = f"{word} has more than {MAX_DECIMAL_PLACES} decimal places"
        raise ProblemFileError(path, message, line)
    if value.adjusted() >= MAX_INTEGER_DIGITS:
        message = f"{word} has more than {MAX_INTEGER_DIGITS} digits before the point"
        raise ProblemFileError(path, message, line)
    return value


def _places(value: decimal.Decimal) -> int:
    """The digits after the decimal point, as written ("2.50": 2)."""
    return max(0, -int(value.as_tuple().exponent))


# Wide enough for every number _decimal lets through, so that scaling them is exact.
_EXACT = decimal.Context(prec=MAX_NUMBER_LENGTH + MAX_DECIMAL_PLACES, traps=[decimal.Inexact])
