import random

import pytest
from tourwright_tools import _engine

N = 7
rng = random.Random(5)
MATRIX = [[0 if i == j else rng.randint(1, 50) for j in range(N)] for i in range(N)]


@pytest.mark.parametrize(
    "kwargs, message",
    [
        ({"pinned": [1]}, "pinned locations need a start"),
        ({"start": 0, "pinned": [7]}, "pinned location 7 is out of range for 7 locations"),
        ({"start": 0, "pinned": [2, 2]}, "pinned location 2 is repeated"),
        ({"start": 0, "pinned": [0]}, "pinned location 0 is the start"),
        ({"start": 0, "end": 6, "pinned": [6]}, "pinned location 6 is the end"),
        ({"initial": [0, 1, 2, 3, 4, 5, 5]}, "initial must visit each of the 7 locations once"),
        ({"start": 3, "initial": list(range(N))}, "initial must begin with the start 3"),
        (
            {"start": 0, "pinned": [2, 1], "initial": list(range(N))},
            "initial must follow the start with the pinned locations in order",
        ),
        ({"start": 0, "end": 5, "initial": list(range(N))}, "initial must finish with the end 5"),
    ],
)
def test_pinned_runs_and_initial_routes_the_search_cannot_keep_are_refused(kwargs, message):
    with pytest.raises(ValueError, match=f"^{message}$"):
        _engine.solve(MATRIX, max_descents=1, **kwargs)
