#include "extract.hpp"

#include <algorithm>

#include "buffer_matrix.hpp"
#include "errors.hpp"

namespace tourwright::python {
namespace {

std::uint64_t long_to_u64(PyObject* integer) {
    const unsigned long long value = PyLong_AsUnsignedLongLong(integer);
    if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) throw PythonError{};
    return value;
}

// Any sequence but a str; its items are taken by iteration and extracted by `item`.
template <class Item>
std::vector<Item> extract_sequence(PyObject* object, Item (*item)(PyObject*)) {
    if (PyUnicode_Check(object)) {
        PyErr_SetString(PyExc_TypeError, "Can't extract `str` to `Vec`");
        throw PythonError{};
    }
    if (!PySequence_Check(object)) {
        raise_conversion_error(object, "Sequence");
        throw PythonError{};
    }
    std::vector<Item> items;
    // The reported length only sizes the list (capped: a sequence may misreport it);
    // the items come from iteration.
    const Py_ssize_t length = PySequence_Size(object);
    if (length < 0)
        PyErr_Clear();
    else
        items.reserve(std::min<std::size_t>(static_cast<std::size_t>(length), 1 << 16));
    PyRef iterator = PyRef::checked(PyObject_GetIter(object));
    while (PyRef next = PyRef::steal(PyIter_Next(iterator.get())))
        items.push_back(item(next.get()));
    if (PyErr_Occurred()) throw PythonError{};
    return items;
}

}  // namespace

std::uint64_t extract_u64(PyObject* object) {
    if (PyLong_Check(object)) return long_to_u64(object);
    PyRef integer = PyRef::checked(PyNumber_Index(object));
    return long_to_u64(integer.get());
}

namespace {

// A tuple (or tuple subclass) of `N` integers, taken in order.
template <std::size_t N>
std::array<std::uint64_t, N> extract_u64_tuple(PyObject* object) {
    if (!PyTuple_Check(object)) {
        raise_conversion_error(object, "PyTuple");
        throw PythonError{};
    }
    if (PyTuple_GET_SIZE(object) != static_cast<Py_ssize_t>(N)) {
        PyErr_Format(PyExc_ValueError, "expected tuple of length %zu, but got tuple of length %zd",
                     N, PyTuple_GET_SIZE(object));
        throw PythonError{};
    }
    std::array<std::uint64_t, N> values{};
    for (std::size_t k = 0; k < N; ++k)
        values[k] = extract_u64(PyTuple_GET_ITEM(object, static_cast<Py_ssize_t>(k)));
    return values;
}

}  // namespace

std::pair<std::uint64_t, std::uint64_t> extract_u64_pair(PyObject* object) {
    const auto [first, second] = extract_u64_tuple<2>(object);
    return {first, second};
}

std::array<std::uint64_t, 3> extract_u64_triple(PyObject* object) {
    return extract_u64_tuple<3>(object);
}

std::vector<std::pair<std::uint64_t, std::uint64_t>> extract_u64_pairs(PyObject* object) {
    return extract_sequence(object, extract_u64_pair);
}

std::vector<std::array<std::uint64_t, 3>> extract_u64_triples(PyObject* object) {
    return extract_sequence(object, extract_u64_triple);
}

std::vector<std::uint64_t> extract_u64_list(PyObject* object) {
    return extract_sequence(object, extract_u64);
}

std::vector<std::vector<std::uint64_t>> extract_u64_rows(PyObject* object) {
    if (auto rows = read_buffer_rows(object)) return std::move(*rows);
    // A large table takes a while to read: signal handlers (Ctrl-C) run between rows.
    return extract_sequence(
        object, +[](PyObject* row) {
            run_signal_handlers();
            return extract_u64_list(row);
        });
}

std::vector<std::vector<std::pair<std::uint64_t, std::uint64_t>>> extract_window_lists(
    PyObject* object) {
    return extract_sequence(object, extract_u64_pairs);
}

namespace {

std::optional<std::int32_t> extract_stop_class(PyObject* object) {
    if (object == Py_None) return std::nullopt;
    PyRef integer = PyRef::checked(PyNumber_Index(object));
    int overflow = 0;
    const long long value = PyLong_AsLongLongAndOverflow(integer.get(), &overflow);
    if (value == -1 && PyErr_Occurred()) throw PythonError{};
    if (overflow != 0 || value < INT32_MIN || value > INT32_MAX) {
        PyErr_SetString(PyExc_OverflowError, "a priority class must fit in 32 bits");
        throw PythonError{};
    }
    return static_cast<std::int32_t>(value);
}

}  // namespace

std::vector<std::optional<std::int32_t>> extract_stop_classes(PyObject* object) {
    return extract_sequence(object, extract_stop_class);
}

}  // namespace tourwright::python
