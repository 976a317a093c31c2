"""The engine entry's open_hours, start_windows and breaks, and breaks_of."""

import pytest
import tourwright
from conftest import DAY0, HOUR
from tourwright_tools import _engine

# Two locations an hour apart, an hour's job at each, windows over the whole day.
PROBLEM = dict(
    distance_matrix=[[0, 1], [1, 0]],
    duration_matrix=[[0, HOUR], [HOUR, 0]],
    job_durations=[HOUR, HOUR],
    time_windows=[[(DAY0, DAY0 + 24 * HOUR)]] * 2,
    operation_times=None,
)


def evaluate(**week):
    return _engine.evaluate(**PROBLEM, route=[0, 1], **week)


def test_open_hours_pause_work_and_travel_between_intervals():
    output = evaluate(open_hours=[(DAY0, DAY0 + HOUR + 1800), (DAY0 + 3 * HOUR, DAY0 + 9 * HOUR)])
    # The leg runs 01:00-01:30 and 03:00-03:30; the job 03:30-04:30; back by 05:30.
    assert output.end_time - output.start_time == 5 * HOUR + 1800
    assert output.waiting_time == 1800 + HOUR


def test_start_windows_bind_only_the_start():
    windows = [[(DAY0, DAY0 + 24 * HOUR)], [(DAY0, DAY0 + 2 * HOUR + 1800)]]
    problem = dict(PROBLEM, time_windows=windows)
    whole = _engine.evaluate(**problem, route=[0, 1])
    started = _engine.evaluate(**problem, route=[0, 1], start_windows=[False, 1])
    assert (whole.lateness, started.lateness) == (1800, 0)


def test_breaks_of_lists_the_breaks_left_out_of_the_schedule():
    output = evaluate(breaks=[(1800, DAY0 + HOUR + 1800, DAY0 + HOUR + 1800)])
    # Due while the van is on its way: the leg pauses for it.
    assert _engine.breaks_of(output) == [(DAY0 + HOUR + 1800, DAY0 + 2 * HOUR, None)]
    kinds = [type(event).__name__.removeprefix("PyEvent_") for event in output.schedule]
    assert kinds == ["Work", "Travel", "Travel", "Work", "Travel"]
    assert output.duration == 4 * HOUR + 1800
    assert output.working_time + output.traveling_time + output.waiting_time == 4 * HOUR
    taken_on_arrival = evaluate(breaks=[(1800, DAY0, DAY0 + 1800)])
    assert _engine.breaks_of(taken_on_arrival) == [(DAY0, DAY0 + 1800, 0)]
    assert _engine.breaks_of(evaluate()) == []


def test_solve_takes_the_same_arguments():
    output, _ = _engine.solve(
        **PROBLEM,
        max_descents=1,
        start=0,
        open_hours=[(DAY0, DAY0 + 24 * HOUR)],
        start_windows=[0, 0],
        breaks=[(1800, DAY0, DAY0 + 1800)],
    )
    assert [start for start, _, _ in _engine.breaks_of(output)] == [DAY0]


@pytest.mark.parametrize(
    "week, message",
    [
        (dict(open_hours=[]), "open_hours must hold at least one interval"),
        (dict(open_hours=[(DAY0, DAY0)]), "open_hours: each interval must open before it closes"),
        (
            dict(open_hours=[(DAY0, DAY0 + 9), (DAY0 + 9, DAY0 + 20)]),
            "open_hours must ascend and keep apart (each opens after the last closes)",
        ),
        (dict(open_hours=[(2**63, DAY0)]), "open_hours: an instant is out of range"),
        (dict(start_windows=[1]), "start_windows must hold one flag per location (2), not 1"),
        (dict(breaks=[(0, DAY0, DAY0)]), "breaks: each length must be positive"),
        (
            dict(breaks=[(60, DAY0 + 9, DAY0)]),
            "breaks: each earliest start must not come after its latest",
        ),
        (
            dict(breaks=[(60, DAY0, DAY0 + 100), (60, DAY0 + 159, DAY0 + 200)]),
            "breaks must ascend and keep apart (each may start only after the one before ends at "
            "the latest)",
        ),
    ],
)
def test_bad_values_are_refused_naming_the_argument(week, message):
    for call in (evaluate, lambda **w: _engine.solve(**PROBLEM, **w)):
        with pytest.raises(ValueError) as refused:
            call(**week)
        assert str(refused.value) == message


def test_open_hours_and_operation_times_exclude_each_other():
    problem = dict(PROBLEM, operation_times=(0, 86400))
    with pytest.raises(ValueError, match=r"^give operation_times or open_hours, not both$"):
        _engine.evaluate(**problem, route=[0, 1], open_hours=[(DAY0, DAY0 + HOUR)])


def test_wrong_forms_are_type_errors_and_breaks_of_takes_only_outputs():
    with pytest.raises(TypeError, match="argument 'breaks'"):
        evaluate(breaks=["x"])
    with pytest.raises(ValueError, match="expected tuple of length 3"):
        evaluate(breaks=[(1, 2)])
    with pytest.raises(TypeError):
        _engine.breaks_of(object())


def test_tourwright_solve_takes_none_of_them():
    with pytest.raises(TypeError, match="unexpected keyword argument 'open_hours'"):
        tourwright.solve(**PROBLEM, open_hours=[(DAY0, DAY0 + HOUR)])
