#pragma once
// Binding of positional and keyword arguments to named parameters, with the
// interpreter's customary TypeError wording.
#include <cstddef>
#include <span>

#include "pyref.hpp"

namespace tourwright::python {

struct Parameters {
    const char* function;  // as it appears in messages, e.g. "solve()"
    std::span<const char* const> names;
    std::size_t required;  // the first `required` names have no default
};

// Binds fast-call arguments into `bound` (borrowed references; null where omitted).
// Throws PythonError with a TypeError set when they do not fit.
void bind_fastcall(const Parameters& parameters, PyObject* const* args, Py_ssize_t nargsf,
                   PyObject* kwnames, std::span<PyObject*> bound);

// The same for a tuple of positional arguments and an optional dict of keywords.
void bind_tuple_and_dict(const Parameters& parameters, PyObject* args, PyObject* kwargs,
                         std::span<PyObject*> bound);

}  // namespace tourwright::python
