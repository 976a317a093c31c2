"""Hypothesis settings shared by the fuzz tests, and the messages a call may end with.

The default profile keeps the test run short. For a long run:
    TOURWRIGHT_FUZZ=long python3 -m pytest -q tests/python/module/test_fuzz_*.py --hypothesis-show-statistics
"""

import os

from hypothesis import HealthCheck, settings

settings.register_profile(
    "ci",
    max_examples=300,
    deadline=None,
    database=None,
    suppress_health_check=[HealthCheck.too_slow, HealthCheck.data_too_large],
)
settings.register_profile(
    "long",
    max_examples=20_000,
    deadline=None,
    database=None,
    suppress_health_check=[HealthCheck.too_slow, HealthCheck.data_too_large],
)
settings.load_profile(os.environ.get("TOURWRIGHT_FUZZ", "ci"))

PANIC_MESSAGES = {
    "TimeDelta::seconds out of bounds",
    "called `Option::unwrap()` on a `None` value",
    "assertion failed: start <= end",
    "assertion failed: daily_start < daily_end",
    "`TimeDelta + TimeDelta` overflowed",
    "`TimeDelta - TimeDelta` overflowed",
    "`DateTime + TimeDelta` overflowed",
    "`DateTime - TimeDelta` overflowed",
}


def is_panic_message(message):
    return message in PANIC_MESSAGES or message.startswith("index out of bounds: the len is ")
