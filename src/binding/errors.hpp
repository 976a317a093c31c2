#pragma once
// The boundary between C++ failures and Python exceptions: nothing thrown in the
// engine or the binding ever crosses into the interpreter.
#include <new>
#include <string>

#include "module_state.hpp"
#include "pyref.hpp"
#include "thread_end.hpp"
#include "util/panic.hpp"

namespace tourwright::python {

// Sets PanicException(message) as the current Python error. Aborts the process
// with "uncaught panic at ffi boundary" if even that fails.
void raise_panic(const std::string& message);

// Sets the current Python error for the in-flight C++ exception.
void raise_current_exception() noexcept;

// Runs `body` and returns its result; on any C++ exception sets the matching
// Python error and returns `failure` instead. The one exception let through is the
// unwinding of a thread that the interpreter ends (when a daemon thread wakes during
// finalisation): it must reach the thread's start, and no Python error can be set.
template <class Result, class Body>
Result guarded(Result failure, Body&& body) {
    try {
        return body();
    } catch (ThreadEnd&) {
        throw;
    } catch (...) {
        raise_current_exception();
        return failure;
    }
}

// When the current error is exactly a TypeError, replaces it with
// TypeError("argument '<name>': <message>") whose __cause__ is the original.
// Other errors are left as they are.
void prefix_argument_error(const char* name);

// A tp_new for classes whose instances come only from this module: raises
// TypeError("No constructor defined for <Name>").
PyObject* refuse_construction(PyTypeObject* type, PyObject* args, PyObject* kwargs);

// Sets TypeError("'<type of object>' object cannot be converted to '<target>'").
void raise_conversion_error(PyObject* object, const char* target);

}  // namespace tourwright::python
