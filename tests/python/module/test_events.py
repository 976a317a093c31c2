"""Schedule events: the PyEvent classes, their payloads and their protocols.

Events reach Python only through ``solve(...).schedule``, so every test starts
from a small two-location problem with time windows whose schedule is known:

    Work(0) 08:00-09:00, Travel 09:00-09:30, Wait 09:30-10:00,
    Work(1) 10:00-11:00, Travel 11:00-11:30        (relative to the day)

Location 0 closes at 09:00, so the reverse route would be late there and the
identity route (the only one with a Wait) is the solution.
"""

import gc
import inspect
import itertools
import sys
import tracemalloc
import weakref

import pytest
import tourwright

HOUR = 3600
U64 = 2**64
DAY_2023_11_15 = 1_700_006_400  # a midnight, in Unix seconds


def solve_small(day=DAY_2023_11_15):
    def at(seconds):
        return (day + seconds) % U64  # days before 1970 travel as unsigned bits

    return tourwright.solve(
        [[0, 1], [1, 0]],
        duration_matrix=[[0, HOUR // 2], [HOUR // 2, 0]],
        job_durations=[HOUR, HOUR],
        time_windows=[[(at(8 * HOUR), at(9 * HOUR))], [(at(10 * HOUR), at(12 * HOUR))]],
    )


def expected_schedule(day):
    def window(start, end):
        return ((day + start) % U64, (day + end) % U64)

    return [
        ("Work", 0, window(8 * HOUR, 9 * HOUR)),
        ("Travel", None, window(9 * HOUR, 9 * HOUR + 1800)),
        ("Wait", None, window(9 * HOUR + 1800, 10 * HOUR)),
        ("Work", 1, window(10 * HOUR, 11 * HOUR)),
        ("Travel", None, window(11 * HOUR, 11 * HOUR + 1800)),
    ]


@pytest.fixture(scope="module")
def output():
    return solve_small()


@pytest.fixture
def schedule(output):
    return output.schedule


@pytest.fixture(scope="module")
def PyEvent(output):
    return type(output.schedule[0]).__base__


@pytest.fixture
def events(schedule):
    """One event of each kind, by kind name."""
    return {"Work": schedule[0], "Travel": schedule[1], "Wait": schedule[2]}


KINDS = ["Work", "Wait", "Travel"]
PAYLOAD_NAMES = {"Work": "PyWork", "Wait": "PyWait", "Travel": "PyTravel"}


def describe(event, PyEvent):
    """(kind name, location or None, window), read through the public members."""
    kind = next(name for name in KINDS if type(event) is getattr(PyEvent, name))
    payload = event._0
    return (kind, getattr(payload, "location", None), payload.window)


# --- conversion from the solved schedule -------------------------------------


@pytest.mark.parametrize(
    "day",
    [DAY_2023_11_15, 0, 86400, U64 - 86400],
    ids=["2023-11-15", "1970-01-01", "1970-01-02", "1969-12-31"],
)
def test_schedule_holds_one_event_per_record_in_order(day):
    output = solve_small(day)
    assert output.route == [0, 1]
    PyEvent = type(output.schedule[0]).__base__
    assert [describe(ev, PyEvent) for ev in output.schedule] == expected_schedule(day)


def test_each_read_builds_new_events(output):
    first, second = output.schedule, output.schedule
    assert first is not second
    for a, b in zip(first, second, strict=True):
        assert a is not b
        assert a != b  # no custom equality: identity only
        assert type(a) is type(b)
        assert a._0.window == b._0.window


def test_schedule_is_none_without_time_data():
    assert tourwright.solve([[0, 1], [1, 0]]).schedule is None


# --- the classes -------------------------------------------------------------


def test_event_base_class(PyEvent):
    assert PyEvent.__name__ == PyEvent.__qualname__ == "PyEvent"
    assert PyEvent.__module__ == "builtins"
    assert PyEvent.__bases__ == (object,)
    assert PyEvent.__doc__ is None
    assert not hasattr(tourwright, "PyEvent")


@pytest.mark.parametrize("kind", KINDS)
def test_kind_classes(PyEvent, events, kind):
    cls = getattr(PyEvent, kind)
    assert cls.__name__ == cls.__qualname__ == f"PyEvent_{kind}"
    assert cls.__module__ == "builtins"
    assert cls.__bases__ == (PyEvent,)
    assert cls.__doc__ is None
    assert str(inspect.signature(cls)) == "(_0)"
    assert cls.__match_args__ == ("_0",)

    event = events[kind]
    assert type(event) is cls
    assert isinstance(event, PyEvent)
    assert event.Work is PyEvent.Work and cls.Travel is PyEvent.Travel
    assert repr(event).startswith(f"<builtins.PyEvent_{kind} object at 0x")


@pytest.mark.parametrize("kind", KINDS)
def test_payload_classes(events, kind):
    cls = type(events[kind]._0)
    name = PAYLOAD_NAMES[kind]
    assert cls.__name__ == cls.__qualname__ == name
    assert cls.__module__ == "builtins"
    assert cls.__bases__ == (object,)
    assert cls.__doc__ is None
    assert not hasattr(tourwright, name)


def all_final_classes(PyEvent, events):
    return [getattr(PyEvent, kind) for kind in KINDS] + [type(ev._0) for ev in events.values()]


def test_final_classes_refuse_subclasses(PyEvent, events):
    for cls in all_final_classes(PyEvent, events):
        with pytest.raises(TypeError, match="not an acceptable base type"):
            type("Sub", (cls,), {})


def test_event_base_accepts_subclasses_but_has_no_constructor(PyEvent):
    Sub = type("Sub", (PyEvent,), {})
    assert issubclass(Sub, PyEvent)
    with pytest.raises(TypeError, match="^No constructor defined for Sub$"):
        Sub()


@pytest.mark.parametrize("args", [(), (1,)], ids=["no-args", "one-arg"])
def test_classes_without_constructor(PyEvent, events, args):
    for cls in [PyEvent] + [type(ev._0) for ev in events.values()]:
        with pytest.raises(TypeError) as raised:
            cls(*args)
        assert str(raised.value) == f"No constructor defined for {cls.__name__}"


# --- members of events -------------------------------------------------------


@pytest.mark.parametrize("kind", KINDS)
def test_first_element_is_a_new_payload_on_each_read(events, kind):
    event = events[kind]
    payload_class = type(event._0)
    assert payload_class.__name__ == PAYLOAD_NAMES[kind]
    reads = [event._0, event._0, event[0], event[0]]
    assert len({id(p) for p in reads}) == len(reads)
    assert all(type(p) is payload_class for p in reads)
    assert len({p.window for p in reads}) == 1
    assert len(event) == 1


NOT_AN_INTEGER = "object cannot be interpreted as an integer"


@pytest.mark.parametrize(
    "index, error, message",
    [
        (1, IndexError, "tuple index out of range"),
        (2**64 - 1, IndexError, "tuple index out of range"),
        (True, IndexError, "tuple index out of range"),
        (-1, OverflowError, None),
        (-(2**70), OverflowError, None),
        (2**64, OverflowError, None),
        ("0", TypeError, "argument 'idx': 'str' " + NOT_AN_INTEGER),
        (0.0, TypeError, "argument 'idx': 'float' " + NOT_AN_INTEGER),
        (slice(0, 1), TypeError, "argument 'idx': 'slice' " + NOT_AN_INTEGER),
    ],
)
def test_item_access_errors(events, index, error, message):
    for event in events.values():
        with pytest.raises(error) as raised:
            event[index]
        assert type(raised.value) is error
        if message is not None:
            assert str(raised.value) == message


def test_item_type_error_keeps_the_original_as_cause(events):
    with pytest.raises(TypeError) as raised:
        events["Work"][None]
    cause = raised.value.__cause__
    assert type(cause) is TypeError
    assert str(cause) == "'NoneType' object cannot be interpreted as an integer"
    assert str(raised.value) == f"argument 'idx': {cause}"


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        if isinstance(self.value, Exception):
            raise self.value
        return self.value


def test_item_index_goes_through_the_index_protocol(events):
    event = events["Work"]
    assert event[Index(0)].window == event._0.window
    with pytest.raises(IndexError, match="^tuple index out of range$"):
        event[Index(1)]
    with pytest.raises(OverflowError):
        event[Index(-1)]


@pytest.mark.parametrize("failure", [ValueError("bad index"), KeyError("k"), ZeroDivisionError()])
def test_item_index_errors_other_than_type_errors_pass_unchanged(events, failure):
    with pytest.raises(type(failure)) as raised:
        events["Wait"][Index(failure)]
    assert raised.value is failure


@pytest.mark.parametrize("kind", KINDS)
def test_iteration_and_unpacking(events, kind):
    event = events[kind]
    items = list(event)
    assert len(items) == 1
    assert type(items[0]) is type(event._0)
    assert items[0].window == event._0.window
    (payload,) = event
    assert payload.window == event._0.window
    iterator = iter(event)
    next(iterator)
    with pytest.raises(StopIteration):
        next(iterator)
    with pytest.raises(ValueError):
        first, second = event


def match_event(event, PyEvent):
    match event:
        case PyEvent.Work(w):
            return "Work", w
        case PyEvent.Wait(w):
            return "Wait", w
        case PyEvent.Travel(w):
            return "Travel", w
    return None


def test_match_binds_the_payload_by_kind(schedule, PyEvent):
    matched = [match_event(ev, PyEvent) for ev in schedule]
    assert [kind for kind, _ in matched] == ["Work", "Travel", "Wait", "Work", "Travel"]
    for (kind, payload), event in zip(matched, schedule):
        assert type(payload).__name__ == PAYLOAD_NAMES[kind]
        assert payload.window == event._0.window


def test_match_by_keyword_and_base_class(events, PyEvent):
    match events["Work"]:
        case PyEvent.Wait():
            pytest.fail("a Work event matched the Wait pattern")
        case PyEvent.Work(_0=payload):
            assert payload.location == 0
        case _:
            pytest.fail("the Work pattern did not match")
    match events["Travel"]:
        case PyEvent():
            pass
        case _:
            pytest.fail("an event did not match its base class")


@pytest.mark.parametrize("kind", KINDS)
def test_members_reached_with_another_kind_refuse(PyEvent, events, kind):
    cls = getattr(PyEvent, kind)
    other = events["Travel" if kind != "Travel" else "Work"]
    with pytest.raises(TypeError):
        cls._0.__get__(other)
    with pytest.raises(TypeError):
        cls.__getitem__(other, 0)
    with pytest.raises(TypeError):
        cls.__len__(other._0)


# --- payload members ---------------------------------------------------------


def test_payload_values(schedule):
    work = schedule[3]._0
    assert type(work.location) is int and work.location == 1
    window = work.window
    assert type(window) is tuple and len(window) == 2
    assert all(type(x) is int for x in window)
    assert work.window is not work.window


@pytest.mark.parametrize("kind", ["Wait", "Travel"])
def test_wait_and_travel_have_no_location(events, kind):
    payload = events[kind]._0
    with pytest.raises(AttributeError):
        _ = payload.location
    assert not hasattr(type(payload), "location")


# --- constructor -------------------------------------------------------------


@pytest.mark.parametrize("kind", KINDS)
@pytest.mark.parametrize("by_keyword", [False, True], ids=["positional", "keyword"])
def test_constructor_copies_the_payload(PyEvent, events, kind, by_keyword):
    cls = getattr(PyEvent, kind)
    original = events[kind]
    payload = original._0
    event = cls(_0=payload) if by_keyword else cls(payload)
    assert type(event) is cls
    assert event is not original
    assert event._0 is not payload
    assert event._0.window == payload.window
    if kind == "Work":
        assert event._0.location == payload.location
    (unpacked,) = event
    assert unpacked.window == payload.window


@pytest.mark.parametrize("kind, given", list(itertools.permutations(KINDS, 2)))
def test_constructor_rejects_payload_of_another_kind(PyEvent, events, kind, given):
    with pytest.raises(TypeError) as raised:
        getattr(PyEvent, kind)(events[given]._0)
    assert str(raised.value) == (
        f"argument '_0': '{PAYLOAD_NAMES[given]}' object cannot be converted to "
        f"'{PAYLOAD_NAMES[kind]}'"
    )


@pytest.mark.parametrize(
    "make_argument, type_name",
    [
        (lambda ev: ev, "PyEvent_Work"),  # the event rather than its payload
        (lambda ev: None, "NoneType"),
        (lambda ev: ev._0.window, "tuple"),
    ],
)
def test_constructor_rejects_other_objects(PyEvent, events, make_argument, type_name):
    with pytest.raises(TypeError) as raised:
        PyEvent.Work(_0=make_argument(events["Work"]))
    assert str(raised.value) == (
        f"argument '_0': '{type_name}' object cannot be converted to 'PyWork'"
    )


@pytest.mark.parametrize("kind", KINDS)
@pytest.mark.parametrize(
    "call, message",
    [
        (lambda cls, p: cls(), "missing 1 required positional argument: '_0'"),
        (lambda cls, p: cls(p, p), "takes 1 positional argument but 2 were given"),
        (lambda cls, p: cls(p, x=1), "got an unexpected keyword argument 'x'"),
        (lambda cls, p: cls(value=p), "got an unexpected keyword argument 'value'"),
        (lambda cls, p: cls(p, _0=p), "got multiple values for argument '_0'"),
    ],
    ids=["missing", "extra", "unknown-keyword", "keyword-only-unknown", "repeated"],
)
def test_constructor_binding_errors(PyEvent, events, kind, call, message):
    cls = getattr(PyEvent, kind)
    with pytest.raises(TypeError) as raised:
        call(cls, events[kind]._0)
    assert str(raised.value) == f"PyEvent_{kind}.__new__() {message}"


# --- immutability and plain instances ----------------------------------------


def test_attributes_are_read_only(events):
    work = events["Work"]
    targets = [
        (work, "_0"),
        (work, "extra"),
        (work._0, "location"),
        (work._0, "window"),
        (work._0, "extra"),
        (events["Wait"]._0, "window"),
        (events["Travel"]._0, "location"),
    ]
    for obj, name in targets:
        with pytest.raises(AttributeError):
            setattr(obj, name, 1)
        with pytest.raises(AttributeError):
            delattr(obj, name)


def test_classes_cannot_be_changed(events, output, PyEvent):
    work = events["Work"]
    for cls in [type(output), PyEvent, type(work), type(work._0)]:
        with pytest.raises(TypeError):
            cls.extra = 1
    with pytest.raises(TypeError):
        del type(work).__match_args__
    # A subclass of PyEvent is the user's own, and stays open.
    sub = type("Sub", (PyEvent,), {})
    sub.extra = 1
    assert sub.extra == 1 and PyEvent.Work is type(work)


def test_instances_have_no_dict_or_weakrefs(events):
    for event in events.values():
        for obj in (event, event._0):
            assert not hasattr(obj, "__dict__")
            assert not hasattr(obj, "__weakref__")
            with pytest.raises(TypeError):
                weakref.ref(obj)
            assert not gc.is_tracked(obj)


def test_default_identity_semantics(PyEvent, events):
    payload = events["Work"]._0
    a, b = PyEvent.Work(payload), PyEvent.Work(payload)
    assert a != b and a == a
    assert hash(a) != hash(b)
    assert payload != events["Work"]._0


# --- no leaks ----------------------------------------------------------------


def exercise(output, PyEvent, arguments):
    for event in output.schedule:
        payload = event._0
        _ = payload.window
        getattr(payload, "location", None)
        event[0]
        list(event)
        type(event)(payload)
        type(event)(_0=payload)
        for bad in arguments:
            try:
                event[bad]
            except (IndexError, TypeError, OverflowError):
                pass
            try:
                type(event)(bad)
            except TypeError:
                pass


def test_repeated_use_does_not_leak(output, PyEvent):
    classes = [PyEvent] + [getattr(PyEvent, k) for k in KINDS]
    classes += [type(ev._0) for ev in output.schedule[:3]]
    # Objects made at run time, so that only this test holds them.
    arguments = [int("18446744073709551615"), -int("99999999999999999999"), str(1.5)]
    exercise(output, PyEvent, arguments)  # warm up caches
    gc.collect()
    # Every live instance holds a reference to its class.
    before = [sys.getrefcount(obj) for obj in classes + arguments]
    tracemalloc.start()
    try:
        exercise(output, PyEvent, arguments)
        baseline, _ = tracemalloc.get_traced_memory()
        for _ in range(300):
            exercise(output, PyEvent, arguments)
        gc.collect()
        grown = tracemalloc.get_traced_memory()[0] - baseline
    finally:
        tracemalloc.stop()
    assert [sys.getrefcount(obj) for obj in classes + arguments] == before
    # 300 rounds of a leaked tuple and two integers per event would be >100 kB.
    assert grown < 20_000
