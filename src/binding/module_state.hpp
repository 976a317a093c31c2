#pragma once
// Every class and the exception the module hands out, made once, at initialisation.
// Nothing is made lazily: creating a class runs interpreter code (a garbage
// collection, other threads), and a lazy creation would have to be guarded by a
// lock that could be held across it.
#include <array>

#include "pyref.hpp"

namespace tourwright::python {

struct ModuleState {
    PyObject* panic_exception = nullptr;  // PanicException, derived from BaseException
    PyTypeObject* output_class = nullptr;
    PyTypeObject* event_class = nullptr;             // PyEvent
    std::array<PyTypeObject*, 3> kind_classes{};     // PyEvent_Work, _Wait, _Travel
    std::array<PyTypeObject*, 3> payload_classes{};  // PyWork, PyWait, PyTravel
};

// The state of the module (one per process), complete once its initialisation has
// returned; during it, filled in the order above.
const ModuleState& module_state();

// The one initialisation of a module whose state is a ModuleState: refuses a second
// interpreter, returns the module made before when there is one, else creates it
// from `def`, makes every class into its state and lets `finish` add the rest.
PyObject* initialise_module(PyModuleDef& def,
                            void (*finish)(PyObject* module, const ModuleState& state));

// For the module definition: the state's references seen by the garbage collector.
int traverse_module_state(PyObject* module, visitproc visit, void* arg);
int clear_module_state(PyObject* module);
void free_module_state(void* module);

// Each fills its part of `state`, holding a strong reference to every class it makes.
// They throw PythonError (or Panic) on failure, leaving what they made in `state`.
void create_panic_exception(ModuleState& state);
void create_output_class(ModuleState& state);
void create_event_classes(ModuleState& state);

}  // namespace tourwright::python
