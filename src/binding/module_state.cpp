#include "module_state.hpp"

#include <atomic>
#include <cstdint>
#include <new>

namespace tourwright::python {
namespace {

ModuleState& state_of(PyObject* module) {
    return *static_cast<ModuleState*>(PyModule_GetState(module));
}

// Visits every object of a state; visit_state stops at the first nonzero answer.
template <class Visit>
int visit_state(ModuleState& state, Visit visit) {
    if (int answer = visit(state.panic_exception)) return answer;
    if (int answer = visit(state.output_class)) return answer;
    if (int answer = visit(state.event_class)) return answer;
    for (PyTypeObject*& type : state.kind_classes)
        if (int answer = visit(type)) return answer;
    for (PyTypeObject*& type : state.payload_classes)
        if (int answer = visit(type)) return answer;
    return 0;
}

// The first interpreter to load the module owns it; others are refused.
std::atomic<std::int64_t> owner_interpreter{-1};
// Returned again by every later initialisation in that interpreter, and never freed.
PyObject* created_module = nullptr;
// Its state, which every class and every call reads; set while it is being filled.
const ModuleState* current_state = nullptr;

}  // namespace

int traverse_module_state(PyObject* module, visitproc visit, void* arg) {
    return visit_state(state_of(module), [&](auto* object) {
        Py_VISIT(object);
        return 0;
    });
}

int clear_module_state(PyObject* module) {
    return visit_state(state_of(module), [](auto*& object) {
        Py_CLEAR(object);
        return 0;
    });
}

void free_module_state(void* module) { clear_module_state(static_cast<PyObject*>(module)); }

const ModuleState& module_state() { return *current_state; }

namespace {

// Once made, no class changes: Python code can neither set nor delete the attributes
// of a class (those of its instances were read-only already).
void seal_classes(const ModuleState& state) {
    auto seal = [](PyTypeObject* type) {
        type->tp_flags |= Py_TPFLAGS_IMMUTABLETYPE;
        PyType_Modified(type);
    };
    seal(state.output_class);
    seal(state.event_class);
    for (PyTypeObject* type : state.kind_classes) seal(type);
    for (PyTypeObject* type : state.payload_classes) seal(type);
}

}  // namespace

PyObject* initialise_module(PyModuleDef& def,
                            void (*finish)(PyObject* module, const ModuleState& state)) {
    std::int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (id < 0) throw PythonError{};
    std::int64_t expected = -1;
    if (!owner_interpreter.compare_exchange_strong(expected, id) && expected != id) {
        PyErr_Format(PyExc_ImportError,
                     "%s does not support sub-interpreters: it can be loaded only once per process",
                     def.m_name);
        throw PythonError{};
    }
    if (created_module) return Py_NewRef(created_module);

    PyRef module = PyRef::checked(PyModule_Create(&def));
    ModuleState& state = *new (PyModule_GetState(module.get())) ModuleState{};
    current_state = &state;
    try {
        // The exception first: creating a class may panic.
        create_panic_exception(state);
        create_output_class(state);
        create_event_classes(state);
        seal_classes(state);
        finish(module.get(), state);
    } catch (...) {
        current_state = nullptr;  // released with the module
        throw;
    }
    created_module = Py_NewRef(module.get());
    return module.release();
}

}  // namespace tourwright::python
