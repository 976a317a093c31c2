// The schedule event classes: the base PyEvent, its three kind classes
// (PyEvent_Work, PyEvent_Wait, PyEvent_Travel) and the payload classes
// (PyWork, PyWait, PyTravel). Every kind is described once in `kKinds`; the
// classes are generated from that table and from code templated on the kind.
#include "py_event.hpp"

#include <algorithm>
#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "arguments.hpp"
#include "errors.hpp"
#include "module_state.hpp"
#include "util/panic.hpp"

namespace tourwright::python {
namespace {

// Declared in the order the classes list the kinds; records use another order
// (RecordKind), so conversions always go by name, never by number.
enum class EventKind : std::uint8_t { Work, Wait, Travel };
constexpr std::array kAllKinds = {EventKind::Work, EventKind::Wait, EventKind::Travel};

struct KindNames {
    const char* event;            // class name, used in messages
    const char* event_qualified;  // "builtins." makes __module__ report builtins
    const char* event_doc;        // a text signature only, so __doc__ stays None
    const char* constructor;      // how argument-binding errors name the constructor
    const char* attribute;        // the class attribute of PyEvent
    const char* payload;
    const char* payload_qualified;
};

constexpr std::array<KindNames, 3> kKinds = {{
    {"PyEvent_Work", "builtins.PyEvent_Work", "PyEvent_Work(_0)\n--\n\n", "PyEvent_Work.__new__()",
     "Work", "PyWork", "builtins.PyWork"},
    {"PyEvent_Wait", "builtins.PyEvent_Wait", "PyEvent_Wait(_0)\n--\n\n", "PyEvent_Wait.__new__()",
     "Wait", "PyWait", "builtins.PyWait"},
    {"PyEvent_Travel", "builtins.PyEvent_Travel", "PyEvent_Travel(_0)\n--\n\n",
     "PyEvent_Travel.__new__()", "Travel", "PyTravel", "builtins.PyTravel"},
}};

constexpr std::size_t position(EventKind kind) { return static_cast<std::size_t>(kind); }
constexpr const KindNames& names_of(EventKind kind) { return kKinds[position(kind)]; }

// Instants in Unix seconds, kept in the unsigned form handed to Python: an
// instant before 1970 reads as 2^64 plus its (negative) count.
struct Window {
    std::uint64_t start;
    std::uint64_t end;
};

// One layout for all three payloads; `location` means something for Work only.
struct Payload {
    std::size_t location;
    Window window;
};

// Plain values only: no object refers to another, so none needs the cyclic GC.
struct EventObject {
    PyObject_HEAD EventKind kind;
    Payload payload;
};

struct PayloadObject {
    PyObject_HEAD Payload payload;
};

constexpr const char* kWrongVariant =
    "internal error: entered unreachable code: Wrong complex enum variant found in variant "
    "wrapper PyClass";
constexpr const char* kUnreachable = "internal error: entered unreachable code";

// ---------------------------------------------------------------------------
// Class creation

PyTypeObject* as_type(PyObject* object) { return reinterpret_cast<PyTypeObject*>(object); }
PyObject* as_object(PyTypeObject* type) { return reinterpret_cast<PyObject*>(type); }

PyTypeObject* kind_class(EventKind kind) { return module_state().kind_classes[position(kind)]; }
PyTypeObject* payload_class(EventKind kind) {
    return module_state().payload_classes[position(kind)];
}

// Instances of heap types hold a reference to their class.
void dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    type->tp_free(self);
    Py_DECREF(type);
}

PyRef create_class(const char* qualified_name, int basic_size, unsigned int flags,
                   std::vector<PyType_Slot> slots, PyTypeObject* base) {
    slots.push_back({Py_tp_dealloc, reinterpret_cast<void*>(dealloc)});
    slots.push_back({0, nullptr});
    PyType_Spec blueprint{qualified_name, basic_size, 0, flags, slots.data()};
    PyObject* type = PyType_FromSpecWithBases(&blueprint, as_object(base));
    if (!type) {
        PyErr_Print();
        const std::string name(qualified_name);
        panic("failed to create type object for " + name.substr(name.rfind('.') + 1));
    }
    return PyRef::steal(type);
}

// ---------------------------------------------------------------------------
// Objects

PyRef new_payload(EventKind kind, const Payload& payload) {
    PyTypeObject* type = payload_class(kind);
    PyRef object = PyRef::checked(type->tp_alloc(type, 0));
    reinterpret_cast<PayloadObject*>(object.get())->payload = payload;
    return object;
}

PyRef new_event(PyTypeObject* type, EventKind kind, const Payload& payload) {
    PyRef object = PyRef::checked(type->tp_alloc(type, 0));
    auto* event = reinterpret_cast<EventObject*>(object.get());
    event->kind = kind;
    event->payload = payload;
    return object;
}

[[noreturn]] void fail_argument(const char* name) {
    prefix_argument_error(name);
    throw PythonError{};
}

// The receiver of a kind class's member; descriptors reached by hand may be
// given any object.
template <EventKind K>
const EventObject& receiver(PyObject* self) {
    if (!PyObject_TypeCheck(self, kind_class(K))) {
        raise_conversion_error(self, names_of(K).event);
        throw PythonError{};
    }
    return *reinterpret_cast<const EventObject*>(self);
}

// The stored kind always matches the class, since events are made only by
// their own class's constructor or from schedule records; the check guards
// the layout the two share.
template <EventKind K>
PyRef first_item(const EventObject& event) {
    if (event.kind != K) panic(kWrongVariant);
    return new_payload(K, event.payload);
}

// `idx` read as an unsigned machine word: negative or huge values overflow
// rather than count from the end.
std::size_t index_argument(PyObject* key) {
    static_assert(sizeof(std::size_t) == sizeof(unsigned long long));
    PyRef index = PyRef::steal(PyNumber_Index(key));
    if (!index) fail_argument("idx");
    const unsigned long long value = PyLong_AsUnsignedLongLong(index.get());
    if (value == ULLONG_MAX && PyErr_Occurred()) fail_argument("idx");
    return value;
}

template <EventKind K>
PyRef item(PyObject* self, PyObject* key) {
    const EventObject& event = receiver<K>(self);
    if (index_argument(key) != 0) {
        PyErr_SetString(PyExc_IndexError, "tuple index out of range");
        throw PythonError{};
    }
    return first_item<K>(event);
}

Payload payload_argument(EventKind kind, PyObject* argument) {
    if (!PyObject_TypeCheck(argument, payload_class(kind))) {
        raise_conversion_error(argument, names_of(kind).payload);
        fail_argument("_0");
    }
    return reinterpret_cast<const PayloadObject*>(argument)->payload;
}

// ---------------------------------------------------------------------------
// Slots of the kind classes

template <EventKind K>
PyObject* construct(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return guarded<PyObject*>(nullptr, [&] {
        static constexpr const char* parameter_names[] = {"_0"};
        std::array<PyObject*, 1> bound{};
        bind_tuple_and_dict({names_of(K).constructor, parameter_names, 1}, args, kwargs, bound);
        return new_event(type, K, payload_argument(K, bound[0])).release();
    });
}

template <EventKind K>
PyObject* get_first(PyObject* self, void*) {
    return guarded<PyObject*>(nullptr, [&] { return first_item<K>(receiver<K>(self)).release(); });
}

template <EventKind K>
PyObject* subscript(PyObject* self, PyObject* key) {
    return guarded<PyObject*>(nullptr, [&] { return item<K>(self, key).release(); });
}

// The sequence protocol (iteration, unpacking) goes through the same checks.
template <EventKind K>
PyObject* sequence_item(PyObject* self, Py_ssize_t index) {
    return guarded<PyObject*>(nullptr, [&] {
        PyRef key = PyRef::checked(PyLong_FromSsize_t(index));
        return item<K>(self, key.get()).release();
    });
}

Py_ssize_t length(PyObject*) { return 1; }

template <EventKind K>
PyGetSetDef kind_members[] = {{"_0", get_first<K>, nullptr, nullptr, nullptr}, {}};

template <EventKind K>
PyRef create_kind_class(PyTypeObject* base) {
    const KindNames& names = names_of(K);
    PyRef type = create_class(names.event_qualified, sizeof(EventObject), Py_TPFLAGS_DEFAULT,
                              {
                                  {Py_tp_doc, const_cast<char*>(names.event_doc)},
                                  {Py_tp_new, reinterpret_cast<void*>(construct<K>)},
                                  {Py_tp_getset, kind_members<K>},
                                  {Py_mp_subscript, reinterpret_cast<void*>(subscript<K>)},
                                  {Py_sq_item, reinterpret_cast<void*>(sequence_item<K>)},
                                  {Py_sq_length, reinterpret_cast<void*>(length)},
                              },
                              base);
    // A positional class pattern `case PyEvent.Work(w)` binds the payload.
    PyRef match_args = PyRef::checked(Py_BuildValue("(s)", "_0"));
    // The doc slot only carries the text signature; the interpreter would turn
    // the empty rest into "" where a class without docstring reports None.
    if (PyObject_SetAttrString(type.get(), "__match_args__", match_args.get()) < 0 ||
        PyObject_SetAttrString(type.get(), "__doc__", Py_None) < 0)
        throw PythonError{};
    return type;
}

// Made with PyEvent as its base, and set as PyEvent's attribute Work, Wait or Travel.
template <EventKind K>
void create_kind(ModuleState& state) {
    PyRef type = create_kind_class<K>(state.event_class);
    if (PyObject_SetAttrString(as_object(state.event_class), names_of(K).attribute, type.get()) < 0)
        throw PythonError{};
    state.kind_classes[position(K)] = as_type(type.release());
}

// ---------------------------------------------------------------------------
// Payload classes

const Payload& payload_of(PyObject* self) {
    return reinterpret_cast<const PayloadObject*>(self)->payload;
}

PyObject* get_location(PyObject* self, void*) {
    return guarded<PyObject*>(nullptr, [&] {
        return PyRef::checked(PyLong_FromSize_t(payload_of(self).location)).release();
    });
}

PyObject* get_window(PyObject* self, void*) {
    return guarded<PyObject*>(nullptr, [&] {
        const Window& window = payload_of(self).window;
        static_assert(sizeof(unsigned long long) == sizeof(std::uint64_t));
        return PyRef::checked(Py_BuildValue("(KK)", window.start, window.end)).release();
    });
}

// Work exposes both members; Wait and Travel start at `window`.
PyGetSetDef payload_members[] = {
    {"location", get_location, nullptr, nullptr, nullptr},
    {"window", get_window, nullptr, nullptr, nullptr},
    {},
};

PyGetSetDef* payload_members_of(EventKind kind) {
    return kind == EventKind::Work ? &payload_members[0] : &payload_members[1];
}

// ---------------------------------------------------------------------------
// Schedule records

EventKind event_kind(RecordKind kind) {
    switch (kind) {
        case RecordKind::Work: return EventKind::Work;
        case RecordKind::Travel: return EventKind::Travel;
        case RecordKind::Wait: return EventKind::Wait;
        case RecordKind::Break: break;
    }
    panic(kUnreachable);
}

std::uint64_t unix_seconds(const DateTime& instant) {
    return static_cast<std::uint64_t>(instant.unix_seconds());
}

PyRef event_from_record(const ScheduleRecord& record) {
    const EventKind kind = event_kind(record.kind);
    const Payload payload{
        kind == EventKind::Work ? record.location : 0,
        {unix_seconds(record.window.start), unix_seconds(record.window.end)},
    };
    return new_event(kind_class(kind), kind, payload);
}

}  // namespace

void create_event_classes(ModuleState& state) {
    for (EventKind kind : kAllKinds) {
        state.payload_classes[position(kind)] =
            as_type(create_class(names_of(kind).payload_qualified, sizeof(PayloadObject),
                                 Py_TPFLAGS_DEFAULT,
                                 {
                                     {Py_tp_new, reinterpret_cast<void*>(refuse_construction)},
                                     {Py_tp_getset, payload_members_of(kind)},
                                 },
                                 nullptr)
                        .release());
    }
    state.event_class =
        as_type(create_class("builtins.PyEvent", sizeof(EventObject),
                             Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE,
                             {{Py_tp_new, reinterpret_cast<void*>(refuse_construction)}}, nullptr)
                    .release());
    create_kind<EventKind::Work>(state);
    create_kind<EventKind::Wait>(state);
    create_kind<EventKind::Travel>(state);
}

// Breaks have no event class of their own (the classes are `tourwright`'s): they are left
// out here and read through the engine module's breaks_of.
PyRef schedule_to_list(const std::vector<ScheduleRecord>& records) {
    const auto events = std::count_if(records.begin(), records.end(), [](const auto& record) {
        return record.kind != RecordKind::Break;
    });
    PyRef list = PyRef::checked(PyList_New(static_cast<Py_ssize_t>(events)));
    Py_ssize_t i = 0;
    for (const ScheduleRecord& record : records) {
        if (record.kind == RecordKind::Break) continue;
        PyList_SET_ITEM(list.get(), i++, event_from_record(record).release());
    }
    return list;
}

}  // namespace tourwright::python
