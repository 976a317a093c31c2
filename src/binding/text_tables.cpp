#include "text_tables.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>

#include "buffer_matrix.hpp"
#include "errors.hpp"
#include "util/integer_text.hpp"
#include "util/shortened_distances.hpp"

namespace tourwright::python {
namespace {

template <class Char>
std::optional<IntegerRows> read_rows(const void* data, Py_ssize_t length, std::size_t at,
                                     bool json) {
    const std::span<const Char> text(static_cast<const Char*>(data),
                                     static_cast<std::size_t>(length));
    return json ? json_integer_rows(text, at) : integer_lines(text, at);
}

PyRef rows_object(const IntegerRows& rows) {
    PyRef values = PyRef::checked(PyBytes_FromStringAndSize(
        nullptr, static_cast<Py_ssize_t>(rows.values.size() * sizeof(std::uint64_t))));
    if (!rows.values.empty()) {
        std::memcpy(PyBytes_AS_STRING(values.get()), rows.values.data(),
                    rows.values.size() * sizeof(std::uint64_t));
    }
    PyRef lengths = PyRef::checked(PyTuple_New(static_cast<Py_ssize_t>(rows.lengths.size())));
    for (std::size_t i = 0; i < rows.lengths.size(); ++i) {
        PyObject* length = PyLong_FromSize_t(rows.lengths[i]);
        if (!length) throw PythonError{};
        PyTuple_SET_ITEM(lengths.get(), static_cast<Py_ssize_t>(i), length);
    }
    return PyRef::checked(Py_BuildValue("(nOOK)", static_cast<Py_ssize_t>(rows.end), values.get(),
                                        lengths.get(),
                                        static_cast<unsigned long long>(rows.largest)));
}

// The shortening adds two entries, and the cones take differences of coordinates.
constexpr std::int64_t kLargestEntry = INT64_MAX / 2;
constexpr std::int64_t kLargestSpan = std::int64_t{1} << 31;

// Why the entries or the coordinates cannot be shortened, or nullptr when they can.
const char* shortening_fault(std::span<const std::int64_t> d, std::span<const std::int64_t> xs,
                             std::span<const std::int64_t> ys) {
    const auto [low, high] = std::minmax_element(d.begin(), d.end());
    if (low != d.end() && *low < 0) return "shorten_through_third: a matrix entry is negative";
    if (high != d.end() && *high > kLargestEntry)
        return "shorten_through_third: a matrix entry is 2^62 or more (a sum of two would "
               "overflow 64 bits)";
    for (const auto axis : {xs, ys}) {
        const auto [first, last] = std::minmax_element(axis.begin(), axis.end());
        if (first != axis.end() &&
            (*first < -kLargestSpan || *last > kLargestSpan || *last - *first > kLargestSpan))
            return "shorten_through_third: coordinates more than 2^31 apart";
    }
    return nullptr;
}

}  // namespace

PyObject* shorten_through_third(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        constexpr const char* usage =
            "shorten_through_third(matrix, xs, ys, scale): int64 arrays of n x n, n and n entries";
        if (nargs != 4) {
            PyErr_SetString(PyExc_TypeError, usage);
            throw PythonError{};
        }
        constexpr int kRead = PyBUF_C_CONTIGUOUS | PyBUF_FORMAT;
        const BufferView matrix(args[0], kRead | PyBUF_WRITABLE), xs(args[1], kRead),
            ys(args[2], kRead);
        for (const BufferView* buffer : {&matrix, &xs, &ys})
            if (!buffer->held()) throw PythonError{};
        const long long scale = PyLong_AsLongLong(args[3]);
        if (scale == -1 && PyErr_Occurred()) throw PythonError{};
        const auto d = int64_entries(matrix.view());
        const auto x = int64_entries(xs.view());
        const auto y = int64_entries(ys.view());
        if (!d || !x || !y || x->size() != y->size() || d->size() != x->size() * x->size() ||
            scale < 1) {
            PyErr_SetString(PyExc_ValueError, usage);
            throw PythonError{};
        }
        if (const char* fault = shortening_fault(*d, *x, *y)) {
            PyErr_SetString(PyExc_ValueError, fault);
            throw PythonError{};
        }
        tourwright::shorten_through_third(*d, *x, *y, scale);
        Py_RETURN_NONE;
    });
}

PyObject* integer_rows(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        if (nargs != 3 || !PyUnicode_Check(args[0])) {
            PyErr_SetString(PyExc_TypeError, "integer_rows(text: str, at: int, json: bool)");
            throw PythonError{};
        }
        const Py_ssize_t at = PyLong_AsSsize_t(args[1]);
        if (at == -1 && PyErr_Occurred()) throw PythonError{};
        const int json = PyObject_IsTrue(args[2]);
        if (json < 0) throw PythonError{};
        PyObject* text = args[0];
        const Py_ssize_t length = PyUnicode_GET_LENGTH(text);
        if (at < 0 || at > length) {
            PyErr_SetString(PyExc_IndexError, "integer_rows: index out of range");
            throw PythonError{};
        }
        const void* data = PyUnicode_DATA(text);
        const auto start = static_cast<std::size_t>(at);
        std::optional<IntegerRows> rows;
        switch (PyUnicode_KIND(text)) {
            case PyUnicode_1BYTE_KIND: rows = read_rows<Py_UCS1>(data, length, start, json); break;
            case PyUnicode_2BYTE_KIND: rows = read_rows<Py_UCS2>(data, length, start, json); break;
            default: rows = read_rows<Py_UCS4>(data, length, start, json); break;
        }
        if (!rows) Py_RETURN_NONE;
        return rows_object(*rows).release();
    });
}

}  // namespace tourwright::python
