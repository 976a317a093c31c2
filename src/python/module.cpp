// The module object and the `solve` entry: bind and extract the arguments,
// assemble the problem, run the search, hand back a PyOutput.
#include <array>
#include <atomic>
#include <new>
#include <optional>

#include "arguments.hpp"
#include "errors.hpp"
#include "extract.hpp"
#include "module_state.hpp"
#include "py_output.hpp"
#include "solver.hpp"
#include "time_arguments.hpp"

namespace tourwright::python {
namespace {

constexpr std::array<const char*, 6> kSolveParameters{
    "distance_matrix", "duration_matrix", "job_durations",
    "time_windows",    "operation_times", "time_limit",
};

// Extracts one argument; a TypeError is reported with the parameter's name.
template <class Extract>
auto extract_argument(PyObject* value, const char* name, Extract extract) {
    try {
        return extract(value);
    } catch (const PythonError&) {
        prefix_argument_error(name);
        throw;
    }
}

// An optional argument: omitted or None means absent, and is not examined.
template <class Extract>
auto extract_optional(PyObject* value, const char* name, Extract extract)
    -> std::optional<decltype(extract(value))> {
    if (!value || value == Py_None) return std::nullopt;
    return extract_argument(value, name, extract);
}

PyObject* solve(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded<PyObject*>(nullptr, [&] {
        std::array<PyObject*, kSolveParameters.size()> bound{};
        bind_fastcall({"solve()", kSolveParameters, 1}, args, nargsf, kwnames, bound);

        auto distance_rows = extract_argument(bound[0], kSolveParameters[0], extract_u64_rows);
        auto duration_rows = extract_optional(bound[1], kSolveParameters[1], extract_u64_rows);
        auto job_durations = extract_optional(bound[2], kSolveParameters[2], extract_u64_list);
        auto time_windows = extract_optional(bound[3], kSolveParameters[3], extract_window_lists);
        auto operation_times = extract_optional(bound[4], kSolveParameters[4], extract_u64_pair);
        auto time_limit_seconds = extract_optional(bound[5], kSolveParameters[5], extract_u64);

        auto time_scheduler =
            assemble_time_scheduler(duration_rows, job_durations, time_windows, operation_times);
        std::optional<TimeDelta> time_limit;
        if (time_limit_seconds) time_limit = seconds_to_delta(*time_limit_seconds);

        Solver solver(time_limit,
                      Penalizer(DistanceMatrix{std::move(distance_rows)}, std::move(time_scheduler)));
        solver.solve();
        return make_output(Output{solver.best(), solver.iterations(), solver.time_taken()}).release();
    });
}

PyMethodDef solve_def = {
    "solve",
    reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(solve)),
    METH_FASTCALL | METH_KEYWORDS,
    "solve(distance_matrix, duration_matrix=None, job_durations=None, time_windows=None, "
    "operation_times=None, time_limit=None)\n--\n\n"
    "Solving the Traveling Salesman Problem with Time Windows.",
};

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

int traverse_module(PyObject* module, visitproc visit, void* arg) {
    return visit_state(state_of(module), [&](auto* object) {
        Py_VISIT(object);
        return 0;
    });
}

int clear_module(PyObject* module) {
    return visit_state(state_of(module), [](auto*& object) {
        Py_CLEAR(object);
        return 0;
    });
}

void free_module(void* module) { clear_module(static_cast<PyObject*>(module)); }

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "tourwright",
    "Solves the Traveling Salesman Problem with Time Windows.",
    sizeof(ModuleState),
    nullptr, nullptr, traverse_module, clear_module, free_module,
};

// The first interpreter to load the module owns it; others are refused.
std::atomic<std::int64_t> owner_interpreter{-1};
// Returned again by every later initialisation in that interpreter, and never freed.
PyObject* created_module = nullptr;
// Its state, which every class and every call reads; set while it is being filled.
const ModuleState* current_state = nullptr;

// Appends `name` to the module's __all__ (creating it if needed), then sets the attribute.
void add_exported(PyObject* module, const char* name, PyObject* value) {
    PyRef all = PyRef::steal(PyObject_GetAttrString(module, "__all__"));
    if (!all) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) throw PythonError{};
        PyErr_Clear();
        all = PyRef::checked(PyList_New(0));
        if (PyObject_SetAttrString(module, "__all__", all.get()) < 0) throw PythonError{};
    }
    PyRef key = PyRef::checked(PyUnicode_FromString(name));
    if (PyList_Append(all.get(), key.get()) < 0) throw PythonError{};
    if (PyObject_SetAttr(module, key.get(), value) < 0) throw PythonError{};
}

PyObject* init_module() {
    std::int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (id < 0) throw PythonError{};
    std::int64_t expected = -1;
    if (!owner_interpreter.compare_exchange_strong(expected, id) && expected != id) {
        PyErr_SetString(PyExc_ImportError,
                        "tourwright does not support sub-interpreters: it can be loaded only once "
                        "per process");
        throw PythonError{};
    }
    if (created_module) return Py_NewRef(created_module);

    PyRef module = PyRef::checked(PyModule_Create(&module_def));
    ModuleState& state = *new (PyModule_GetState(module.get())) ModuleState{};
    current_state = &state;
    try {
        // The exception first: creating a class may panic.
        create_panic_exception(state);
        create_output_class(state);
        create_event_classes(state);
        PyRef name = PyRef::checked(PyUnicode_FromString("tourwright"));
        PyRef function =
            PyRef::checked(PyCMethod_New(&solve_def, module.get(), name.get(), nullptr));
        add_exported(module.get(), "solve", function.get());
        add_exported(module.get(), "PyOutput", reinterpret_cast<PyObject*>(state.output_class));
    } catch (...) {
        current_state = nullptr;  // released with the module
        throw;
    }
    created_module = Py_NewRef(module.get());
    return module.release();
}

}  // namespace

const ModuleState& module_state() { return *current_state; }

}  // namespace tourwright::python

PyMODINIT_FUNC PyInit_tourwright() {
    return tourwright::python::guarded<PyObject*>(nullptr, tourwright::python::init_module);
}
