// The module object and the `solve` entry: bind and extract the arguments,
// assemble the problem, run the search, hand back a PyOutput.
#include <array>
#include <new>
#include <optional>

#include "arguments.hpp"
#include "errors.hpp"
#include "extract.hpp"
#include "module_state.hpp"
#include "problem_arguments.hpp"
#include "py_output.hpp"
#include "released_search.hpp"
#include "search/solver.hpp"

namespace tourwright::python {
namespace {

constexpr std::array<const char*, 6> kSolveParameters{
    kProblemParameters[0], kProblemParameters[1], kProblemParameters[2],
    kProblemParameters[3], kProblemParameters[4], "time_limit",
};

PyObject* solve(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded<PyObject*>(nullptr, [&] {
        std::array<PyObject*, kSolveParameters.size()> bound{};
        bind_fastcall({"solve()", kSolveParameters, 1}, args, nargsf, kwnames, bound);

        ProblemArguments problem = extract_problem_arguments(std::span(bound).first(5));
        auto time_limit_seconds = extract_optional(bound[5], kSolveParameters[5], extract_u64);
        Penalizer penalizer = std::move(problem).into_penalizer();
        std::optional<TimeDelta> time_limit;
        if (time_limit_seconds) time_limit = seconds_to_delta(*time_limit_seconds);

        // Everything the search needs is native now: other threads may run meanwhile.
        Output output =
            run_released(may_run_signal_handlers(), {}, [&](SearchClock::StopCheck check) {
                Solver solver(time_limit, std::move(penalizer));
                solver.set_stop_check(std::move(check));
                solver.solve();
                return Output{solver.best(), solver.iterations(), solver.time_taken()};
            });
        return make_output(std::move(output)).release();
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
    sizeof(ModuleState),
    nullptr,
    nullptr,
    traverse_module_state,
    clear_module_state,
    free_module_state,
};

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

// Adds `solve` and `PyOutput` to the new module.
void add_functions(PyObject* module, const ModuleState& state) {
    PyRef name = PyRef::checked(PyUnicode_FromString("tourwright"));
    PyRef function = PyRef::checked(PyCMethod_New(&solve_def, module, name.get(), nullptr));
    add_exported(module, "solve", function.get());
    add_exported(module, "PyOutput", reinterpret_cast<PyObject*>(state.output_class));
}

}  // namespace
}  // namespace tourwright::python

PyMODINIT_FUNC PyInit_tourwright() {
    using namespace tourwright::python;
    return guarded<PyObject*>(nullptr, [] { return initialise_module(module_def, add_functions); });
}
