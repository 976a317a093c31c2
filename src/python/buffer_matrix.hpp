#pragma once
// Rows of whole numbers read straight from a two-dimensional buffer (a numpy
// array, a memoryview) instead of one Python object per entry.
#include <cstdint>
#include <optional>
#include <vector>

#include "pyref.hpp"

namespace tourwright::python {

// The rows of `object` when it exports a two-dimensional buffer of native integers
// that are all >= 0; nullopt otherwise (no buffer, another element type, a negative
// entry), leaving the entries to be read one by one with the usual errors. Throws
// PythonError only for a failure other than "no such buffer".
std::optional<std::vector<std::vector<std::uint64_t>>> read_buffer_rows(PyObject* object);

}  // namespace tourwright::python
