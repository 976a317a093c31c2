"""Repeated calls and reads must not leak: neither Python objects nor native memory."""

import gc

import pytest
import tourwright
from conftest import two_location_problem


def resident_bytes():
    with open("/proc/self/statm") as statm:
        pages = int(statm.read().split()[1])
    import resource

    return pages * resource.getpagesize()


def growth(action, repeats):
    for _ in range(1000):  # warm up allocator pools and caches
        action()
    gc.collect()
    before = resident_bytes()
    for _ in range(repeats):
        action()
    gc.collect()
    return resident_bytes() - before


def failing_call(PanicException):
    def call():
        with pytest.raises(PanicException):
            tourwright.solve([[0, 1], [1, 0]], [[0, 1], [1, 0]], [1, 1], [[(10, 5)], []])

    return call


@pytest.mark.parametrize("case", ["solve", "schedule", "route", "panic"])
def test_no_growth_over_many_calls(PanicException, case):
    problem = two_location_problem()
    result = tourwright.solve(**problem)
    actions = {
        "solve": lambda: tourwright.solve(**problem),
        "schedule": lambda: result.schedule,
        "route": lambda: result.route,
        "panic": failing_call(PanicException),
    }
    # A leak of even a few dozen bytes per call would show as megabytes here.
    assert growth(actions[case], 100_000 if case != "solve" else 30_000) < 2 * 1024 * 1024
