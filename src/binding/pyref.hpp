#pragma once
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <utility>

namespace tourwright::python {

// Whether this thread may call the interpreter. It may not while the interpreter ends
// it: a daemon thread that wakes during finalisation is unwound from inside the call
// that tried to take the lock back, through our frames, without a thread state.
inline bool has_thread_state() {
#if PY_VERSION_HEX >= 0x030D0000
    return PyThreadState_GetUnchecked() != nullptr;
#else
    return _PyThreadState_UncheckedGet() != nullptr;
#endif
}

// Thrown when a CPython call has failed and left its exception set; the boundary
// (`guarded`) lets it pass to the interpreter unchanged.
struct PythonError {};

// Runs the interpreter's signal handlers (on the main thread; elsewhere nothing is due),
// so that Ctrl-C ends long work done with the lock held; an exception they raise is thrown.
inline void run_signal_handlers() {
    if (PyErr_CheckSignals() < 0) throw PythonError{};
}

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
    // Without a thread state the reference is left to the ending interpreter.
    ~PyRef() {
        if (object_ && has_thread_state()) Py_DECREF(object_);
    }

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
