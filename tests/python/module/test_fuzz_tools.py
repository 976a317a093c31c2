"""Random malformed problems and options for the friendly layer: `Problem` and
`solve_problem` return a tour or raise TypeError, ValueError or SolveError (or the
error an argument itself raised), never the module's PanicException, never a crash."""

from hypothesis import event, given
from hypothesis import strategies as st
from schedule_check import check_schedule
from test_fuzz_arguments import ArgumentsOwnError, hours, job_lists, matrices, values, window_lists
from tourwright_tools import Problem, SolveError, Tour, solve_problem

options = st.fixed_dictionaries(
    {},
    optional={
        "depot": st.one_of(st.integers(-1, 5), values),
        "seed": st.one_of(st.integers(), values),
        "max_descents": st.one_of(st.integers(-1, 3), values),
        "threads": st.one_of(st.integers(-1, 3), values),
        "on_progress": st.one_of(st.just(lambda elapsed, descents, best: False), values),
        "strategy": st.one_of(st.sampled_from(["iterated", "multistart"]), values),
    },
)


@given(
    distance_matrix=st.one_of(values, matrices),
    duration_matrix=st.one_of(st.none(), values, matrices),
    job_durations=st.one_of(st.none(), values, job_lists),
    time_windows=st.one_of(st.none(), values, window_lists),
    operation_times=st.one_of(st.none(), values, hours),
    check_units=st.booleans(),
    window_rule=st.sampled_from(["whole", "start"]),
    options=options,
)
def test_friendly_layer_survives_malformed_problems_and_options(
    distance_matrix,
    duration_matrix,
    job_durations,
    time_windows,
    operation_times,
    check_units,
    window_rule,
    options,
):
    try:
        problem = Problem(
            distance_matrix,
            duration_matrix,
            job_durations,
            time_windows,
            operation_times,
            check_units=check_units,
            window_rule=window_rule,
        )
        # A short limit keeps every search brief, whatever the options ask for.
        tour = solve_problem(problem, 0.02, **options)
    except (TypeError, ValueError, SolveError, ArgumentsOwnError) as error:
        event(type(error).__name__)
        assert str(error)
        return
    event("returned")
    assert isinstance(tour, Tour)
    assert sorted(tour.route) == list(range(len(problem.distance_matrix)))
    if options.get("depot") in tour.route and type(options.get("depot")) is int:
        assert tour.route[0] == options["depot"]
    check_schedule(tour, problem)
