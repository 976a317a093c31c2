#include "py_output.hpp"

#include <new>

#include "errors.hpp"
#include "module_state.hpp"
#include "py_event.hpp"

namespace tourwright::python {
namespace {

struct OutputObject {
    PyObject_HEAD Output* output;
};

const Output& output_of(PyObject* self) { return *reinterpret_cast<OutputObject*>(self)->output; }

PyObject* new_u64(std::uint64_t value) { return PyLong_FromUnsignedLongLong(value); }

// The same bits as an unsigned 64-bit number, so a negative count reads as 2^64 - |count|.
PyObject* new_signed_as_u64(std::int64_t value) {
    return new_u64(static_cast<std::uint64_t>(value));
}

// Every time getter reads the time report and answers None without one.
template <PyObject* (*Read)(const TimeReport&)>
PyObject* time_getter(PyObject* self, void*) {
    return guarded<PyObject*>(nullptr, [&] {
        const auto& report = output_of(self).solution.time_report;
        return report ? Read(*report) : Py_NewRef(Py_None);
    });
}

template <TimeDelta TimeReport::*Field>
PyObject* whole_seconds(const TimeReport& report) {
    return new_signed_as_u64((report.*Field).whole_seconds());
}

template <DateTime TimeReport::*Field>
PyObject* unix_seconds(const TimeReport& report) {
    return new_signed_as_u64((report.*Field).unix_seconds());
}

PyObject* schedule(const TimeReport& report) { return schedule_to_list(report.schedule).release(); }

PyObject* get_distance(PyObject* self, void*) {
    return new_u64(output_of(self).solution.reported_distance());
}

PyObject* get_route(PyObject* self, void*) {
    return guarded<PyObject*>(nullptr, [&] {
        const Route& route = output_of(self).solution.route;
        PyRef list = PyRef::checked(PyList_New(static_cast<Py_ssize_t>(route.size())));
        for (std::size_t i = 0; i < route.size(); ++i)
            PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i),
                            PyRef::checked(PyLong_FromSize_t(route[i])).release());
        return list.release();
    });
}

PyObject* get_iterations(PyObject* self, void*) { return new_u64(output_of(self).iterations); }

PyObject* get_time_taken_microseconds(PyObject* self, void*) {
    return guarded<PyObject*>(nullptr, [&] {
        const auto micros = output_of(self).time_taken.whole_microseconds();
        if (!micros) panic_unwrap_none();
        return new_signed_as_u64(*micros);
    });
}

PyGetSetDef output_getset[] = {
    {"distance", get_distance, nullptr, nullptr, nullptr},
    {"route", get_route, nullptr, nullptr, nullptr},
    {"lateness", time_getter<whole_seconds<&TimeReport::lateness>>, nullptr, nullptr, nullptr},
    {"duration", time_getter<whole_seconds<&TimeReport::duration>>, nullptr, nullptr, nullptr},
    {"working_time", time_getter<whole_seconds<&TimeReport::working_time>>, nullptr, nullptr,
     nullptr},
    {"waiting_time", time_getter<whole_seconds<&TimeReport::waiting_time>>, nullptr, nullptr,
     nullptr},
    {"traveling_time", time_getter<whole_seconds<&TimeReport::traveling_time>>, nullptr, nullptr,
     nullptr},
    {"start_time", time_getter<unix_seconds<&TimeReport::start_time>>, nullptr, nullptr, nullptr},
    {"end_time", time_getter<unix_seconds<&TimeReport::end_time>>, nullptr, nullptr, nullptr},
    {"iterations", get_iterations, nullptr, nullptr, nullptr},
    {"time_taken_microseconds", get_time_taken_microseconds, nullptr, nullptr, nullptr},
    {"schedule", time_getter<schedule>, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

void output_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    delete reinterpret_cast<OutputObject*>(self)->output;
    type->tp_free(self);
    Py_DECREF(type);
}

PyType_Slot output_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(refuse_construction)},
    {Py_tp_dealloc, reinterpret_cast<void*>(output_dealloc)},
    {Py_tp_getset, output_getset},
    {0, nullptr},
};

PyType_Spec output_spec = {
    "builtins.PyOutput", sizeof(OutputObject), 0, Py_TPFLAGS_DEFAULT, output_slots,
};

}  // namespace

void create_output_class(ModuleState& state) {
    state.output_class = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&output_spec));
    if (!state.output_class) throw PythonError{};
}

PyRef make_output(Output output) {
    PyTypeObject* type = module_state().output_class;
    PyRef object = PyRef::checked(type->tp_alloc(type, 0));
    reinterpret_cast<OutputObject*>(object.get())->output = new Output(std::move(output));
    return object;
}

const Output& output_argument(PyObject* object) {
    if (!PyObject_TypeCheck(object, module_state().output_class)) {
        raise_conversion_error(object, "PyOutput");
        throw PythonError{};
    }
    return output_of(object);
}

}  // namespace tourwright::python
