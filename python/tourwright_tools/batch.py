"""`solve_many`: many independent problems on a pool of workers (threads by default, or any
`concurrent.futures.Executor`: a process pool, a Dask cluster's executor), one result each."""

from __future__ import annotations

import concurrent.futures as cf
import dataclasses
from collections.abc import Callable, Iterable, Iterator, Mapping
from typing import Any, TypeVar, overload

from .options import SolveOptions, TimeLimit, available_cores, limit_seconds
from .problem import Problem
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

    Options that are wrong for every problem (an unknown keyword, a negative time limit)
    raise at once, before anything runs.
    """
    record = checked_options(time_limit, options)
    if isinstance(problems, Mapping):
        names = [str(key) for key in problems]
        items = list(problems.values())
    else:
        items = list(problems)
        names = [f"problems[{index}]" for index in range(len(items))]
    results: list[Tour | BatchError | None] = [None] * len(items)
    calls = ((solve_with, (problem, record)) for problem in items)
    for index, result in run_tasks(calls, names, executor):
        results[index] = result
    return dict(zip(problems, results)) if isinstance(problems, Mapping) else results


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
) -> Iterator[tuple[int, Result | BatchError]]:
    """Runs each `function(*arguments)` of `calls` on `executor` (None: a pool of `workers`
    threads, shut down at the end) and yields (index, result) as each completes, a
    `BatchError` named after `names[index]` where it raised. At most `in_flight` calls are
    submitted ahead (None: all), so that `calls` may read its inputs lazily."""
    pool = executor or cf.ThreadPoolExecutor(workers or default_workers())
    pending: dict[cf.Future[Result], int] = {}
    try:
        for index, (function, arguments) in enumerate(calls):
            pending[pool.submit(function, *arguments)] = index
            while in_flight is not None and len(pending) >= in_flight:
                yield from _collect(pending, names, cf.FIRST_COMPLETED)
        while pending:
            yield from _collect(pending, names, cf.FIRST_COMPLETED)
    finally:
        for future in pending:
            future.cancel()
        if executor is None:
            pool.shutdown(wait=False, cancel_futures=True)


def _collect(
    pending: dict[cf.Future[Result], int], names: list[str], when: str
) -> Iterator[tuple[int, Result | BatchError]]:
    done, _ = cf.wait(pending, return_when=when)
    for future in sorted(done, key=pending.__getitem__):
        index = pending.pop(future)
        try:
            yield index, future.result()
        except Exception as error:  # noqa: BLE001 - any failure is this problem's result
            yield index, BatchError.of(names[index], error)
