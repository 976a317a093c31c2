"""Random valid problems, from ordinary to hostile (long and negative jobs, short
opening hours, values next to the limits, legs of 2^63, asymmetric tables): every
call either panics with a documented message or returns a result whose invariants
hold."""

import random

import tourwright
from conftest import DAY0, panic_type
from fuzzing import is_panic_message
from hypothesis import event, given
from hypothesis import strategies as st
from result_invariants import U64, check_result

PanicException = panic_type()
LAST_SECOND = 8210266876799  # 262142-12-31T23:59:59
MAX_SECONDS = 9223372036854775


def length(rng, style, scale):
    """A job or travel length in seconds, as the unsigned argument. The schedule has a
    record for every day an action works, so `scale` keeps the days in the thousands."""
    if style == "zero":
        return 0
    if style == "negative" and rng.random() < 0.5:
        return U64 - rng.randrange(1, 10**6)
    if style == "long" and rng.random() < 0.3:
        return rng.randrange(20 * scale, 400 * scale)
    if style == "limit" and rng.random() < 0.05:
        return rng.choice([MAX_SECONDS, U64 - MAX_SECONDS, MAX_SECONDS - 1])
    return rng.randrange(0, 4 * scale)


def distance(rng, style):
    if style == "huge":
        return rng.choice([2**63, U64 - 1, rng.randrange(U64)])
    return rng.randrange(0, 1000)


def windows_of(rng, origin, first):
    own, at = [], origin + rng.randrange(0, 12 * 3600)
    for _ in range(rng.randrange(1 if first else 0, 4)):
        span = rng.randrange(0, 6 * 3600)
        own.append((at, min(at + span, LAST_SECOND)))
        at += span + rng.randrange(0, 8 * 3600)
    return own


@st.composite
def problems(draw):
    n = draw(st.integers(1, 40))
    rng = random.Random(draw(st.integers(0, 2**32)))
    styles = st.sampled_from(["plain", "zero", "negative", "long", "limit"])
    job_style, leg_style = draw(styles), draw(styles)
    distance_style = draw(st.sampled_from(["plain", "huge"]))
    # Near the end of the calendar the last instants overflow.
    origin = draw(st.sampled_from([DAY0, DAY0, DAY0, LAST_SECOND - 30 * 86400]))
    hours = draw(
        st.sampled_from(
            [
                None,
                (8 * 3600, 17 * 3600),
                (6 * 3600, 22 * 3600),
                (0, 3600),
                (43200, 43201),
                (0, 86400),
                (72000, 100800),
            ]
        )
    )
    scale = 1 if hours == (43200, 43201) else 3600
    # A location without windows may not start a tour: location 0 always has one.
    windows = [windows_of(rng, origin, k == 0) for k in range(n)]
    distances = [[distance(rng, distance_style) for _ in range(n)] for _ in range(n)]
    durations = [[length(rng, leg_style, scale) for _ in range(n)] for _ in range(n)]
    jobs = [length(rng, job_style, scale) for _ in range(n)]
    # No limit, none at all, and the largest one (which must not overflow the deadline).
    time_limit = draw(st.sampled_from([None, None, 0, U64 - 1]))
    return distances, durations, jobs, windows, hours, time_limit


@given(problems())
def test_results_keep_their_invariants(problem):
    distances, durations, jobs, windows, hours, time_limit = problem
    try:
        result = tourwright.solve(distances, durations, jobs, windows, hours, time_limit)
    except PanicException as error:
        event("panicked")
        assert is_panic_message(str(error)), error
        return
    event("returned")
    check_result(result, distances, durations, jobs, windows)


@given(n=st.integers(1, 40), seed=st.integers(0, 2**32), huge=st.booleans())
def test_distance_results_are_permutations_with_exact_distance(n, seed, huge):
    rng = random.Random(seed)
    distances = [[distance(rng, "huge" if huge else "plain") for _ in range(n)] for _ in range(n)]
    result = tourwright.solve(distances)
    route = result.route
    assert sorted(route) == list(range(n))
    assert result.distance == min(
        sum(distances[a][b] for a, b in zip(route, route[1:] + route[:1])), U64 - 1
    )
    assert result.schedule is None and result.lateness is None
