#include "arguments.hpp"

#include <string>

namespace tourwright::python {
namespace {

[[noreturn]] void fail(PyObject* message) {
    if (message) {
        PyErr_SetObject(PyExc_TypeError, message);
        Py_DECREF(message);
    }
    throw PythonError{};
}

void bind_positional(const Parameters& p, PyObject* const* args, std::size_t count,
                     std::span<PyObject*> bound) {
    const std::size_t total = p.names.size();
    if (count > total) {
        const char* was = count == 1 ? "was" : "were";
        if (p.required == total)
            fail(PyUnicode_FromFormat("%s takes %zu positional argument%s but %zu %s given",
                                      p.function, total, total == 1 ? "" : "s", count, was));
        fail(PyUnicode_FromFormat("%s takes from %zu to %zu positional arguments but %zu %s given",
                                  p.function, p.required, total, count, was));
    }
    for (std::size_t i = 0; i < total; ++i) bound[i] = i < count ? args[i] : nullptr;
}

void bind_keyword(const Parameters& p, PyObject* name, PyObject* value,
                  std::span<PyObject*> bound) {
    if (!PyUnicode_Check(name))
        fail(PyUnicode_FromFormat("%s keywords must be strings", p.function));
    for (std::size_t i = 0; i < p.names.size(); ++i) {
        if (PyUnicode_CompareWithASCIIString(name, p.names[i]) != 0) continue;
        if (bound[i])
            fail(PyUnicode_FromFormat("%s got multiple values for argument '%s'", p.function,
                                      p.names[i]));
        bound[i] = value;
        return;
    }
    fail(PyUnicode_FromFormat("%s got an unexpected keyword argument '%U'", p.function, name));
}

void check_required(const Parameters& p, std::span<PyObject*> bound) {
    std::string missing;
    std::size_t count = 0;
    for (std::size_t i = 0; i < p.required; ++i) {
        if (bound[i]) continue;
        if (count++) missing += ", ";
        missing += std::string("'") + p.names[i] + "'";
    }
    if (count == 0) return;
    fail(PyUnicode_FromFormat("%s missing %zu required positional argument%s: %s", p.function,
                              count, count == 1 ? "" : "s", missing.c_str()));
}

}  // namespace

void bind_fastcall(const Parameters& parameters, PyObject* const* args, Py_ssize_t nargsf,
                   PyObject* kwnames, std::span<PyObject*> bound) {
    const auto count = static_cast<std::size_t>(PyVectorcall_NARGS(nargsf));
    bind_positional(parameters, args, count, bound);
    const Py_ssize_t keywords = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
    for (Py_ssize_t k = 0; k < keywords; ++k)
        bind_keyword(parameters, PyTuple_GET_ITEM(kwnames, k), args[count + k], bound);
    check_required(parameters, bound);
}

void bind_tuple_and_dict(const Parameters& parameters, PyObject* args, PyObject* kwargs,
                         std::span<PyObject*> bound) {
    bind_positional(parameters, PySequence_Fast_ITEMS(args),
                    static_cast<std::size_t>(PyTuple_GET_SIZE(args)), bound);
    Py_ssize_t position = 0;
    PyObject *name, *value;
    while (kwargs && PyDict_Next(kwargs, &position, &name, &value))
        bind_keyword(parameters, name, value, bound);
    check_required(parameters, bound);
}

}  // namespace tourwright::python
