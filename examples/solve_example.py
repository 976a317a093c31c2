"""Solves the bundled delivery-day problem and prints the tour and its schedule."""
import datetime
import json
import pathlib
import sys

import tourwright

PROBLEM = pathlib.Path(__file__).with_name("delivery_day.json")


def clock(unix_seconds):
    return datetime.datetime.fromtimestamp(unix_seconds, datetime.timezone.utc).strftime("%H:%M")


def hours(seconds):
    return f"{seconds // 3600}h{seconds % 3600 // 60:02d}"


def describe(event, PyEvent, names):
    match event:
        case PyEvent.Work(work):
            what = f"work at {names[work.location]}"
        case PyEvent.Travel(_):
            what = "travel"
        case PyEvent.Wait(_):
            what = "wait"
    start, end = event._0.window
    return f"  {clock(start)}-{clock(end)}  {what}"


def main(path=PROBLEM):
    problem = json.loads(pathlib.Path(path).read_text())
    names = problem["names"]
    result = tourwright.solve(
        problem["distance_matrix"],
        problem["duration_matrix"],
        problem["job_durations"],
        [[tuple(window) for window in windows] for windows in problem["time_windows"]],
        tuple(problem["operation_times"]),
        time_limit=1,
    )
    print("tour:     ", " -> ".join(names[i] for i in result.route + result.route[:1]))
    print("distance: ", f"{result.distance / 1000:.1f} km")
    print("start/end:", clock(result.start_time), "-", clock(result.end_time))
    print("lateness: ", hours(result.lateness))
    print("working:  ", hours(result.working_time), " traveling:", hours(result.traveling_time),
          " waiting:", hours(result.waiting_time))
    print(f"searched {result.iterations} descents in {result.time_taken_microseconds / 1e6:.2f} s")
    schedule = result.schedule
    # The event classes are reached through the events themselves.
    PyEvent = type(schedule[0]).__base__
    print("schedule:")
    for event in schedule:
        print(describe(event, PyEvent, names))


if __name__ == "__main__":
    main(*sys.argv[1:])
