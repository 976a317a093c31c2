#pragma once
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <utility>

namespace tourwright::python {

// Thrown when a CPython call has failed and left its exception set; the boundary
// (`guarded`) lets it pass to the interpreter unchanged.
struct PythonError {};

// Owns one strong reference to a Python object.
class PyRef {
public:
    PyRef() = default;
    // Takes over a new reference; a null one means the call that made it failed.
    static PyRef steal(PyObject* object) { return PyRef(object); }
    static PyRef borrow(PyObject* object) { return PyRef(Py_XNewRef(object)); }
    // Like steal, but throws PythonError when `object` is null.
    static PyRef checked(PyObject* object) {
        if (!object) throw PythonError{};
        return PyRef(object);
    }

    PyRef(const PyRef&) = delete;
    PyRef& operator=(const PyRef&) = delete;
    PyRef(PyRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    PyRef& operator=(PyRef&& other) noexcept {
        PyRef(std::move(other)).swap(*this);
        return *this;
    }
    ~PyRef() { Py_XDECREF(object_); }

    PyObject* get() const { return object_; }
    // Hands the reference to the caller.
    PyObject* release() { return std::exchange(object_, nullptr); }
    explicit operator bool() const { return object_ != nullptr; }
    void swap(PyRef& other) noexcept { std::swap(object_, other.object_); }

private:
    explicit PyRef(PyObject* object) : object_(object) {}
    PyObject* object_ = nullptr;
};

}  // namespace tourwright::python
