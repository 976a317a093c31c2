"""`tourwright batch`: solve many problem files on local workers or a Dask cluster, one result
JSON per problem and a summary, resuming where an interrupted run stopped."""

from __future__ import annotations

import argparse
import contextlib
import csv
import errno
import hashlib
import importlib
import io
import json
import logging
import os
import stat
import sys
from collections.abc import Iterator
from typing import Any, TextIO

from ..files.atomic import write_text_atomically
from ..files.formats import ClassicInstance, ProblemFileError, problem_file_from_text
from ..model.problem import Problem
from ..solve.batch import BatchError, default_workers, run_tasks
from ..solve.options import SolveOptions, from_arguments, given_arguments
from ..solve.solving import solve_with
from ..solve.tour import Tour, _indented
from ..solve.tour_check import tour_fault
from .common import CUT_SHORT_STATUS, UserError, cut_short_advice, shown
from .progress import WIDTH, Interruption

RESULT_SUFFIX = ".tour.json"
SUMMARY_FILES = ("summary.csv", "summary.json")
SUMMARY_FIELDS = (
    "file",
    "distance",
    "lateness",
    "on_time",
    "break_time",
    "skipped",
    "cut_short",
    "status",
    "seconds",
    "error",
    "note",
)
# The extensions a result name leaves out (x.json and x.tsptw would share x.tour.json).
PROBLEM_EXTENSIONS = frozenset({".json", ".txt", ".tw", ".dat", ".tsptw"})
# A cell that starts so is a formula to a spreadsheet: it is written after a quote.
FORMULA_STARTS = ("=", "+", "-", "@", "\t", "\r")
INTERRUPTED_STATUS = 130
# Calls submitted ahead per worker: enough to keep every worker busy, few enough that the
# files are read as the batch goes rather than all at once.
AHEAD_PER_WORKER = 2

Row = dict[str, Any]


def run(args: argparse.Namespace) -> int:
    if args.json is not None or args.svg is not None or args.html is not None:
        raise UserError("--json, --svg and --html do not apply to batch; results go to --out")
    if args.workers is not None and (args.workers < 1 or args.scheduler is not None):
        raise UserError(
            "--workers: expected N >= 1, and no --scheduler (its cluster has its own workers)"
        )
    try:
        options = from_arguments(args)
    except (TypeError, ValueError) as error:
        raise UserError(str(error)) from None
    given = given_arguments(args)
    files = _problem_files(args.inputs, args.out)
    try:
        os.makedirs(args.out, exist_ok=True)
    except OSError as error:
        raise UserError(f"--out: cannot create {args.out}: {error.strerror}") from None
    rows = [_kept_row(path, os.path.join(args.out, name), given) for path, name in files]
    todo = [index for index, row in enumerate(rows) if row["status"] != "kept"]
    digests: dict[str, str | None] = {}
    lost: list[str] = []
    with _executor(args) as (executor, workers), Interruption() as interruption:
        bar = _BatchBar(sys.stderr, len(todo)) if sys.stderr.isatty() and todo else None
        names = [files[index][0] for index in todo]
        # On local threads Ctrl-C ends the running searches with their best tours.
        local = (
            given if executor is not None else {**given, "on_progress": interruption.watch(None)}
        )
        calls = ((solve_file, (path, _read_into(path, digests), local)) for path in names)
        try:
            ahead = AHEAD_PER_WORKER * workers
            stop = lambda: interruption.happened  # noqa: E731
            for position, result in run_tasks(calls, names, executor, workers, ahead, stop):
                path, name = files[todo[position]]
                if isinstance(result, BatchError) and result.error == "LostExecutor":
                    lost.append(result.message)
                    rows[todo[position]] = _row(path, None, "failed", result.message)
                    continue
                batch = {"problem_sha256": digests.get(path), "options": _plain(given)}
                note = rows[todo[position]]["note"]
                if interruption.happened and not isinstance(result, BatchError):
                    # Its best tour so far: kept for now, solved again by the next run.
                    batch["interrupted"] = True
                    note = "interrupted: the best tour found before the interruption"
                result_path = os.path.join(args.out, name)
                rows[todo[position]] = _record(path, result_path, result, bar, batch, note)
                if bar is not None:
                    bar.advance(isinstance(result, BatchError))
        finally:
            if bar is not None:
                bar.close()
    for row in rows:
        if row["status"] == "pending":
            row.update(status="interrupted", error="interrupted before it was solved")
    _write_summary(args.out, rows)
    if lost:
        print(
            f"tourwright: {lost[0].removeprefix('not solved: ')}; {len(lost)} problems not solved",
            file=sys.stderr,
        )
    failed = sum(row["status"] == "failed" for row in rows)
    stopped = sum(row["status"] == "interrupted" for row in rows)
    cut_short = sum(bool(row["cut_short"]) for row in rows)
    solved = len(rows) - failed - stopped
    print(
        f"{solved} of {len(rows)} problems solved ({solved - (len(rows) - len(todo))} now, "
        f"{len(rows) - len(todo)} earlier), {failed} failed"
        + (f", {stopped} not run (interrupted)" if stopped else "")
        + f"; results in {args.out}"
    )
    if cut_short:
        print(
            f"tourwright: warning: {cut_short} of the tours are cut short (see summary.csv): "
            f"{cut_short_advice(options)}",
            file=sys.stderr,
        )
    if interruption.happened:
        return INTERRUPTED_STATUS
    return 1 if failed else CUT_SHORT_STATUS if cut_short else 0


def solve_file(path: str, text: str | ProblemFileError, given: dict[str, Any]) -> Tour:
    """Solves the problem file `path` from its contents `text` (or fails with the error met
    reading it) with the options `given` over the file's own; a classic file starts from its
    depot unless they name another start."""
    return solve_with(*_loaded(path, text, given))


def _loaded(
    path: str, text: str | ProblemFileError, given: dict[str, Any]
) -> tuple[Problem, SolveOptions]:
    if isinstance(text, ProblemFileError):
        raise text
    loaded, in_file = problem_file_from_text(path, text)
    options = SolveOptions(**{**in_file, **given})
    if isinstance(loaded, ClassicInstance):
        if options.depot is None and options.start is None:
            options = options.replace(**{"start" if options.end else "depot": loaded.depot})
        return loaded.problem, options
    return loaded, options


def _problem_files(inputs: list[str], out: str) -> list[tuple[str, str]]:
    """(path, result name) of each problem file: the files given, and the visible files directly
    inside the folders given (but for the results and summaries of the batch itself), each once,
    in order. A file the batch would write over is refused."""
    out_folder = os.path.realpath(out)
    paths: list[str] = []
    for given in inputs:
        if os.path.isdir(given):
            paths += _folder_files(given, os.path.realpath(given) == out_folder)
        else:
            paths.append(given)  # missing or unreadable files fail by name when read
    unique = list(dict.fromkeys(paths, None))
    outputs = {os.path.join(out_folder, name) for name in SUMMARY_FILES}
    outputs |= {os.path.join(out_folder, _result_name(path)) for path in unique}
    for path in unique:
        if os.path.realpath(path) in outputs:
            raise UserError(
                f"{path} is a problem file the batch would write its output over; rename it or "
                "choose another --out"
            )
    by_name: dict[str, str] = {}
    for path in unique:
        name = _result_name(path)
        if name in by_name and os.path.realpath(by_name[name]) != os.path.realpath(path):
            raise UserError(f"{by_name[name]} and {path} would both write {name}; rename one")
        by_name.setdefault(name, path)
    if not unique:
        raise UserError(f"no problem files in {', '.join(inputs)}")
    return [(path, _result_name(path)) for path in unique if by_name[_result_name(path)] == path]


def _folder_files(folder: str, ours: bool) -> list[str]:
    """The visible regular files directly inside `folder` (but for the batch's own results
    when it is the output folder), sorted; each other entry is named on standard error."""
    files = []
    try:
        entries = sorted(os.scandir(folder), key=lambda entry: entry.name)
    except OSError as error:
        raise UserError(f"cannot read the folder {shown(folder)}: {error.strerror}") from None
    for entry in entries:
        if entry.name.startswith(".") or (ours and _is_output(entry.path)):
            continue
        why = _not_a_problem_file(entry.path)
        if why is None:
            files.append(entry.path)
        else:
            print(f"tourwright: skipped {shown(entry.path)}: {why}", file=sys.stderr)
    return files


def _not_a_problem_file(path: str) -> str | None:
    """Why the folder entry `path` is not read as a problem file, or None for a regular file."""
    try:
        mode = os.stat(path).st_mode
    except FileNotFoundError:
        return "a symbolic link to nothing"
    except OSError as error:
        if error.errno == errno.ELOOP:
            return "a loop of symbolic links"
        return error.strerror or str(error)
    if stat.S_ISREG(mode):
        return None
    if stat.S_ISDIR(mode):
        return "a folder (folders inside an input folder are not searched)"
    kinds = {stat.S_ISFIFO: "a FIFO", stat.S_ISSOCK: "a socket"}
    return next((kind for test, kind in kinds.items() if test(mode)), "a device, not a file")


def _is_output(path: str) -> bool:
    """Whether a file of the output folder is one an earlier batch wrote: a result, or a
    summary that reads as one (a problem file of that name is not skipped but refused)."""
    name = os.path.basename(path)
    if name.endswith(RESULT_SUFFIX):
        return True
    if name not in SUMMARY_FILES:
        return False
    try:
        with open(path, encoding="utf-8") as file:
            start = file.read(len(SUMMARY_FIELDS[0]) + 2)
    except (OSError, UnicodeDecodeError):
        return False
    return start.startswith("file," if name.endswith(".csv") else "[")


def _result_name(path: str) -> str:
    stem, extension = os.path.splitext(os.path.basename(path))
    return (stem if extension in PROBLEM_EXTENSIONS else stem + extension) + RESULT_SUFFIX


def _read(path: str) -> tuple[str | ProblemFileError, str | None]:
    """The text of a problem file (or the error met reading it) and the SHA-256 of its bytes."""
    if os.path.exists(path) and not os.path.isfile(path):
        return ProblemFileError(path, "not a regular file"), None
    try:
        with open(path, "rb") as file:
            data = file.read()
        return data.decode("utf-8"), hashlib.sha256(data).hexdigest()
    except OSError as error:
        return ProblemFileError(path, error.strerror or str(error)), None
    except UnicodeDecodeError as error:
        return ProblemFileError(path, f"not a text file ({error.reason})"), None


def _read_into(path: str, digests: dict[str, str | None]) -> str | ProblemFileError:
    text, digests[path] = _read(path)
    return text


def _plain(given: dict[str, Any]) -> Any:
    """The options given as JSON holds them."""
    return json.loads(json.dumps(given, sort_keys=True))


def _kept_row(path: str, result_path: str, given: dict[str, Any]) -> Row:
    """The row of a problem whose result an earlier run left, made of the same problem file and
    options and checked against that problem; else a row to solve, noting why an earlier
    result is not kept."""
    try:
        data = _read_result(result_path)
    except FileNotFoundError:
        return _row(path, None, "pending")
    except (OSError, ValueError) as error:
        return _row(path, None, "pending", note=f"earlier result unreadable: {error}")
    text, digest = _read(path)
    batch = data.get("batch") if isinstance(data, dict) else None
    if not isinstance(batch, dict):
        return _row(path, None, "pending", note="earlier result stale: no record of its problem")
    if digest is None or batch.get("problem_sha256") != digest:
        return _row(path, None, "pending", note="earlier result stale: problem changed")
    if batch.get("options") != _plain(given):
        return _row(path, None, "pending", note="earlier result stale: options changed")
    if batch.get("interrupted"):
        return _row(path, None, "pending", note="earlier result interrupted: solved again")
    try:
        tour = Tour.from_dict(data)
        fault = tour_fault(tour, *_loaded(path, text, given))
    except (ValueError, TypeError, KeyError) as error:
        fault = str(error)
    if fault is not None:
        return _row(path, None, "pending", note=f"earlier result rejected: {fault}")
    return _row(path, tour, "kept")


def _read_result(path: str) -> Any:
    """The JSON of an earlier result: of a regular file itself, never through a link."""
    try:
        descriptor = os.open(path, os.O_RDONLY | os.O_NOFOLLOW | os.O_NONBLOCK)
    except OSError as error:
        if error.errno == errno.ELOOP:
            raise ValueError("a link, not a regular file") from None
        raise
    with open(descriptor, encoding="utf-8") as file:
        if not stat.S_ISREG(os.fstat(descriptor).st_mode):
            raise ValueError("not a regular file")
        try:
            return json.loads(file.read())
        except UnicodeDecodeError as error:
            raise ValueError(f"not a text file ({error.reason})") from None


def _record(
    path: str,
    result_path: str,
    result: Tour | BatchError,
    bar: _BatchBar | None,
    batch: dict[str, Any],
    note: str | None,
) -> Row:
    if isinstance(result, BatchError):
        if bar is not None:
            bar.clear()
        print(f"tourwright: {shown(_message(result))}", file=sys.stderr)
        return _row(path, None, "failed", _message(result), note)
    data = {**result.to_dict(readable=True), "batch": batch}
    try:
        write_text_atomically(result_path, _indented(data, 1) + "\n", follow_links=False)
    except OSError as error:
        raise UserError(f"cannot write {result_path}: {error.strerror}") from None
    return _row(path, result, "solved", note=note)


def _message(error: BatchError) -> str:
    # A file error already starts with the file's name.
    return error.message if error.message.startswith(error.name) else str(error)


def _row(
    path: str,
    tour: Tour | None,
    status: str,
    error: str | None = None,
    note: str | None = None,
) -> Row:
    lateness = None if tour is None else tour.lateness
    return {
        "file": path,
        "distance": None if tour is None else tour.distance,
        "lateness": lateness,
        "on_time": None if lateness is None else lateness == 0,
        "break_time": None if tour is None else tour.break_time,
        "skipped": None if tour is None else len(tour.skipped),
        "cut_short": None if tour is None else tour.cut_short,
        "status": status,
        "seconds": None if tour is None else tour.time_taken_microseconds / 1e6,
        "error": error,
        "note": note,
    }


def _write_summary(out: str, rows: list[Row]) -> None:
    table = io.StringIO()
    writer = csv.DictWriter(table, SUMMARY_FIELDS, lineterminator="\n")
    writer.writeheader()
    for row in rows:
        writer.writerow({key: _cell(value) for key, value in row.items()})
    try:
        for name, text in zip(SUMMARY_FILES, (table.getvalue(), json.dumps(rows, indent=1) + "\n")):
            write_text_atomically(os.path.join(out, name), text, follow_links=False)
    except OSError as error:
        raise UserError(f"cannot write the summary in {out}: {error.strerror}") from None


def _cell(value: Any) -> Any:
    if isinstance(value, bool):
        return "yes" if value else "no"
    if isinstance(value, str) and value.startswith(FORMULA_STARTS):
        return "'" + value
    return "" if value is None else value


@contextlib.contextmanager
def _executor(args: argparse.Namespace) -> Iterator[tuple[Any, int]]:
    """(executor, workers): a Dask cluster's executor with --scheduler, else None for a local
    pool of --workers threads."""
    if args.scheduler is None:
        yield None, args.workers or default_workers()
        return
    try:
        # Typed as Any: Dask has no type information for its client.
        distributed: Any = importlib.import_module("distributed")
    except ImportError:
        raise UserError("--scheduler needs Dask: pip install 'tourwright[dask]'") from None
    client = _client(distributed, args.scheduler)
    # The client logs the loss of its scheduler as tracebacks, while it runs (its calls, and the
    # batched sends to the scheduler that may be under way) and as it closes: the batch tells
    # that loss itself, in one line.
    with _quiet("distributed.client", "distributed.batched", "tornado.application"):
        try:
            yield client.get_executor(), max(1, sum(client.nthreads().values()))
        finally:
            with _quiet("distributed"):
                client.close()


@contextlib.contextmanager
def _quiet(*names: str) -> Iterator[None]:
    loggers = [logging.getLogger(name) for name in names]
    levels = [logger.level for logger in loggers]
    for logger in loggers:
        logger.setLevel(logging.CRITICAL + 1)
    try:
        yield
    finally:
        for logger, level in zip(loggers, levels):
            logger.setLevel(level)


def _client(distributed: Any, address: str) -> Any:
    """A Dask client of the scheduler at `address`, or the UserError that says why not."""
    scheme = address.partition("://")[0] if "://" in address else "tcp"
    try:
        return distributed.Client(address, timeout=10)
    except (OSError, ValueError, TimeoutError) as error:
        raise UserError(f"--scheduler: cannot reach {shown(address)}: {error}") from None
    except TypeError as error:  # Dask's answer to a protocol it is not set up for
        needs = _SCHEME_NEEDS.get(scheme, f"a setup that is missing here ({error})")
        raise UserError(
            f"--scheduler: {shown(scheme)}:// needs {needs}; tcp:// needs none"
        ) from None


# What Dask's protocols other than tcp:// need before a client can connect with them.
_SCHEME_NEEDS = {
    "tls": "TLS certificates in Dask's configuration (distributed.comm.tls)",
    "ucx": "UCX and its Dask package (distributed-ucxx)",
}


class _BatchBar:
    """Problems done of the batch, drawn on a terminal."""

    def __init__(self, stream: TextIO, total: int) -> None:
        self._stream, self._total, self._done, self._failed = stream, total, 0, 0
        self._draw()

    def advance(self, failed: bool) -> None:
        self._done += 1
        self._failed += failed
        self._draw()

    def _draw(self) -> None:
        filled = round(self._done / self._total * WIDTH)
        failed = f", {self._failed} failed" if self._failed else ""
        self._stream.write(
            f"\rbatch [{'#' * filled}{'.' * (WIDTH - filled)}] "
            f"{self._done}/{self._total} problems{failed}"
        )
        self._stream.flush()

    def clear(self) -> None:
        self._stream.write("\r" + " " * (WIDTH + 48) + "\r")
        self._stream.flush()

    def close(self) -> None:
        self.clear()
