#include "released_search.hpp"

namespace tourwright::python {

bool may_run_signal_handlers() {
    PyRef name = PyRef::checked(PyUnicode_FromString("threading"));
    PyRef threading = PyRef::steal(PyImport_GetModule(name.get()));
    if (!threading) {
        if (PyErr_Occurred()) throw PythonError{};
        return true;
    }
    PyRef main = PyRef::checked(PyObject_CallMethod(threading.get(), "main_thread", nullptr));
    PyRef ident = PyRef::checked(PyObject_GetAttrString(main.get(), "ident"));
    const unsigned long main_ident = PyLong_AsUnsignedLong(ident.get());
    if (main_ident == static_cast<unsigned long>(-1) && PyErr_Occurred()) throw PythonError{};
    return main_ident == PyThread_get_thread_ident();
}

}  // namespace tourwright::python
