#include "text_tables.hpp"

#include <cstdint>
#include <cstring>
#include <optional>
#include <span>

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

// A C-contiguous buffer of native 64-bit integers, released when it goes out of scope.
class Int64Buffer {
public:
    Int64Buffer(PyObject* object, bool writable) {
        const int flags = PyBUF_C_CONTIGUOUS | PyBUF_FORMAT | (writable ? PyBUF_WRITABLE : 0);
        if (PyObject_GetBuffer(object, &view_, flags) < 0) throw PythonError{};
    }
    Int64Buffer(const Int64Buffer&) = delete;
    Int64Buffer& operator=(const Int64Buffer&) = delete;
    ~Int64Buffer() { PyBuffer_Release(&view_); }

    // The values, or nullopt when the buffer holds anything but 64-bit signed integers.
    std::optional<std::span<std::int64_t>> values() const {
        const char* format = view_.format ? view_.format : "B";
        if (*format == '@' || *format == '=') ++format;
        if (view_.itemsize != 8 || (std::strcmp(format, "l") != 0 && std::strcmp(format, "q") != 0))
            return std::nullopt;
        return std::span(static_cast<std::int64_t*>(view_.buf),
                         static_cast<std::size_t>(view_.len / 8));
    }

private:
    Py_buffer view_{};
};

}  // namespace

PyObject* shorten_through_third(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        constexpr const char* usage =
            "shorten_through_third(matrix, xs, ys, scale): int64 arrays of n x n, n and n entries";
        if (nargs != 4) {
            PyErr_SetString(PyExc_TypeError, usage);
            throw PythonError{};
        }
        const Int64Buffer matrix(args[0], true), xs(args[1], false), ys(args[2], false);
        const long long scale = PyLong_AsLongLong(args[3]);
        if (scale == -1 && PyErr_Occurred()) throw PythonError{};
        const auto d = matrix.values();
        const auto x = xs.values();
        const auto y = ys.values();
        if (!d || !x || !y || x->size() != y->size() || d->size() != x->size() * x->size() ||
            scale < 1) {
            PyErr_SetString(PyExc_ValueError, usage);
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
