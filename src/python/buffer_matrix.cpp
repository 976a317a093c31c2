#include "buffer_matrix.hpp"

#include <bit>
#include <cctype>
#include <cstring>

namespace tourwright::python {
namespace {

// A buffer view released when it goes out of scope.
class BufferView {
public:
    explicit BufferView(PyObject* object)
        : held_(PyObject_GetBuffer(object, &view_, PyBUF_RECORDS_RO) == 0) {}
    BufferView(const BufferView&) = delete;
    BufferView& operator=(const BufferView&) = delete;
    ~BufferView() {
        if (held_) PyBuffer_Release(&view_);
    }
    bool held() const { return held_; }
    const Py_buffer& view() const { return view_; }

private:
    Py_buffer view_{};
    bool held_;
};

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

// The integer stored at `at`, or nullopt when it is negative.
template <class Signed, class Unsigned>
std::optional<std::uint64_t> entry(const char* at, bool is_signed) {
    if (is_signed) {
        Signed value;
        std::memcpy(&value, at, sizeof value);
        if (value < 0) return std::nullopt;
        return static_cast<std::uint64_t>(value);
    }
    Unsigned value;
    std::memcpy(&value, at, sizeof value);
    return static_cast<std::uint64_t>(value);
}

std::optional<std::uint64_t> read_entry(const char* at, Py_ssize_t size, bool is_signed) {
    switch (size) {
        case 1: return entry<std::int8_t, std::uint8_t>(at, is_signed);
        case 2: return entry<std::int16_t, std::uint16_t>(at, is_signed);
        case 4: return entry<std::int32_t, std::uint32_t>(at, is_signed);
        case 8: return entry<std::int64_t, std::uint64_t>(at, is_signed);
        default: return std::nullopt;
    }
}

}  // namespace

std::optional<std::vector<std::vector<std::uint64_t>>> read_buffer_rows(PyObject* object) {
    if (!PyObject_CheckBuffer(object)) return std::nullopt;
    const BufferView buffer(object);
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
    std::vector<std::vector<std::uint64_t>> rows(static_cast<std::size_t>(view.shape[0]));
    for (Py_ssize_t i = 0; i < view.shape[0]; ++i) {
        auto& row = rows[static_cast<std::size_t>(i)];
        row.reserve(static_cast<std::size_t>(view.shape[1]));
        const char* start = static_cast<const char*>(view.buf) + i * view.strides[0];
        for (Py_ssize_t j = 0; j < view.shape[1]; ++j) {
            const auto value = read_entry(start + j * view.strides[1], view.itemsize, is_signed);
            if (!value) return std::nullopt;
            row.push_back(*value);
        }
    }
    return rows;
}

}  // namespace tourwright::python
