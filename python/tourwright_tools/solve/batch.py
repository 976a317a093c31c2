"""`solve_many`: many independent problems on a pool of workers (threads by default, or any
`concurrent.futures.Executor`: a process pool, a Dask cluster's executor), one result each."""

from __future__ import annotations

import concurrent.futures as cf
import dataclasses
import threading
from collections.abc import Callable, Iterable, Iterator, Mapping
from typing import Any, TypeVar, overload

from ..model.problem import Problem
from .options import SolveOptions, TimeLimit, available_cores, limit_seconds, stoppable
from .solving import solve_with
from .tour import Tour

Result = TypeVar("Result")
Key = TypeVar("Key")


@dataclasses.dataclass(frozen=True)
class BatchError:
    """A problem of a batch that could not be solved: which one (`name`), the kind of error
    (`error`, its class name) and its message."""

    name: str
    error: str
    message: str

    @classmethod
    def of(cls, name: str, exception: BaseException) -> BatchError:
        return cls(name, type(exception).__name__, str(exception))

    def __str__(self) -> str:
        return f"{self.name}: {self.message}"


@overload
def solve_many(
    problems: Mapping[Key, Problem],
    time_limit: TimeLimit | None = None,
    *,
    executor: cf.Executor | None = None,
    **options: Any,
) -> dict[Key, Tour | BatchError]: ...
@overload
def solve_many(
    problems: Iterable[Problem],
    time_limit: TimeLimit | None = None,
    *,
    executor: cf.Executor | None = None,
    **options: Any,
) -> list[Tour | BatchError]: ...
def solve_many(
    problems: Any,
    time_limit: TimeLimit | None = None,
    *,
    executor: cf.Executor | None = None,
    **options: Any,
) -> Any:
    """Solve independent problems at once, each as `solve_problem(problem, time_limit, **options)`.

    Returns one result per problem in the order given (a dict with the same keys for a
    mapping of names to problems): its `Tour`, or a `BatchError` naming the problem
    ("problems[3]", or its key) when it failed; one failure never costs the others their tours.

    By default the problems run on a pool of threads, one per core (the search releases the
    interpreter lock). `executor` takes any `concurrent.futures.Executor` instead, e.g. a
    `ProcessPoolExecutor` or a Dask `Client.get_executor()`; it is left running. With a `seed`
    and `max_descents` (and no time limit) the tours do not depend on the executor.

    `initial` gives each problem the route its search begins from (see `solve_problem`): a
    sequence in the order of the problems, or a mapping with their keys; None (or a key left
    out) begins that one as usual.

    Options that are wrong for every problem (an unknown keyword, a negative time limit)
    raise at once, before anything runs.

    Whatever a problem's solve raises, a `KeyboardInterrupt` or `SystemExit` of its
    `on_progress` too, is that problem's `BatchError`. An interruption of the caller (Ctrl-C
    while it waits) stops everything: it is raised at once, and on a pool of threads (the
    default, or a `ThreadPoolExecutor` given) the running searches are ended too. When the
    executor breaks or goes away (a process pool whose worker died, a lost Dask scheduler)
    every problem it had not finished is a `BatchError` naming that; the executor given is
    not replaced.
    """
    given = options.pop("initial", None)
    record = checked_options(time_limit, options)
    stop = threading.Event()
    if executor is None or isinstance(executor, cf.ThreadPoolExecutor):
        record = record.replace(on_progress=stoppable(record.on_progress, stop.is_set))
    if isinstance(problems, Mapping):
        names = [str(key) for key in problems]
        items = list(problems.values())
    else:
        items = list(problems)
        names = [f"problems[{index}]" for index in range(len(items))]
    initial = _initial_routes(given, problems, len(items))
    if record.max_descents == 0 and None in initial:
        raise ValueError("max_descents: 0 descents search nothing; give each problem a route")
    results: list[Tour | BatchError | None] = [None] * len(items)
    calls = (
        (solve_with, (problem, record if route is None else record.replace(initial=route)))
        for problem, route in zip(items, initial)
    )
    try:
        for index, result in run_tasks(calls, names, executor):
            results[index] = result
    finally:
        stop.set()  # searches still running after an interruption end with it
    return dict(zip(problems, results)) if isinstance(problems, Mapping) else results


def _initial_routes(given: Any, problems: Any, count: int) -> list[Any]:
    """One initial route (or None) per problem, in their order."""
    if given is None:
        return [None] * count
    if isinstance(problems, Mapping):
        if not isinstance(given, Mapping):
            raise TypeError("initial: expected a mapping with the problems' keys")
        unknown = [key for key in given if key not in problems]
        if unknown:
            raise ValueError(f"initial: {unknown[0]!r} is not the key of a problem")
        return [given.get(key) for key in problems]
    routes = list(given)
    if len(routes) != count:
        raise ValueError(f"initial: {len(routes)} routes for {count} problems")
    return routes


def checked_options(time_limit: object, options: dict[str, Any]) -> SolveOptions:
    """The record of `solve_problem`'s options; those that would fail for every problem raise."""
    names = {field.name for field in dataclasses.fields(SolveOptions)}
    unknown = sorted(set(options) - names)
    if unknown:
        raise TypeError(f"solve_many: got an unexpected keyword argument {unknown[0]!r}")
    limit = None if time_limit is None else limit_seconds(time_limit)
    return SolveOptions(time_limit=limit, **options)


def default_workers() -> int:
    return available_cores()


def run_tasks(
    calls: Iterable[tuple[Callable[..., Result], tuple[Any, ...]]],
    names: list[str],
    executor: cf.Executor | None,
    workers: int | None = None,
    in_flight: int | None = None,
    stop: Callable[[], bool] | None = None,
) -> Iterator[tuple[int, Result | BatchError]]:
    """Runs each `function(*arguments)` of `calls` on `executor` (None: a pool of `workers`
    threads, shut down at the end) and yields (index, result) as each completes, a
    `BatchError` named after `names[index]` where it raised. At most `in_flight` calls are
    submitted ahead (None: all), so that `calls` may read its inputs lazily.

    Once `stop()` is true (it is asked about every 0.1 s) no more calls are submitted and those
    waiting are cancelled; those running are still waited for (they are to end at once). When
    the executor is lost (it refuses new calls, or its calls fail as broken, cancelled or
    closed), each call not finished is a `BatchError` of kind "LostExecutor" saying so."""
    pool = executor or cf.ThreadPoolExecutor(workers or default_workers())
    pending: dict[cf.Future[Result], int] = {}
    lost: list[str] = []
    poll = None if stop is None and _client(pool) is None else 0.1

    def collect() -> Iterator[tuple[int, Result | BatchError]]:
        done, _ = cf.wait(pending, timeout=poll, return_when=cf.FIRST_COMPLETED)
        if not done and _closed(pool):
            # A Dask client that closed for good leaves the calls it was fetching pending.
            if not lost:
                lost.append(f"{_executor_name(pool)} was lost: its client closed")
            for future in sorted(pending, key=pending.__getitem__):
                index = pending.pop(future)
                future.cancel()
                yield index, BatchError(names[index], "LostExecutor", f"{BROKE}{lost[0]}")
            return
        if stop is not None and stop():
            for future in pending:
                future.cancel()
        for future in sorted(done, key=pending.__getitem__):
            index = pending.pop(future)
            if stop is not None and stop() and _not_run(future):
                continue  # cancelled by the stop: not run, and not a failure
            outcome = _outcome(future, names[index], pool)
            if isinstance(outcome, BatchError) and _gone(outcome):
                if not lost:
                    lost.append(_loss(outcome, pool))
                outcome = BatchError(names[index], "LostExecutor", f"{BROKE}{lost[0]}")
            yield index, outcome

    try:
        index = -1
        for index, (function, arguments) in enumerate(calls):
            if lost or (stop is not None and stop()):
                break
            try:
                if executor is None and stop is not None:  # our threads start none once stopped
                    arguments, function = (stop, function, *arguments), _unless_stopped
                pending[pool.submit(function, *arguments)] = index
            except (cf.BrokenExecutor, RuntimeError) as error:
                lost.append(f"{_executor_name(pool)} takes no more calls ({error})")
                break
            except Exception as error:  # noqa: BLE001 - a client that closed: by its name
                if type(error).__name__ not in GONE:
                    raise
                lost.append(f"{_executor_name(pool)} was lost ({type(error).__name__}: {error})")
                break
            while in_flight is not None and len(pending) >= in_flight:
                yield from collect()
        else:
            index = len(names)
        while pending:
            yield from collect()
        for rest in range(max(index, 0), len(names)) if lost else ():
            yield rest, BatchError(names[rest], "LostExecutor", f"{BROKE}{lost[0]}")
    finally:
        for future in pending:
            future.cancel()
        if executor is None:
            pool.shutdown(wait=False, cancel_futures=True)


class _Stopped(Exception):
    """A call that a pool thread took up after the stop: it did not run."""


def _unless_stopped(
    stop: Callable[[], bool], function: Callable[..., Result], *arguments: Any
) -> Result:
    if stop():
        raise _Stopped
    return function(*arguments)


def _not_run(future: cf.Future[Any]) -> bool:
    return future.cancelled() or isinstance(future.exception(), _Stopped)


# Errors of an executor that is gone, by name: Dask's client is not imported here.
GONE = frozenset({"ClosedClientError", "CommClosedError", "FutureCancelledError"})


def _gone(error: BatchError) -> bool:
    return error.error in GONE | {"BrokenProcessPool", "BrokenThreadPool", "CancelledError"}


def _client(pool: cf.Executor) -> Any:
    """The Dask client of a Dask executor, else None."""
    return getattr(pool, "_client", None) if type(pool).__name__ == "ClientExecutor" else None


def _closed(pool: cf.Executor) -> bool:
    return getattr(_client(pool), "status", None) in ("closing", "closed")


def _executor_name(pool: cf.Executor) -> str:
    kind = type(pool).__name__
    return "the Dask cluster" if kind == "ClientExecutor" else f"the {kind}"


BROKE = "not solved: "


def _loss(error: BatchError, pool: cf.Executor) -> str:
    if error.message.startswith(BROKE):
        return error.message.removeprefix(BROKE)
    if error.error == "CancelledError":
        return f"{_executor_name(pool)} was lost: it cancelled the calls it had"
    return f"{_executor_name(pool)} was lost ({error.error}: {error.message})"


def _outcome(future: cf.Future[Result], name: str, pool: cf.Executor) -> Result | BatchError:
    """The call's result, or what it raised as its `BatchError`: also a KeyboardInterrupt or
    SystemExit of its own (the caller's own interruption never comes from here)."""
    try:
        error = future.exception()
    except cf.CancelledError as cancelled:
        return BatchError(name, "CancelledError", str(cancelled) or "cancelled before it ran")
    if error is None:
        return future.result()
    if isinstance(error, cf.BrokenExecutor):
        return BatchError(
            name,
            type(error).__name__,
            f"{BROKE}{_executor_name(pool)} broke (one of its processes ended abruptly)",
        )
    return BatchError.of(name, error)
