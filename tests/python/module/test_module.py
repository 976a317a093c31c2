import importlib
import inspect
import sys

import pytest
import tourwright
from conftest import RESULT_ATTRIBUTES


def test_exports_only_solve_and_output():
    assert tourwright.__all__ == ["solve", "PyOutput"]
    public = {name for name in dir(tourwright) if not name.startswith("__")}
    assert public == {"solve", "PyOutput"}
    assert tourwright.__doc__


def test_reinitialising_returns_the_same_module():
    first = sys.modules.pop("tourwright")
    try:
        again = importlib.import_module("tourwright")
        assert again is first
        assert again.__all__ == ["solve", "PyOutput"]
    finally:
        sys.modules["tourwright"] = first


def test_solve_signature_and_doc():
    assert str(inspect.signature(tourwright.solve)) == (
        "(distance_matrix, duration_matrix=None, job_durations=None, time_windows=None, "
        "operation_times=None, time_limit=None)"
    )
    assert tourwright.solve.__doc__ == "Solving the Traveling Salesman Problem with Time Windows."


def test_panic_exception_is_a_base_exception_created_once(PanicException):
    assert issubclass(PanicException, BaseException)
    assert not issubclass(PanicException, Exception)
    with pytest.raises(PanicException) as caught:
        tourwright.solve([[0, 1]], time_limit=9223372036854776)
    assert type(caught.value) is PanicException
    assert caught.value.args == ("TimeDelta::seconds out of bounds",)
    assert str(caught.value) == "TimeDelta::seconds out of bounds"


def test_output_class_shape():
    cls = tourwright.PyOutput
    assert cls.__module__ == "builtins"
    assert cls.__qualname__ == cls.__name__ == "PyOutput"
    assert cls.__doc__ is None
    assert cls.__bases__ == (object,)
    with pytest.raises(TypeError, match="^No constructor defined for PyOutput$"):
        cls()
    with pytest.raises(TypeError):
        type("Sub", (cls,), {})
    getters = [name for name, value in vars(cls).items() if inspect.isgetsetdescriptor(value)]
    assert tuple(getters) == RESULT_ATTRIBUTES


@pytest.mark.parametrize("name", ["distance", "route", "lateness", "schedule", "other"])
def test_output_is_read_only_without_dict(name):
    result = tourwright.solve([[0]])
    with pytest.raises(AttributeError):
        setattr(result, name, 1)
    assert not hasattr(result, "__dict__")
    with pytest.raises(TypeError):
        import weakref

        weakref.ref(result)


def test_sub_interpreters_are_refused():
    testcapi = pytest.importorskip("_testcapi")
    # The main interpreter has loaded the module, so another may not.
    assert testcapi.run_in_subinterp("import tourwright") == -1
    assert tourwright.solve([[0]]).route == [0]
