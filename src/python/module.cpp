// The module object and the `solve` entry: bind and extract the arguments,
// assemble the problem, run the search, hand back a PyOutput.
#include <array>
#include <atomic>
#include <optional>

#include "arguments.hpp"
#include "errors.hpp"
#include "extract.hpp"
#include "py_output.hpp"
#include "released_lock.hpp"
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

// Only the main thread runs signal handlers, so only there is the search worth
// interrupting to visit the interpreter. When that cannot be told (threading was
// never imported), visiting does no harm.
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

        const bool interruptible = may_run_signal_handlers();
        // Everything the search needs is native now: other threads may run meanwhile.
        std::optional<Output> output;
        {
            ReleasedLock released;
            Solver solver(time_limit, Penalizer(DistanceMatrix{std::move(distance_rows)},
                                                std::move(time_scheduler)));
            if (interruptible) {
                solver.set_stop_check([&released] {
                    released.with_lock([] {
                        if (PyErr_CheckSignals() < 0) throw PythonError{};
                    });
                    return false;
                });
            }
            solver.solve();
            output.emplace(Output{solver.best(), solver.iterations(), solver.time_taken()});
        }
        return make_output(std::move(*output)).release();
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

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "tourwright",
    "Solves the Traveling Salesman Problem with Time Windows.",
    0,
    nullptr, nullptr, nullptr, nullptr, nullptr,
};

// The first interpreter to load the module owns it; others are refused.
std::atomic<std::int64_t> owner_interpreter{-1};
// Returned again by every later initialisation in that interpreter.
PyObject* created_module = nullptr;

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
    PyRef name = PyRef::checked(PyUnicode_FromString("tourwright"));
    PyRef function = PyRef::checked(PyCMethod_New(&solve_def, module.get(), name.get(), nullptr));
    add_exported(module.get(), "solve", function.get());
    add_exported(module.get(), "PyOutput", output_type());
    created_module = Py_NewRef(module.get());
    return module.release();
}

}  // namespace
}  // namespace tourwright::python

PyMODINIT_FUNC PyInit_tourwright() {
    return tourwright::python::guarded<PyObject*>(nullptr, tourwright::python::init_module);
}
