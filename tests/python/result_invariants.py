"""What every result of a time problem satisfies, whatever the problem."""

U64 = 2**64


def signed(value):
    """An unsigned 64-bit argument as the signed count it stands for."""
    return value - U64 if value >= 2**63 else value


def check_result(result, distances, durations, jobs, windows):
    route = result.route
    n = len(distances)
    assert sorted(route) == list(range(n))
    legs = list(zip(route, route[1:] + route[:1]))
    assert result.distance == min(sum(distances[a][b] for a, b in legs), U64 - 1)
    # Negative lengths count as nothing.
    assert result.working_time == sum(max(signed(jobs[k]), 0) for k in route)
    assert result.traveling_time == sum(max(signed(durations[a][b]), 0) for a, b in legs)
    assert result.duration == result.working_time + result.traveling_time + result.waiting_time
    assert result.start_time == windows[route[0]][0][0]

    clock = result.start_time
    per_kind = {"PyEvent_Work": 0, "PyEvent_Travel": 0, "PyEvent_Wait": 0}
    visits, completions = [], {}
    for event in result.schedule:
        start, end = event._0.window
        assert start == clock <= end  # contiguous and ordered
        clock = end
        per_kind[type(event).__name__] += end - start
        if type(event).__name__ == "PyEvent_Work":
            visits.append(event._0.location)
            completions[event._0.location] = end
    assert clock == result.end_time
    assert result.duration == result.end_time - result.start_time
    assert per_kind == {
        "PyEvent_Work": result.working_time,
        "PyEvent_Travel": result.traveling_time,
        "PyEvent_Wait": result.waiting_time,
    }
    # Every job is visited in route order (a job cut by closing time shows up more than once).
    assert [v for k, v in enumerate(visits) if k == 0 or visits[k - 1] != v] == route
    # Every job that ends after its location's last window is late by that much.
    assert result.lateness == sum(
        max(completions[k] - windows[k][-1][1], 0) for k in route if windows[k]
    )
