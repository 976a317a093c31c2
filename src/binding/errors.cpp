#include "errors.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tourwright::python {
namespace {

// A class's bare name: tp_name without its module part.
const char* bare_name(PyTypeObject* type) {
    const char* dot = std::strrchr(type->tp_name, '.');
    return dot ? dot + 1 : type->tp_name;
}

[[noreturn]] void abort_at_boundary() {
    std::fputs("uncaught panic at ffi boundary\n", stderr);
    std::abort();
}

}  // namespace

void create_panic_exception(ModuleState& state) {
    state.panic_exception = PyErr_NewExceptionWithDoc(
        "tourwright.PanicException",
        "An internal check of tourwright failed; the call that met it was abandoned.",
        PyExc_BaseException, nullptr);
    if (!state.panic_exception) throw PythonError{};
}

void raise_panic(const std::string& message) {
    PyObject* type = module_state().panic_exception;
    PyRef text = PyRef::steal(PyUnicode_FromStringAndSize(message.data(), message.size()));
    if (!type || !text) abort_at_boundary();
    PyErr_SetObject(type, text.get());
}

void raise_current_exception() noexcept {
    try {
        throw;
    } catch (const PythonError&) {
        // The Python error is already set.
    } catch (const Panic& failure) {
        raise_panic(failure.message());
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& failure) {
        raise_panic(failure.what());
    } catch (...) {
        raise_panic("unknown C++ exception");
    }
}

void prefix_argument_error(const char* name) {
    if (!PyErr_Occurred()) return;
    PyObject *type, *value, *traceback;
    PyErr_Fetch(&type, &value, &traceback);
    if (type != PyExc_TypeError) {
        PyErr_Restore(type, value, traceback);
        return;
    }
    PyErr_NormalizeException(&type, &value, &traceback);
    PyRef cause = PyRef::steal(value);
    Py_XDECREF(type);
    if (traceback) {
        PyException_SetTraceback(cause.get(), traceback);
        Py_DECREF(traceback);
    }
    PyRef text = PyRef::steal(PyObject_Str(cause.get()));
    if (!text) return;
    PyRef message = PyRef::steal(PyUnicode_FromFormat("argument '%s': %U", name, text.get()));
    if (!message) return;
    PyRef error = PyRef::steal(PyObject_CallOneArg(PyExc_TypeError, message.get()));
    if (!error) return;
    PyException_SetCause(error.get(), cause.release());
    PyErr_Restore(Py_NewRef(PyExc_TypeError), error.release(), nullptr);
}

PyObject* refuse_construction(PyTypeObject* type, PyObject*, PyObject*) {
    PyErr_Format(PyExc_TypeError, "No constructor defined for %s", bare_name(type));
    return nullptr;
}

void raise_conversion_error(PyObject* object, const char* target) {
    PyErr_Format(PyExc_TypeError, "'%s' object cannot be converted to '%s'",
                 bare_name(Py_TYPE(object)), target);
}

}  // namespace tourwright::python
