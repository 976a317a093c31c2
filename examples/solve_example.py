"""Solves the bundled delivery-day problem with `tourwright.solve` and prints the tour and its schedule.

The file holds ISO 8601 times in Berlin's local time; `tourwright.solve` takes plain integers
(Unix seconds, and operating hours in seconds after midnight UTC). `read_json` reads the file
into a checked `Problem`, whose `solve_arguments()` are those integers. The module has no depot:
its round trip may begin at any stop (`solve_problem(problem)` keeps the file's depot first)."""

import datetime
import pathlib
import sys

import tourwright
from tourwright_tools import PyEvent, read_json

PROBLEM = pathlib.Path(__file__).with_name("delivery_day.json")


def hours(seconds: int) -> str:
    return f"{seconds // 3600}h{seconds % 3600 // 60:02d}"


def main(path: pathlib.Path = PROBLEM) -> None:
    problem = read_json(path)
    names = [problem.name(location) for location in range(problem.size)]
    arguments = problem.solve_arguments()
    # The module counts operating hours from midnight UTC, the file from local midnight: every
    # instant moves by the problem's offset on the way in, and back on the way out.
    offset = problem.engine_offset()
    windows = [
        [(start + offset, end + offset) for start, end in ws] for ws in arguments["time_windows"]
    ]
    result = tourwright.solve(
        arguments["distance_matrix"],
        arguments["duration_matrix"],
        arguments["job_durations"],
        windows,
        arguments["operation_times"],
        time_limit=1,
    )

    def clock(instant: int) -> str:
        local = datetime.datetime.fromtimestamp(instant - offset, problem.timezone)
        return local.strftime("%H:%M")

    def describe(event: PyEvent) -> str:
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

    assert (
        result.schedule is not None
        and result.start_time is not None
        and result.end_time is not None
    )
    assert result.lateness is not None and result.working_time is not None
    assert result.traveling_time is not None and result.waiting_time is not None
    print("tour:     ", " -> ".join(names[i] for i in result.route + result.route[:1]))
    print("distance: ", f"{result.distance / 1000:.1f} km")
    print("start/end:", clock(result.start_time), "-", clock(result.end_time), "local time")
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
        print(describe(event))


if __name__ == "__main__":
    main(*map(pathlib.Path, sys.argv[1:]))
