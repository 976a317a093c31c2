"""Big inputs: numpy arrays checked whole and handed to the engine as buffers give what lists
give, values, errors and all."""

import pickle

import numpy as np
import pytest
import tourwright
from conftest import delivery_problem
from tourwright_tools import Problem, solve_problem


def test_arrays_make_the_problem_and_tour_that_lists_make():
    reference = delivery_problem(40, seed=2)
    data = reference.to_dict()
    arrays = Problem(
        np.array(data["distance_matrix"], dtype=np.int32),
        np.array(data["duration_matrix"], dtype=np.float64)[:, ::-1][:, ::-1],
        np.array(data["job_durations"]),
        np.array([w[:1] for w in data["time_windows"]]),
    )
    lists = Problem(
        data["distance_matrix"],
        data["duration_matrix"],
        data["job_durations"],
        [w[:1] for w in data["time_windows"]],
    )
    assert arrays == lists and hash(arrays) == hash(lists)
    assert pickle.loads(pickle.dumps(arrays)) == lists
    assert arrays.distance_matrix[3] == tuple(data["distance_matrix"][3])
    tours = [solve_problem(problem, seed=1, max_descents=5) for problem in (arrays, lists)]
    assert tours[0].schedule == tours[1].schedule and tours[0].route == tours[1].route


@pytest.mark.parametrize(
    "entry, message",
    [
        (-1, r"distance_matrix\[1\]\[0\]: -1 is negative"),
        (2.5, r"distance_matrix\[1\]\[0\]: .*2.5.* is not a whole number"),
        (np.nan, r"distance_matrix\[1\]\[0\]: .*nan.* is not a whole number"),
    ],
)
def test_a_bad_entry_in_an_array_is_named_as_in_a_list(entry, message):
    matrix = np.zeros((3, 3), dtype=np.float64 if isinstance(entry, float) else np.int64)
    matrix[1, 0] = entry
    for given in (matrix, matrix.tolist()):
        with pytest.raises(ValueError, match=message):
            Problem(given)


def test_the_module_reads_integer_buffers_and_keeps_its_errors_for_the_rest():
    matrix = np.array([[0, 5, 3, 9], [5, 0, 2, 4], [3, 2, 0, 6], [9, 4, 6, 0]])
    flipped = matrix[::-1, ::-1]  # negative strides
    for given in (matrix.astype(np.uint8), memoryview(matrix.astype(np.uint64)), flipped):
        assert tourwright.solve(given).route == tourwright.solve(np.asarray(given).tolist()).route
    for bad in (matrix - 1, matrix / 2):
        with pytest.raises((OverflowError, TypeError)) as from_array:
            tourwright.solve(bad)
        with pytest.raises(type(from_array.value)) as from_list:
            tourwright.solve(bad.tolist())
        assert str(from_array.value).replace("numpy.float64", "float") == str(from_list.value)
