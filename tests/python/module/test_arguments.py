import sys

import pytest
import tourwright

OK = [[0, 1], [1, 0]]


class Index:
    """Not an int, but usable as one through __index__."""

    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class BadSequence:
    """Claims to be a sequence but fails while being iterated."""

    def __len__(self):
        return 2

    def __getitem__(self, index):
        raise KeyError("broken")


@pytest.mark.parametrize(
    "args, kwargs, message",
    [
        ((), {}, "solve() missing 1 required positional argument: 'distance_matrix'"),
        ((OK,) * 7, {}, "solve() takes from 1 to 6 positional arguments but 7 were given"),
        ((OK,), {"x": 1}, "solve() got an unexpected keyword argument 'x'"),
        (
            (OK,),
            {"distance_matrix": OK},
            "solve() got multiple values for argument 'distance_matrix'",
        ),
        (
            (OK, None),
            {"duration_matrix": None},
            "solve() got multiple values for argument 'duration_matrix'",
        ),
    ],
)
def test_binding_errors(args, kwargs, message):
    with pytest.raises(TypeError) as caught:
        tourwright.solve(*args, **kwargs)
    assert str(caught.value) == message


@pytest.mark.parametrize(
    "kwargs, error, message, cause",
    [
        (
            {"distance_matrix": None},
            TypeError,
            "argument 'distance_matrix': 'NoneType' object cannot be converted to 'Sequence'",
            "'NoneType' object cannot be converted to 'Sequence'",
        ),
        (
            {"distance_matrix": "ab"},
            TypeError,
            "argument 'distance_matrix': Can't extract `str` to `Vec`",
            "Can't extract `str` to `Vec`",
        ),
        (
            {"distance_matrix": ["ab"]},
            TypeError,
            "argument 'distance_matrix': Can't extract `str` to `Vec`",
            "Can't extract `str` to `Vec`",
        ),
        (
            {"distance_matrix": [5]},
            TypeError,
            "argument 'distance_matrix': 'int' object cannot be converted to 'Sequence'",
            None,
        ),
        (
            {"distance_matrix": {0: [0]}},
            TypeError,
            "argument 'distance_matrix': 'dict' object cannot be converted to 'Sequence'",
            None,
        ),
        (
            {"distance_matrix": [[1.5]]},
            TypeError,
            "argument 'distance_matrix': 'float' object cannot be interpreted as an integer",
            None,
        ),
        ({"distance_matrix": [[-1]]}, OverflowError, None, None),
        ({"distance_matrix": [[2**64]]}, OverflowError, None, None),
        ({"distance_matrix": [[Index(-1)]]}, OverflowError, None, None),
        ({"distance_matrix": BadSequence()}, KeyError, None, None),
        (
            {"distance_matrix": OK, "duration_matrix": "x"},
            TypeError,
            "argument 'duration_matrix': Can't extract `str` to `Vec`",
            None,
        ),
        (
            {"distance_matrix": OK, "job_durations": [None]},
            TypeError,
            "argument 'job_durations': 'NoneType' object cannot be interpreted as an integer",
            None,
        ),
        (
            {"distance_matrix": OK, "time_windows": [[[1, 2]]]},
            TypeError,
            "argument 'time_windows': 'list' object cannot be converted to 'PyTuple'",
            None,
        ),
        (
            {"distance_matrix": OK, "time_windows": [[(1, 2, 3)]]},
            ValueError,
            "expected tuple of length 2, but got tuple of length 3",
            None,
        ),
        # A location's windows given as one bare pair: its items are not pairs.
        (
            {"distance_matrix": OK, "time_windows": [(1, 2)]},
            TypeError,
            "argument 'time_windows': 'int' object cannot be converted to 'PyTuple'",
            None,
        ),
        (
            {"distance_matrix": OK, "time_windows": [5]},
            TypeError,
            "argument 'time_windows': 'int' object cannot be converted to 'Sequence'",
            None,
        ),
        (
            {"distance_matrix": OK, "operation_times": [0, 3600]},
            TypeError,
            "argument 'operation_times': 'list' object cannot be converted to 'PyTuple'",
            None,
        ),
        (
            {"distance_matrix": OK, "operation_times": (1, 2, 3)},
            ValueError,
            "expected tuple of length 2, but got tuple of length 3",
            None,
        ),
        (
            {"distance_matrix": OK, "operation_times": ()},
            ValueError,
            "expected tuple of length 2, but got tuple of length 0",
            None,
        ),
        (
            {"distance_matrix": OK, "time_limit": "1"},
            TypeError,
            "argument 'time_limit': 'str' object cannot be interpreted as an integer",
            None,
        ),
        ({"distance_matrix": OK, "time_limit": -1}, OverflowError, None, None),
    ],
)
def test_extraction_errors(kwargs, error, message, cause):
    with pytest.raises(error) as caught:
        tourwright.solve(**kwargs)
    assert type(caught.value) is error
    if message is not None:
        assert str(caught.value) == message
    if error is TypeError:
        # The original error is kept as the cause of the prefixed one.
        assert type(caught.value.__cause__) is TypeError
        if cause is not None:
            assert str(caught.value.__cause__) == cause
    else:
        assert "argument '" not in str(caught.value)


def test_type_error_subclass_is_not_prefixed():
    class Picky(TypeError):
        pass

    class Raises:
        def __index__(self):
            raise Picky("no")

    with pytest.raises(Picky, match="^no$"):
        tourwright.solve([[Raises()]])


def test_first_failing_argument_wins():
    # A bad later argument is never looked at once an earlier one failed.
    with pytest.raises(TypeError, match="^argument 'distance_matrix'"):
        tourwright.solve("x", job_durations="y", operation_times=[1])
    with pytest.raises(TypeError, match="^argument 'job_durations'"):
        tourwright.solve(OK, job_durations="y", operation_times=[1])


@pytest.mark.parametrize(
    "matrix",
    [
        ((0, 3), (3, 0)),
        [range(2), range(1, -1, -1)],
        [bytes([0, 3]), bytes([3, 0])],
        [[False, True], [True, False]],
        [[Index(0), Index(2)], [Index(2), Index(0)]],
    ],
    ids=["tuples", "ranges", "bytes", "bools", "index-objects"],
)
def test_accepted_sequence_and_integer_forms(matrix):
    result = tourwright.solve(matrix)
    assert sorted(result.route) == [0, 1]
    expected = sum(int(matrix[a][b]) for a, b in ((0, 1), (1, 0)))
    assert result.distance == expected


def test_largest_integer_is_accepted():
    result = tourwright.solve([[2**64 - 1]])
    assert result.distance == 2**64 - 1


def test_bytes_as_job_durations_are_integers():
    # Two time tables without windows: no time data, but the values are extracted.
    result = tourwright.solve([[0]], duration_matrix=[[0]], job_durations=b"\x05\x07")
    assert result.route == [0] and result.lateness is None


def test_arguments_keep_their_reference_counts():
    matrix = [[0, 4, 2], [4, 0, 1], [2, 1, 0]]
    windows = [[(0, 100)], [(0, 100)], [(0, 100)]]
    tracked = [matrix, matrix[0], windows, windows[0], windows[0][0]]
    before = [sys.getrefcount(obj) for obj in tracked]
    for _ in range(100):
        tourwright.solve(matrix, matrix, [1, 1, 1], windows, (0, 86400))
        with pytest.raises(TypeError):
            tourwright.solve(matrix, matrix, [1, 1, "x"], windows)
    assert [sys.getrefcount(obj) for obj in tracked] == before
