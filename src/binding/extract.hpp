#pragma once
// Extraction of argument values into plain native records. Each function throws
// PythonError with the underlying (unprefixed) Python error set.
#include <array>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "pyref.hpp"

namespace tourwright::python {

// An int (or an object with __index__) in 0 ..= 2^64 - 1.
std::uint64_t extract_u64(PyObject* object);

// A 2-tuple (or tuple subclass) of such integers, and a 3-tuple.
std::pair<std::uint64_t, std::uint64_t> extract_u64_pair(PyObject* object);
std::array<std::uint64_t, 3> extract_u64_triple(PyObject* object);

// Sequences (any but str, items taken by iteration) of integers, of rows of integers
// (read straight from a two-dimensional buffer of integers where there is one),
// of (start, end) pairs, of triples, and per location of (start, end) pairs.
std::vector<std::vector<std::uint64_t>> extract_u64_rows(PyObject* object);
std::vector<std::uint64_t> extract_u64_list(PyObject* object);
// A sequence of None (a required location) or an int in the 32-bit range (the priority
// class of an optional one).
std::vector<std::optional<std::int32_t>> extract_stop_classes(PyObject* object);
std::vector<std::pair<std::uint64_t, std::uint64_t>> extract_u64_pairs(PyObject* object);
std::vector<std::array<std::uint64_t, 3>> extract_u64_triples(PyObject* object);
std::vector<std::vector<std::pair<std::uint64_t, std::uint64_t>>> extract_window_lists(
    PyObject* object);

}  // namespace tourwright::python
