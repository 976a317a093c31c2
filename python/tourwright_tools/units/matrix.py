"""`Matrix`: a checked square matrix of whole numbers in one read-only buffer of unsigned 64-bit
integers. It reads like the tuple of its rows (equal to it, hashed like it), pickles compactly,
and reaches the engine through the buffer protocol, without a Python object per entry. Also the
checks of whole numpy arrays at once that let big problems skip the checks entry by entry."""

from __future__ import annotations

import array
from collections.abc import Iterable, Iterator, Sequence
from typing import Any, overload

from .values import imported_numpy


class Matrix(Sequence[tuple[int, ...]]):
    """n rows of n whole numbers in 0 ... 2**64 - 1, immutable."""

    __slots__ = ("_flat", "_size", "_bound")

    def __init__(self, data: Any, size: int, bound: int | None = None) -> None:
        """`data`: a C-contiguous buffer of size * size native unsigned 64-bit integers, row
        after row; kept as it is when read-only, else copied. `bound`, when known, is at
        least the largest entry (it spares looking through them all)."""
        view = memoryview(data)
        flat = (view if view.readonly else memoryview(view.tobytes())).cast("B").cast("Q")
        if len(flat) != size * size:
            raise ValueError(
                f"a {size} x {size} matrix needs {size * size} entries, got {len(flat)}"
            )
        self._flat, self._size, self._bound = flat, size, bound

    @classmethod
    def from_rows(cls, rows: Iterable[Iterable[int]], size: int) -> Matrix:
        """From rows of checked ints (each in range, `size` rows of `size`); rows that are
        already arrays of unsigned 64-bit ints are copied whole."""
        entries = array.array("Q")
        for row in rows:
            whole = isinstance(row, array.array) and row.typecode == "Q"
            entries.extend(row if whole else array.array("Q", row))
        return cls(entries.tobytes(), size)

    @property
    def buffer(self) -> memoryview:
        """The entries as a read-only size x size memoryview (format 'Q')."""
        return self._flat.cast("B").cast("Q", (self._size, self._size))

    def __len__(self) -> int:
        return self._size

    @overload
    def __getitem__(self, index: int) -> tuple[int, ...]: ...
    @overload
    def __getitem__(self, index: slice) -> tuple[tuple[int, ...], ...]: ...
    def __getitem__(self, index: int | slice) -> Any:
        if isinstance(index, slice):
            return tuple(self[row] for row in range(*index.indices(self._size)))
        row = range(self._size)[index]  # negative indices and IndexError as for a tuple
        return tuple(self._flat[row * self._size : (row + 1) * self._size].tolist())

    def at(self, row: int, column: int) -> int:
        """The entry in `row` and `column` (without making the row's tuple)."""
        if not (0 <= row < self._size and 0 <= column < self._size):
            raise IndexError(f"({row}, {column}) is outside a {self._size} x {self._size} matrix")
        return int(self._flat[row * self._size + column])

    def first_above(self, limit: int) -> tuple[int, int, int] | None:
        """The first entry larger than `limit` in row order, as (row, column, entry); None when
        there is none. At once over the whole buffer: a matrix of 25 million entries takes
        milliseconds."""
        if _largest_entry(self) <= limit:
            return None
        import numpy

        entries = numpy.frombuffer(self._flat, dtype=numpy.uint64)
        index = int(numpy.argmax(entries > limit))  # 0 also when none is (the bound is above all)
        if entries[index] <= limit:
            return None
        row, column = divmod(index, self._size)
        return row, column, int(entries[index])

    def row_maxima(self) -> list[int]:
        """The largest entry of each row. Without numpy for tables of up to a million entries,
        which take milliseconds either way, so that a command's start does not wait for it."""
        size = self._size
        if size <= 1000:
            return [max(self._flat[row * size : (row + 1) * size]) for row in range(size)]
        import numpy

        rows = numpy.frombuffer(self._flat, dtype=numpy.uint64).reshape(size, size)
        return [int(value) for value in rows.max(axis=1)]

    def __iter__(self) -> Iterator[tuple[int, ...]]:
        return (self[row] for row in range(self._size))

    def tolist(self) -> list[list[int]]:
        values = self._flat.tolist()
        return [values[row : row + self._size] for row in range(0, len(values), self._size or 1)]

    def __eq__(self, other: object) -> bool:
        if isinstance(other, Matrix):
            return self._size == other._size and self._flat == other._flat
        if isinstance(other, tuple):
            return tuple(self) == other
        return NotImplemented

    def __hash__(self) -> int:
        return hash(tuple(self))

    def __reduce__(self) -> tuple[Any, ...]:
        return Matrix, (self._flat.tobytes(), self._size)

    def __repr__(self) -> str:
        return f"Matrix({self.tolist()!r})"


def fast_matrix(value: Any, n: int | None, largest: int) -> Matrix | None:
    """`value` as a Matrix when it is plainly a valid one: a Matrix, a numpy array of whole
    numbers, or lists or tuples of rows of ints, square (n rows of n; None: any n >= 1) with
    entries in 0 ... `largest`. None for anything else, which is then checked entry by entry
    (slower, but naming the first entry at fault)."""
    numpy = imported_numpy()
    if isinstance(value, Matrix):
        matrix: Matrix | None = value
    elif numpy is not None and isinstance(value, numpy.ndarray):
        matrix = _array_matrix(numpy, value)
    elif isinstance(value, (list, tuple)):
        matrix = _int_rows_matrix(value)
    else:
        matrix = None
    if matrix is None or len(matrix) == 0 or (n is not None and len(matrix) != n):
        return None
    if largest < 2**64 - 1 and _largest_entry(matrix) > largest:
        return None
    return matrix


def _largest_entry(matrix: Matrix) -> int:
    """At least the largest entry: its bound when known, else the largest, kept as the bound."""
    if matrix._bound is None:
        import numpy  # here: the command starts faster without it, and a big matrix needs it

        matrix._bound = int(numpy.frombuffer(matrix._flat, dtype=numpy.uint64).max())
    return matrix._bound


def _array_matrix(numpy: Any, value: Any) -> Matrix | None:
    if value.ndim != 2 or value.shape[0] != value.shape[1] or value.dtype.kind not in "iuf":
        return None
    if value.size and value.dtype.kind != "u":
        if value.dtype.kind == "f" and not numpy.isfinite(value).all():
            return None
        if value.dtype.kind == "f" and not (value == numpy.floor(value)).all():
            return None
        # Compared as Python ints: a float or signed bound is not exact at 2**64.
        if int(value.min()) < 0 or int(value.max()) > 2**64 - 1:
            return None
    # A copy of its own, which nothing else can change.
    entries = numpy.array(value, dtype=numpy.uint64, order="C", copy=True)
    entries.flags.writeable = False
    return Matrix(entries, value.shape[0])


def _int_rows_matrix(rows: list[Any] | tuple[Any, ...]) -> Matrix | None:
    size = len(rows)
    for row in rows:
        # Exactly int: a bool, a float or another number takes the careful path.
        if not isinstance(row, (list, tuple)) or len(row) != size:
            return None
        if row and set(map(type, row)) != {int}:
            return None
    try:
        return Matrix.from_rows(rows, size)
    except OverflowError:  # negative, or beyond 64 bits
        return None


def fast_windows(value: Any, n: int, earliest: int, latest: int) -> tuple[Any, ...] | None:
    """Time windows given as a numpy array of n locations by k windows by (start, end), as
    tuples, when all are plainly valid (in time order, no overlap, within earliest ...
    latest); None for anything else, which is then checked window by window."""
    numpy = imported_numpy()
    if numpy is None or not isinstance(value, numpy.ndarray) or value.dtype.kind not in "iu":
        return None
    if value.ndim != 3 or value.shape[0] != n or value.shape[1] == 0 or value.shape[2] != 2:
        return None
    starts, ends = value[..., 0], value[..., 1]
    if int(value.min()) < earliest or int(value.max()) > latest:
        return None
    if (ends < starts).any() or (starts[:, 1:] <= ends[:, :-1]).any():
        return None
    return tuple(tuple(map(tuple, windows)) for windows in value.tolist())
