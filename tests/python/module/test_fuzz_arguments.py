"""Random malformed arguments, for every argument of solve and for the event classes:
every call returns or raises one of the documented errors (or the error that the
argument itself raised), never anything else and never a crash."""

import operator

import numpy as np
import tourwright
from conftest import panic_type
from fuzzing import is_panic_message
from hypothesis import event, given
from hypothesis import strategies as st
from test_arguments import Index

PanicException = panic_type()
PARAMETERS = (
    "distance_matrix",
    "duration_matrix",
    "job_durations",
    "time_windows",
    "operation_times",
    "time_limit",
)


class ArgumentsOwnError(Exception):
    """Raised by the hostile objects below: it must come out of solve unchanged."""


class IndexRaises:
    def __index__(self):
        raise ArgumentsOwnError("__index__")


class LyingSequence:
    """A sequence whose length is wrong, negative or raises."""

    def __init__(self, items, length):
        self.items, self.length = items, length

    def __len__(self):
        if self.length is None:
            raise ArgumentsOwnError("__len__")
        return self.length

    def __getitem__(self, index):
        return self.items[index]  # IndexError ends the iteration


class BreaksPartWay(LyingSequence):
    """Iteration raises after `at` items."""

    def __init__(self, items, at):
        super().__init__(items, len(items))
        self.at = at

    def __iter__(self):
        yield from self.items[: self.at]
        raise ArgumentsOwnError("__iter__")


# Small values mostly, and the edges of every conversion. Values that would make the
# search run long (a time limit of many seconds) are left out.
BOUNDARIES = [
    0,
    1,
    86399,
    86400,
    2**63 - 1,
    2**63,
    2**64 - 1,
    2**64,
    -1,
    -(2**64),
    9223372036854775,
    9223372036854776,
    18437520701672696841,
    8210266876799,
    8210266876800,
    18446735739108236416,
    18446735739108236415,
    10**40,
]
integers = st.one_of(
    st.integers(0, 100_000),
    st.sampled_from(BOUNDARIES),
    st.integers(min_value=2**64),
    st.integers(max_value=-1),
)
index_objects = st.one_of(
    st.just(IndexRaises()),
    st.builds(Index, st.one_of(integers, st.floats(), st.text(max_size=2), st.none())),
)
scalars = st.one_of(
    integers,
    st.booleans(),
    st.none(),
    st.floats(),
    st.text(max_size=3),
    st.binary(max_size=3),
    index_objects,
    st.builds(np.uint64, st.integers(0, 2**64 - 1)),
    st.builds(np.int64, st.integers(-5, 5)),
    st.builds(np.float64, st.floats()),
)


def containers(children):
    lists = st.lists(children, max_size=5)
    return st.one_of(
        lists,
        lists.map(tuple),
        st.builds(range, st.integers(-3, 3), st.integers(-3, 6)),
        st.builds(LyingSequence, lists, st.one_of(st.none(), st.integers(-2, 2**62))),
        st.builds(BreaksPartWay, lists, st.integers(0, 3)),
        st.lists(st.integers(0, 200), max_size=5).map(bytes),
        st.lists(st.integers(0, 100_000), max_size=4).map(
            lambda row: np.array(row, dtype=np.uint64)
        ),
        st.lists(st.integers(-9, 9), max_size=4).map(lambda row: np.array(row, dtype=np.int64)),
        st.lists(st.floats(allow_nan=False), max_size=4).map(np.array),
        st.integers(0, 4).map(lambda n: np.arange(n * n, dtype=np.uint64).reshape(n, n)),
    )


values = st.recursive(scalars, containers, max_leaves=30)


# Well-formed arguments too, so that the later arguments are reached.
def square(n, entries):
    return st.lists(st.lists(entries, min_size=n, max_size=n), min_size=n, max_size=n)


small = st.integers(0, 100_000)
matrices = st.integers(1, 4).flatmap(lambda n: square(n, small))
job_lists = st.lists(small, min_size=1, max_size=4)
window_lists = st.lists(
    st.lists(st.tuples(small, small).map(sorted).map(tuple), max_size=3), min_size=1, max_size=4
)
hours = st.tuples(st.integers(0, 2 * 86400), st.integers(0, 2 * 86400))


def is_long_time_limit(value):
    try:
        seconds = operator.index(value)
    except Exception:  # noqa: BLE001 - whatever the object raises
        return False
    return 0 < seconds <= 9223372036854775


# Time limits: only ones that end the search at once, or malformed ones.
time_limits = st.one_of(
    st.none(),
    st.sampled_from([0, 2**64 - 1, 2**63, 9223372036854776, -1]),
    values.map(lambda value: None if is_long_time_limit(value) else value),
)


def check_outcome(call, names, binding=None):
    """Runs `call`; fails unless it returns or raises one of the documented errors:
    a TypeError prefixed with one of `names` (or from binding arguments to `binding`)."""
    try:
        result = call()
    except BaseException as error:  # noqa: BLE001 - PanicException is a BaseException
        event(type(error).__name__)
        check_error(error, names, binding)
        return None
    event("returned")
    return result


def check_error(error, names, binding):
    message = str(error)
    if type(error) is TypeError:
        if message.startswith("argument '"):
            assert message[len("argument '") :].split("'", 1)[0] in names, message
            assert type(error.__cause__) is TypeError
        else:
            assert binding and message.startswith(binding), message
    elif type(error) is ValueError:
        assert message.startswith("expected tuple of length 2, but got tuple of length "), message
    elif type(error) is OverflowError:
        assert "convert" in message, message
    elif type(error) is IndexError:
        assert message == "tuple index out of range"
    elif type(error) is PanicException:
        assert is_panic_message(message), message
    elif type(error) is not ArgumentsOwnError:
        raise error


@given(
    distance_matrix=st.one_of(values, matrices),
    duration_matrix=st.one_of(st.none(), values, matrices),
    job_durations=st.one_of(st.none(), values, job_lists),
    time_windows=st.one_of(st.none(), values, window_lists),
    operation_times=st.one_of(st.none(), values, hours),
    time_limit=time_limits,
    by_keyword=st.booleans(),
)
def test_solve_survives_malformed_arguments(
    distance_matrix,
    duration_matrix,
    job_durations,
    time_windows,
    operation_times,
    time_limit,
    by_keyword,
):
    arguments = (
        distance_matrix,
        duration_matrix,
        job_durations,
        time_windows,
        operation_times,
        time_limit,
    )
    if by_keyword:
        result = check_outcome(
            lambda: tourwright.solve(**dict(zip(PARAMETERS, arguments))), PARAMETERS
        )
    else:
        result = check_outcome(lambda: tourwright.solve(*arguments), PARAMETERS)
    if result is not None:
        assert isinstance(result, tourwright.PyOutput)
        assert sorted(result.route) == list(range(len(result.route)))


@given(
    windows=st.lists(
        st.tuples(st.integers(0, 10**6), st.integers(0, 10**6)).map(sorted).map(tuple),
        min_size=1,
        max_size=3,
    )
)
def test_windows_as_tuples_of_any_sequence_kind(windows):
    # A well-formed problem in every accepted sequence form gives the same answer.
    problem = ([[0, 5], [7, 0]], [[0, 60], [60, 0]], [30, 30], [windows, windows])
    plain = tourwright.solve(*problem)
    for convert in (tuple, lambda rows: np.array(rows, dtype=np.uint64)):
        other = tourwright.solve(
            convert(problem[0]), convert(problem[1]), convert(problem[2]), [tuple(windows), windows]
        )
        assert (other.route, other.distance, other.end_time) == (
            plain.route,
            plain.distance,
            plain.end_time,
        )


def one_event_of_each_kind():
    schedule = tourwright.solve(
        [[0, 1], [1, 0]], [[0, 60], [60, 0]], [60, 60], [[(0, 10)], [(1000, 2000)]]
    ).schedule
    return {type(event).__name__: event for event in schedule}


EVENTS = one_event_of_each_kind()


@given(
    kind=st.sampled_from(sorted(EVENTS)),
    args=st.lists(
        st.one_of(values, st.sampled_from([event._0 for event in EVENTS.values()])), max_size=2
    ),
    kwargs=st.dictionaries(st.sampled_from(["_0", "x", "idx"]), values, max_size=2),
    index=values,
)
def test_event_constructors_and_indexing(kind, args, kwargs, index):
    event = EVENTS[kind]
    made = check_outcome(lambda: type(event)(*args, **kwargs), ["_0"], binding=f"{kind}.__new__()")
    if made is not None:
        payload = args[0] if args else kwargs["_0"]
        assert type(made) is type(event) and made._0.window == payload.window
    item = check_outcome(lambda: event[index], ["idx"])
    if item is not None:
        assert type(item) is type(event._0) and item.window == event._0.window
