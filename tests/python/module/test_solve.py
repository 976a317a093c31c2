import pytest
import tourwright
from conftest import TIME_ATTRIBUTES, TRACE_MATRIX


def test_single_location():
    result = tourwright.solve([[7]])
    assert result.route == [0]
    assert result.distance == 7
    assert result.iterations == 1
    for name in TIME_ATTRIBUTES:
        assert getattr(result, name) is None


def test_empty_matrix_panics(PanicException):
    with pytest.raises(
        PanicException, match="^index out of bounds: the len is 0 but the index is 0$"
    ):
        tourwright.solve([])


@pytest.mark.parametrize(
    "matrix, message",
    [
        ([[0, 1], []], "index out of bounds: the len is 0 but the index is 0"),
        ([[0, 1], [1, 0], [1, 1]], "index out of bounds: the len is 2 but the index is 2"),
    ],
)
def test_short_tables_panic(PanicException, matrix, message):
    with pytest.raises(PanicException) as caught:
        tourwright.solve(matrix)
    assert str(caught.value) == message


def test_single_descent_is_deterministic():
    results = [tourwright.solve(TRACE_MATRIX) for _ in range(3)]
    for result in results:
        assert result.route == [2, 0, 5, 1, 4, 3]
        assert result.distance == 33
        assert result.iterations == 1


def test_expired_limit_returns_identity():
    # 2**64 - 1 reads as minus one second: the limit has passed before the first descent.
    result = tourwright.solve(TRACE_MATRIX, time_limit=2**64 - 1)
    assert result.iterations == 0
    assert result.route == [0, 1, 2, 3, 4, 5]
    assert result.distance == 71


def test_time_limit_runs_several_descents():
    result = tourwright.solve(TRACE_MATRIX, time_limit=1)
    assert result.iterations > 1
    assert result.time_taken_microseconds >= 1_000_000  # it only stops past the limit
    assert result.distance <= 33
    assert sorted(result.route) == list(range(6))


def test_route_reads_are_fresh_lists():
    result = tourwright.solve(TRACE_MATRIX)
    first, second = result.route, result.route
    assert first == second and first is not second
    first.append(99)
    assert result.route == [2, 0, 5, 1, 4, 3]


def test_distance_is_exact_and_saturates():
    huge = 2**63
    # Two forbidden legs do not wrap around to a cheap tour.
    assert tourwright.solve([[0, huge], [huge, 0]]).distance == 2**64 - 1
    # A tour with one huge leg beats any tour with two.
    matrix = [[0, 1, huge], [huge, 0, 1], [1, huge, 0]]
    result = tourwright.solve(matrix)
    assert result.distance == 3
    assert result.route in ([0, 1, 2], [1, 2, 0], [2, 0, 1])


def test_asymmetric_matrix_prefers_the_cheap_direction():
    matrix = [[0, 1, 9, 9], [9, 0, 1, 9], [9, 9, 0, 1], [1, 9, 9, 0]]
    result = tourwright.solve(matrix)
    assert result.distance == 4
