"""Solves the bundled delivery-day problem with `tourwright.solve` and prints the tour and its schedule."""

import datetime
import json
import pathlib
import sys

import tourwright
from tourwright_tools import PyEvent

PROBLEM = pathlib.Path(__file__).with_name("delivery_day.json")


def clock(unix_seconds: int) -> str:
    return datetime.datetime.fromtimestamp(unix_seconds, datetime.timezone.utc).strftime("%H:%M")


def hours(seconds: int) -> str:
    return f"{seconds // 3600}h{seconds % 3600 // 60:02d}"


def describe(event: PyEvent, names: list[str]) -> str:
    match event:
        case PyEvent.Work(work):
            what, (start, end) = f"work at {names[work.location]}", work.window
        case PyEvent.Travel(travel):
            what, (start, end) = "travel", travel.window
        case PyEvent.Wait(wait):
            what, (start, end) = "wait", wait.window
        case _:
            raise TypeError(f"not a schedule event: {event!r}")
    return f"  {clock(start)}-{clock(end)}  {what}"


def main(path: pathlib.Path = PROBLEM) -> None:
    problem = json.loads(pathlib.Path(path).read_text())
    names: list[str] = problem["names"]
    result = tourwright.solve(
        problem["distance_matrix"],
        problem["duration_matrix"],
        problem["job_durations"],
        [[(start, end) for start, end in windows] for windows in problem["time_windows"]],
        (problem["operation_times"][0], problem["operation_times"][1]),
        time_limit=1,
    )
    assert (
        result.schedule is not None
        and result.start_time is not None
        and result.end_time is not None
    )
    assert result.lateness is not None and result.working_time is not None
    assert result.traveling_time is not None and result.waiting_time is not None
    print("tour:     ", " -> ".join(names[i] for i in result.route + result.route[:1]))
    print("distance: ", f"{result.distance / 1000:.1f} km")
    print("start/end:", clock(result.start_time), "-", clock(result.end_time))
    print("lateness: ", hours(result.lateness))
    print(
        "working:  ",
        hours(result.working_time),
        " traveling:",
        hours(result.traveling_time),
        " waiting:",
        hours(result.waiting_time),
    )
    print(f"searched {result.iterations} descents in {result.time_taken_microseconds / 1e6:.2f} s")
    print("schedule:")
    for event in result.schedule:
        print(describe(event, names))


if __name__ == "__main__":
    main(*map(pathlib.Path, sys.argv[1:]))
