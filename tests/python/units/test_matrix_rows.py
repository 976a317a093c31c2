import random

from tourwright_tools.units.matrix import Matrix


def test_row_maxima_are_the_same_by_either_way_of_reading_the_rows():
    rng = random.Random(5)
    for size in (1, 7, 1001):  # the last one is read with numpy
        rows = [[rng.randrange(2**64) for _ in range(size)] for _ in range(size)]
        assert Matrix.from_rows(rows, size).row_maxima() == [max(row) for row in rows]
