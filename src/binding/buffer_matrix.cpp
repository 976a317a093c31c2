#include "buffer_matrix.hpp"

#include <bit>
#include <cctype>
#include <cstring>
#include <type_traits>

namespace tourwright::python {
namespace {

// Whether the format is one native integer type ('@', '=' or a little-endian '<' on a
// little-endian machine, then one of bBhHiIlLqQnN); `is_signed` tells which kind.
bool native_integer(const char* format, bool& is_signed) {
    if (!format) return false;
    const bool little = std::endian::native == std::endian::little;
    if (*format == '@' || *format == '=' || (*format == '<' && little)) ++format;
    if (format[0] == '\0' || format[1] != '\0') return false;
    if (!std::strchr("bBhHiIlLqQnN", format[0])) return false;
    is_signed = std::islower(static_cast<unsigned char>(format[0])) != 0;
    return true;
}

// Appends the `count` entries of type `Stored` from `at`, `stride` bytes apart, to `row`;
// false on a negative one. One loop per type: tables of millions of entries are read here.
template <class Stored>
bool append_entries(const char* at, Py_ssize_t stride, Py_ssize_t count,
                    std::vector<std::uint64_t>& row) {
    for (Py_ssize_t j = 0; j < count; ++j, at += stride) {
        Stored value;
        std::memcpy(&value, at, sizeof value);
        if constexpr (std::is_signed_v<Stored>) {
            if (value < 0) return false;
        }
        row.push_back(static_cast<std::uint64_t>(value));
    }
    return true;
}

using RowReader = bool (*)(const char*, Py_ssize_t, Py_ssize_t, std::vector<std::uint64_t>&);

RowReader row_reader(Py_ssize_t size, bool is_signed) {
    switch (size) {
        case 1: return is_signed ? append_entries<std::int8_t> : append_entries<std::uint8_t>;
        case 2: return is_signed ? append_entries<std::int16_t> : append_entries<std::uint16_t>;
        case 4: return is_signed ? append_entries<std::int32_t> : append_entries<std::uint32_t>;
        case 8: return is_signed ? append_entries<std::int64_t> : append_entries<std::uint64_t>;
        default: return nullptr;
    }
}

}  // namespace

std::optional<std::span<std::int64_t>> int64_entries(const Py_buffer& view) {
    bool is_signed = false;
    if (!native_integer(view.format, is_signed) || !is_signed || view.itemsize != 8)
        return std::nullopt;
    return std::span(static_cast<std::int64_t*>(view.buf), static_cast<std::size_t>(view.len / 8));
}

std::optional<std::vector<std::vector<std::uint64_t>>> read_buffer_rows(PyObject* object) {
    if (!PyObject_CheckBuffer(object)) return std::nullopt;
    const BufferView buffer(object, PyBUF_RECORDS_RO);
    if (!buffer.held()) {
        // No buffer of that kind: the entries are read one by one instead.
        if (!PyErr_ExceptionMatches(PyExc_BufferError) && !PyErr_ExceptionMatches(PyExc_TypeError))
            throw PythonError{};
        PyErr_Clear();
        return std::nullopt;
    }
    const Py_buffer& view = buffer.view();
    bool is_signed = false;
    if (view.ndim != 2 || !native_integer(view.format, is_signed)) return std::nullopt;
    const RowReader read_row = row_reader(view.itemsize, is_signed);
    if (!read_row) return std::nullopt;
    std::vector<std::vector<std::uint64_t>> rows(static_cast<std::size_t>(view.shape[0]));
    for (Py_ssize_t i = 0; i < view.shape[0]; ++i) {
        run_signal_handlers();
        auto& row = rows[static_cast<std::size_t>(i)];
        row.reserve(static_cast<std::size_t>(view.shape[1]));
        const char* start = static_cast<const char*>(view.buf) + i * view.strides[0];
        if (!read_row(start, view.strides[1], view.shape[1], row)) return std::nullopt;
    }
    return rows;
}

}  // namespace tourwright::python
