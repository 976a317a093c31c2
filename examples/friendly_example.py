"""The friendly layer: a checked problem with datetimes, a plain result, JSON and a picture."""

import datetime as dt
import pathlib

from tourwright_tools import Problem, read_tsptw, schedule_svg, solve_problem

DAY = dt.datetime(2026, 12, 7)  # local time in the problem's zone


def at(hour: float) -> dt.datetime:
    return DAY + dt.timedelta(hours=hour)


def main() -> None:
    minutes = dt.timedelta(minutes=1)
    problem = Problem(
        distance_matrix=[[0, 900, 1400], [900, 0, 700], [1400, 700, 0]],  # metres
        duration_matrix=[
            [0 * minutes, 4 * minutes, 6 * minutes],
            [4 * minutes, 0 * minutes, 3 * minutes],
            [6 * minutes, 3 * minutes, 0 * minutes],
        ],
        job_durations=[0 * minutes, 20 * minutes, 30 * minutes],
        time_windows=[[(at(8), at(17))], [(at(9), at(10)), (at(14), at(15))], [(at(8), at(9))]],
        operation_times=(dt.time(8), dt.time(17)),
        names=["Depot", "Bakery", "Library"],
        coordinates=[(0.0, 0.0), (0.7, 0.5), (1.2, -0.3)],
        depot=0,  # leave the depot and come back to it
        timezone="Europe/Berlin",
    )
    tour = solve_problem(problem)  # leaves at the latest useful departure
    print(tour)
    assert tour.schedule is not None
    for event in tour.schedule:
        start, end = (t.astimezone(tour.zone) for t in (event.start_datetime, event.end_datetime))
        print(
            f"{event.kind:7} {start:%H:%M}-{end:%H:%M} "
            f"{event.location if event.location is not None else ''}"
        )
    print(tour.to_json()[:80], "...")
    pathlib.Path("friendly_example.svg").write_text(schedule_svg(tour, problem))

    classic = read_tsptw(pathlib.Path(__file__).with_name("small.tsptw"))
    report = classic.report(solve_problem(classic.problem, depot=classic.depot))
    print("classic:", report.route, "travel", report.travel_time, "feasible", report.feasible)


if __name__ == "__main__":
    main()
