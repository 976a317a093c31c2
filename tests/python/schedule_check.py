"""What every schedule of a time problem satisfies, checked from the problem alone (its windows,
window rules, open hours and breaks), never from the engine's own reckoning."""

from tourwright_tools.units.values import SECONDS_PER_DAY


def check_schedule(tour, problem, started=True):
    """Asserts that `tour`, a tour of `problem`, keeps every rule of its schedule; a return
    after the last window of its first location is late where the tour was given a start."""
    events = tour.schedule
    if events is None or problem.time_windows is None:
        return
    time = problem.engine_time
    open_span = _open_spans(time)
    clock = tour.start_time
    totals = {"work": 0, "travel": 0, "wait": 0, "break": 0}
    for event in events:
        assert event.start == clock, f"{event} does not follow on at {clock}"
        clock = event.end
        totals[event.kind] += event.length
        if event.kind in ("work", "travel", "break") and event.length:
            assert open_span(event.start, event.end), f"{event} is not within open hours"
    assert clock == tour.end_time
    assert tour.duration == tour.end_time - tour.start_time == sum(totals.values())
    assert (tour.working_time, tour.traveling_time) == (totals["work"], totals["travel"])
    assert (tour.waiting_time, tour.break_time) == (totals["wait"], totals["break"])
    assert tour.working_time == sum(problem.job_durations[k] for k in tour.route)
    _check_legs(tour, problem)
    work = _job_spans(tour)
    _check_breaks(tour, time, work, open_span)
    late = _job_lateness(tour, problem, work)
    if tour.returns and started:
        late += max(0, tour.end_time - problem.time_windows[tour.route[0]][-1][1])
    assert tour.lateness == late


def _open_spans(time):
    """Whether [start, end] lies within one open interval (always, without hours)."""
    if time.open_hours is not None:
        intervals = time.open_hours
        return lambda start, end: any(a <= start and end <= b for a, b in intervals)
    if time.operation_times is None:
        return lambda start, end: True
    opening, closing = time.operation_times

    def within(start, end):
        day = (start + time.offset) // SECONDS_PER_DAY * SECONDS_PER_DAY - time.offset
        return day + opening <= start and end <= day + closing

    return within


def _check_legs(tour, problem):
    """The travel of each leg driven, pauses and all, adds up to its entry of the matrix."""
    route = tour.route
    legs = list(zip(route, route[1:] + (route[:1] if tour.returns else ())))
    driven = {}
    for event in tour.schedule:
        if event.kind == "travel":
            leg = (event.from_location, event.to_location)
            driven[leg] = driven.get(leg, 0) + event.length
        if event.kind == "break" and event.location is None:
            assert (event.from_location, event.to_location) in legs, f"{event} pauses no leg"
    for a, b in legs:
        assert driven.get((a, b), 0) == problem.duration_matrix.at(a, b), (a, b)


def _job_spans(tour):
    """Each location's work from its first part's start to its last part's end, in route order."""
    work, served = {}, []
    for event in tour.schedule:
        if event.kind == "work":
            first, _ = work.get(event.location, (event.start, None))
            work[event.location] = (first, event.end)
            if not served or served[-1] != event.location:
                served.append(event.location)
    assert served == [k for k in tour.route if k in work], "the work is not in route order"
    return work


def _job_lateness(tour, problem, work):
    """Each job starts when its windows let it (its start within one for a start rule, the whole
    job for the other); the lateness of those that cannot is how far they run past the last."""
    late = 0
    for location, (start, end) in work.items():
        windows = problem.time_windows[location]
        if problem.window_rule[location] == "start":
            inside = any(a <= start <= b for a, b in windows)
            assert inside or start > windows[-1][1], f"{location} starts outside its windows"
            late += max(0, start - windows[-1][1])
        else:
            inside = any(a <= start and end <= b for a, b in windows)
            assert inside or end > windows[-1][1], f"{location} works outside its windows"
            assert start >= windows[0][0], f"{location} starts before its first window"
            late += max(0, end - windows[-1][1])
    return late


def _check_breaks(tour, time, work, open_span):
    """The breaks taken, in their order, each of its length and starting in its window; at most
    one a passage (a leg and the work after it). A break is never late: one not taken had no
    wait that could hold it, unless that wait's passage took another."""
    rules = [(length, a - time.offset, b - time.offset) for length, a, b in time.breaks or ()]
    taken = [event for event in tour.schedule if event.kind == "break"]
    ends = [tour.start_time] + [work[k][1] for k in tour.route if k in work]
    ends += [tour.end_time] if tour.returns else []
    passages = list(zip(ends, ends[1:]))
    for begin, end in passages:
        assert sum(begin <= event.start < end for event in taken) <= 1, "two breaks a passage"
    left, untaken = list(rules), []
    for event in taken:
        while left and not left[0][1] <= event.start <= left[0][2]:
            untaken.append(left.pop(0))
        assert left and left[0][0] == event.length, f"{event} is no break in its window"
        left.pop(0)
    for length, earliest, latest in untaken + left:
        for wait in (event for event in tour.schedule if event.kind == "wait"):
            first = max(wait.start, earliest)
            held = any(
                x <= latest and x + length <= wait.end and open_span(x, x + length)
                for x in [first, *_openings(time, first, latest)]
            )
            if held:
                begin, end = next((a, b) for a, b in passages if a <= wait.start < b)
                assert any(begin <= event.start < end for event in taken), (
                    f"the wait {wait} holds the break {length, earliest, latest}, not taken"
                )


def _openings(time, first, last):
    """The instants from `first` to `last` at which the hours open."""
    if time.open_hours is not None:
        return [a for a, _ in time.open_hours if first < a <= last]
    if time.operation_times is None:
        return []
    day = (first + time.offset) // SECONDS_PER_DAY * SECONDS_PER_DAY - time.offset
    starts = range(day + time.operation_times[0], last + 1, SECONDS_PER_DAY)
    return [a for a in starts if a > first]
