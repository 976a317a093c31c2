#pragma once
// Rows of whole numbers read straight from a two-dimensional buffer (a numpy
// array, a memoryview) instead of one Python object per entry.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "pyref.hpp"

namespace tourwright::python {

// A buffer view of `object` asked for with `flags`, released when it goes out of scope.
// Not held (and a Python error set) when the object gives no such buffer.
class BufferView {
public:
    BufferView(PyObject* object, int flags)
        : held_(PyObject_GetBuffer(object, &view_, flags) == 0) {}
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

// The entries of a contiguous view of native 64-bit signed integers; nullopt for any other
// element type.
std::optional<std::span<std::int64_t>> int64_entries(const Py_buffer& view);

// The rows of `object` when it exports a two-dimensional buffer of native integers
// that are all >= 0; nullopt otherwise (no buffer, another element type, a negative
// entry), leaving the entries to be read one by one with the usual errors. Throws
// PythonError only for a failure other than "no such buffer".
std::optional<std::vector<std::vector<std::uint64_t>>> read_buffer_rows(PyObject* object);

}  // namespace tourwright::python
