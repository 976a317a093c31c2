#pragma once
// The engine module's native help for reading problem files: their big number tables, and the
// shortened distances of the classic coordinate layout.
#include "pyref.hpp"

namespace tourwright::python {

// integer_rows(text, at, json) -> None | (end, values, lengths, largest)
// The table of whole numbers in the str `text` from index `at`: a JSON array of arrays
// of integers when `json` is true, else lines of numbers to the end of the text.
// `values` are bytes of native unsigned 64-bit integers, row after row; `lengths`
// a tuple of each row's count; `end` the index just past the table; `largest` the largest
// value. None when the text there is anything else, for the general reader to read (and
// name what is wrong).
PyObject* integer_rows(PyObject* module, PyObject* const* args, Py_ssize_t nargs);

// shorten_through_third(matrix, xs, ys, scale) -> None
// Shortens in place the n x n C-contiguous int64 array `matrix` of rounded-down distances
// between the points (xs[i] / scale, ys[i] / scale), xs and ys int64 arrays of n whole numbers
// at most 2^31 apart, as the collections' loops do (see util/shortened_distances.hpp).
PyObject* shorten_through_third(PyObject* module, PyObject* const* args, Py_ssize_t nargs);

}  // namespace tourwright::python
