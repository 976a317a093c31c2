"""`replan`: the rest of a day from where the van is at a given instant.

The rest of the day is solved as a problem of its own: the van's place at `now` is a location
of its own that the tour leaves at `now` (with what is left of a job in progress as its job),
followed by the stops kept in order, then the stops still to do in any order, and the day's
end. The plan is the search's first tour, so the new plan is never worse than going on with it.
Optional stops not yet done stay optional (those kept next are served), and those the plan
left out stay out of that first tour.
"""

from __future__ import annotations

import dataclasses
import datetime as dt
from collections.abc import Iterable, Sequence
from typing import Any

from ..model.breaks import Break
from ..model.problem import End, Problem
from ..units import values
from ..units.local_time import instant, local
from .options import ProgressCallback, SolveOptions, Strategy, TimeLimit, limit_seconds
from .routes import route_of
from .solving import solve_with
from .tour import Event, Tour

# The name of the van's place in the problem of the rest of the day.
VAN = "van"


@dataclasses.dataclass(frozen=True)
class _Place:
    """Where the van is at `now`: at `location`, or on the leg `location` > `towards` with
    `remaining` seconds still to drive; `working`: what is left of a job there, or None."""

    location: int
    towards: int | None = None
    remaining: int = 0
    working: int | None = None


def replan(
    problem: Problem,
    tour: Tour,
    now: Any,
    *,
    done: Iterable[int] | None = None,
    position: int | Sequence[Any] | None = None,
    in_progress: int | Sequence[Any] | None = None,
    keep_next: int = 0,
    end: End | None = None,
    time_limit: TimeLimit | None = None,
    seed: int | None = None,
    max_descents: int | None = None,
    threads: int | None = 1,
    strategy: Strategy = "iterated",
    on_progress: ProgressCallback | None = None,
) -> Tour:
    """A new plan for the rest of the day of `tour`, a plan of `problem`, from `now`.

    `problem` may hold new jobs (locations the tour does not visit): the new plan serves them
    too, but optional stops not yet done it may leave out, as a search does (`Tour.skipped`).
    The van leaves at `now` (an instant: Unix seconds, a `datetime`, or ISO 8601 text, local
    to the problem's timezone without an offset) from where it is, and the plan ends as
    the problem's tour ends (`end` as in `solve_problem` to say otherwise): back at the tour's
    first location, at a fixed end, or open.

    - `done`: the stops already served, left out (the tour's first location counts as left).
      None: those whose work the tour had finished by `now`.
    - `position`: a location where the van stands, or the leg it drives as
      `(from, to, elapsed)` with `elapsed` seconds (or a `timedelta`) of it driven; the van
      goes on to `to` first. None: where the tour has it at `now`.
    - `in_progress`: a location whose job the van is doing, or `(location, remaining)`: it
      finishes that job first. Given as a location alone, what is left is what the tour plans
      after `now`, else the whole job. None: the job the tour has it doing at `now`, if any.
    - `keep_next`: the next stops of the tour still to do stay next, in its order.
    - `time_limit`, `seed`, `max_descents`, `threads`, `strategy`, `on_progress`: as for
      `solve_problem`.

    The new tour's route lists the stops still to do in their new order (the job in progress
    first, where there is one) and finishes at the end; it starts at `now` and does not return.
    A fault in the input raises a ValueError or TypeError with one line; nothing is solved then.
    """
    options = SolveOptions(
        time_limit=None if time_limit is None else limit_seconds(time_limit),
        end=end,
        seed=seed,
        max_descents=max_descents,
        threads=threads,
        strategy=strategy,
        on_progress=on_progress,
    )
    return replan_with(
        problem,
        tour,
        now,
        options,
        done=done,
        position=position,
        in_progress=in_progress,
        keep_next=keep_next,
    )


def replan_with(
    problem: Problem,
    tour: Tour,
    now: Any,
    options: SolveOptions,
    *,
    done: Iterable[int] | None = None,
    position: int | Sequence[Any] | None = None,
    in_progress: int | Sequence[Any] | None = None,
    keep_next: int = 0,
) -> Tour:
    """`replan` with its search options as one record; of its ends only `end` is read (the
    rest of the day starts where the van is)."""
    if not isinstance(problem, Problem):
        raise TypeError(f"problem: expected a Problem, got {type(problem).__name__}")
    if not isinstance(tour, Tour):
        raise TypeError(f"tour: expected a Tour, got {type(tour).__name__}")
    if problem.time_windows is None or problem.duration_matrix is None:
        raise ValueError("problem: a plan from an instant needs time data")
    if tour.schedule is None:
        raise ValueError("tour: a plan from an instant needs the tour's schedule")
    for location in tour.route:
        if location >= problem.size:
            raise ValueError(f"tour: visits {location}, which is not a location of this problem")
    keep = values.integer(keep_next, "keep_next")
    moment = instant(now, "now", problem.timezone)
    if moment > _day_closing(problem):
        raise ValueError(f"now: {now} is after the last window of the day closes")
    first = tour.route[0]
    last = _day_end(problem, tour, options.end)
    finished = _done(problem, tour, moment, done, first)
    if last is not None and last != first and last in finished:
        raise ValueError(f"done: {last} is the end of the day, which comes last")
    # The van may be on its way to the end, which is never done before the day is.
    place = _place(
        problem, tour, moment, finished - {last}, position, in_progress, done is not None
    )
    if place.working is not None:  # a job said to be in progress, which the plan had done
        finished -= {place.location}
    rest = _Rest(problem, tour, moment, finished, place, last, keep)
    solved = solve_with(rest.problem, options.replace(depot=None, **rest.options()))
    return rest.mapped(solved)


def _day_closing(problem: Problem) -> int:
    """When the last window of the day closes."""
    assert problem.time_windows is not None
    return max(window[1] for windows in problem.time_windows for window in windows)


def _day_end(problem: Problem, tour: Tour, end: End | None) -> int | None:
    """The location the rest of the day finishes at (None: open)."""
    given = problem.end if end is None else problem.checked_ends(tour.route[0], end)[1]
    if given == "open":
        return None
    return tour.route[0] if given is None else given


def _done(
    problem: Problem, tour: Tour, now: int, done: Iterable[int] | None, first: int
) -> frozenset[int]:
    if done is None:
        assert tour.schedule is not None
        ended: dict[int, int] = {}
        for event in tour.schedule:
            if event.kind == "work" and event.location is not None:
                ended[event.location] = event.end
        finished = {location for location, end in ended.items() if end <= now}
        return frozenset(finished | {first})
    given = route_of(list(done) if not isinstance(done, (list, tuple)) else done, "done")
    seen: set[int] = set()
    for location in given:
        if location >= problem.size:
            raise ValueError(f"done: {location} is not a location of this problem")
        if location in seen:
            raise ValueError(f"done: {location} is given twice")
        seen.add(location)
    return frozenset(seen | {first})


def _place(
    problem: Problem,
    tour: Tour,
    now: int,
    done: frozenset[int],
    position: int | Sequence[Any] | None,
    in_progress: int | Sequence[Any] | None,
    done_given: bool,
) -> _Place:
    """Where the van is at `now`, from what is given or else from the tour (a job said to be in
    progress is not done, whatever the tour planned)."""
    if in_progress is not None:
        location, remaining = _in_progress(problem, tour, now, in_progress)
        if done_given and location in done:
            raise ValueError(f"in_progress: {location} is also done")
        if position is not None and position != location:
            raise ValueError(
                f"position: the van works at {location}, so it stands there, not at {position}"
            )
        return _Place(location, working=remaining)
    if position is None:
        return _planned_place(tour, now, done)
    if isinstance(position, (list, tuple)):
        return _leg(problem, position, done)
    location = values.integer(position, "position")
    if location >= problem.size:
        raise ValueError(f"position: {location} is not a location of this problem")
    return _Place(location)


def _in_progress(
    problem: Problem, tour: Tour, now: int, given: int | Sequence[Any]
) -> tuple[int, int]:
    if isinstance(given, (list, tuple)):
        if len(given) != 2:
            raise ValueError("in_progress: expected a location or (location, remaining)")
        location = values.integer(given[0], "in_progress[0]")
        remaining: int | None = values.seconds(given[1], "in_progress[1]")
    else:
        location, remaining = values.integer(given, "in_progress"), None
    if location >= problem.size:
        raise ValueError(f"in_progress: {location} is not a location of this problem")
    if remaining is None:
        planned = _planned_work(tour, location, now)
        assert problem.job_durations is not None
        remaining = planned if planned is not None else problem.job_durations[location]
    return location, remaining


def _planned_work(tour: Tour, location: int, now: int) -> int | None:
    """The seconds of work the tour plans at `location` after `now`, where it works there
    across `now`; else None."""
    for span in _spans(tour):
        if span.key == location and span.start <= now < span.end:
            return span.left(now)
    return None


@dataclasses.dataclass
class _Span:
    """The work at one location, or the travel of one leg, from its first part to its last
    (the hours may pause either)."""

    key: int | tuple[int, int]
    parts: list[Event]

    @property
    def start(self) -> int:
        return self.parts[0].start

    @property
    def end(self) -> int:
        return self.parts[-1].end

    def left(self, now: int) -> int:
        return sum(part.end - max(part.start, now) for part in self.parts if part.end > now)


def _spans(tour: Tour) -> list[_Span]:
    spans: list[_Span] = []
    for event in tour.schedule or ():
        if event.kind == "work" and event.location is not None:
            key: int | tuple[int, int] = event.location
        elif event.kind == "travel" and event.from_location is not None:
            assert event.to_location is not None
            key = (event.from_location, event.to_location)
        else:
            continue
        if spans and spans[-1].key == key:
            spans[-1].parts.append(event)
        else:
            spans.append(_Span(key, [event]))
    return spans


def _leg(problem: Problem, position: Sequence[Any], done: frozenset[int]) -> _Place:
    if len(position) != 3:
        raise ValueError("position: expected a location or a leg (from, to, elapsed)")
    origin, target = (values.integer(position[index], f"position[{index}]") for index in range(2))
    elapsed = values.seconds(position[2], "position[2]")
    for location in (origin, target):
        if location >= problem.size:
            raise ValueError(f"position: {location} is not a location of this problem")
    if origin == target:
        raise ValueError(f"position: a leg from {origin} to itself does not exist")
    if target in done:
        raise ValueError(f"position: the van drives to {target}, which is done")
    assert problem.duration_matrix is not None
    length = problem.duration_matrix.at(origin, target)
    if elapsed > length:
        raise ValueError(
            f"position: {elapsed} seconds driven of the leg {origin} > {target}, which takes "
            f"{length}"
        )
    return _Place(origin, towards=target, remaining=length - elapsed)


def _planned_place(tour: Tour, now: int, done: frozenset[int]) -> _Place:
    """Where the tour has the van at `now`: working, driving, or where it came last."""
    here = tour.route[0]
    for span in _spans(tour):
        if span.start > now:
            break
        if isinstance(span.key, tuple):
            origin, target = span.key
            if now < span.end:
                if target in done:
                    raise ValueError(
                        f"position: the tour has the van driving to {target} then, which is "
                        "done; say where it is"
                    )
                return _Place(origin, towards=target, remaining=span.left(now))
            here = target
        else:
            here = span.key
            if now < span.end and here not in done:
                return _Place(here, working=span.left(now))
    return _Place(here)


def _untaken_breaks(problem: Problem, tour: Tour, now: int) -> tuple[Break, ...]:
    """The problem's breaks, less those the tour takes (or has begun) before `now`: each
    skips the dates on which it was taken. A break taken is the one of its day whose window
    opens last before it starts."""
    taken: dict[int, set[dt.date]] = {}
    for event in tour.schedule or ():
        if event.kind != "break" or event.start >= now:
            continue
        moment = local(event.start, problem.timezone)
        day, time = moment.date(), moment.hour * 3600 + moment.minute * 60 + moment.second
        opened = [
            (item.start_between[0], index)
            for index, item in enumerate(problem.breaks)
            if item.applies(day) and item.start_between[0] <= time
        ]
        if opened:
            taken.setdefault(max(opened)[1], set()).add(day)
    return tuple(
        item.skipping(taken[index]) if index in taken else item
        for index, item in enumerate(problem.breaks)
    )


class _Rest:
    """The problem of the rest of the day, its options, and the way back to the day's own
    locations. Location 0 is the van's place; then the stops still to do; then the end."""

    def __init__(
        self,
        problem: Problem,
        tour: Tour,
        now: int,
        done: frozenset[int],
        place: _Place,
        last: int | None,
        keep: int,
    ) -> None:
        self.day, self.tour, self.place, self.now = problem, tour, place, now
        busy = {place.location} if place.working is not None else set()
        todo = [
            location
            for location in range(problem.size)
            if location not in done and location not in busy and location != last
        ]
        # The stop the van goes to first: the leg's end, or where it stands with the job to do.
        forced = place.towards if place.towards is not None else place.location
        # The plan from where the van is on: the stops after its place come next, those before
        # it that are not done yet after them.
        route = list(tour.route)
        at = route.index(forced) if forced in route else 0
        waiting = set(todo)
        planned = [location for location in route[at:] + route[:at] if location in waiting]
        kept = [forced] if forced in todo else []
        for location in planned:
            if len(kept) >= keep:
                break
            if location not in kept:
                kept.append(location)
        if not todo and last is None and place.working is None:
            raise ValueError("done: every stop is done, and the day ends open")
        if len(kept) < keep:
            raise ValueError(f"keep_next: {keep}, but the plan has {len(kept)} stops left to do")
        self.locations: list[int | None] = [None, *todo] + ([last] if last is not None else [])
        self.index = {location: k for k, location in enumerate(self.locations) if k}
        self.pinned = tuple(self.index[location] for location in kept)
        rest = [location for location in planned if location not in kept]
        ordered = set(kept) | set(rest)
        # New jobs follow the plan; optional stops the plan left out stay out of it.
        left_out = {location for location in tour.skipped if not problem.required[location]}
        rest += [location for location in todo if location not in ordered | left_out]
        self.initial = (0, *self.pinned, *(self.index[location] for location in rest))
        if last is not None:
            self.initial += (len(self.locations) - 1,)
        self.returns_to_start = last == tour.route[0]
        self.problem = self._problem(last)

    def options(self) -> dict[str, Any]:
        last = len(self.locations) - 1
        return {
            "start": 0,
            "end": last if self.locations[-1] is not None and last else "open",
            "departure": "earliest",
            "pinned": self.pinned,
            "initial": self.initial,
        }

    def _problem(self, last: int | None) -> Problem:
        day, place = self.day, self.place
        assert day.duration_matrix is not None and day.job_durations is not None
        assert day.time_windows is not None
        real = [location for location in self.locations if location is not None]

        # A row at a time: one tuple a row rather than a lookup an entry.
        distances, durations = (
            [self._van_row(matrix, real)]
            + [[0] + [row[b] for b in real] for row in map(matrix.__getitem__, real)]
            for matrix in (day.distance_matrix, day.duration_matrix)
        )
        jobs = [place.working or 0] + [
            0 if location == last and self.returns_to_start else day.job_durations[location]
            for location in real
        ]
        # The van leaves at `now`; a job in progress there is late as its own windows say
        # (counted from `now` where it is late already), any other stand has the day.
        closing = _day_closing(day)
        van_rule = "whole"
        if place.working is not None and day.window_rule[place.location] == "start":
            van_rule = "start"  # begun already, so never late
        elif place.working is not None:
            closing = day.time_windows[place.location][-1][1]
        windows = [((self.now, max(self.now, closing)),)] + [
            day.time_windows[location] for location in real
        ]
        # Optional stops still to do stay optional, but for those kept next and the end.
        served = set(self.pinned)
        if last is not None:
            served.add(len(self.locations) - 1)
        required = [True] + [
            day.required[location] or k in served for k, location in enumerate(real, start=1)
        ]
        priority = [None] + [
            None if required[k] else day.priority[location]
            for k, location in enumerate(real, start=1)
        ]
        names = None
        if day.names is not None:
            names = [VAN] + [day.names[location] for location in real]
        coordinates = None
        if day.coordinates is not None:
            coordinates = [self._van_point()] + [day.coordinates[x] for x in real]
        return Problem(
            distances,
            durations,
            jobs,
            windows,
            hours=day.hours,
            breaks=_untaken_breaks(day, self.tour, self.now) or None,
            window_rule=[van_rule] + [day.window_rule[location] for location in real],
            clock_changes=day.clock_changes,
            names=names,
            coordinates=coordinates,
            check_units=day.check_units,
            timezone=day.timezone,
            required=required,
            priority=priority,
        )

    def index_of_day(self, location: int) -> int:
        """The day's location of a stop of the rest of the day (not the van's place)."""
        day = self.locations[location]
        assert day is not None
        return day

    def _van_point(self) -> tuple[float, float]:
        """Where the van is drawn: at its place, or along its leg by the share of time driven."""
        assert self.day.coordinates is not None and self.day.duration_matrix is not None
        place, points = self.place, self.day.coordinates
        (x, y) = points[place.location]
        if place.towards is None:
            return x, y
        time = self.day.duration_matrix.at(place.location, place.towards)
        driven = 1 - place.remaining / time if time else 0.0
        (u, v) = points[place.towards]
        return x + (u - x) * driven, y + (v - y) * driven

    def _van_row(self, matrix: Any, real: list[int]) -> list[int]:
        """The van's legs: from where it stands, or along the rest of its leg and on from its
        end (the share of the leg's length left is the share of its time left)."""
        place = self.place
        if place.towards is None:
            return [0] + [matrix.at(place.location, location) for location in real]
        assert self.day.duration_matrix is not None
        time = self.day.duration_matrix.at(place.location, place.towards)
        share = place.remaining / time if time else 1.0
        along = round(matrix.at(place.location, place.towards) * share)
        return [0] + [
            along + (matrix.at(place.towards, location) if location != place.towards else 0)
            for location in real
        ]

    def mapped(self, solved: Tour) -> Tour:
        """`solved`, a tour of the rest of the day, in the day's own locations: the van's place
        is the job in progress where there is one, else it is left out of the route."""
        working = self.place.working is not None
        van = self.place.location if working else None

        def back(location: int | None) -> int | None:
            if location is None:
                return None
            return van if location == 0 else self.locations[location]

        route = tuple(
            location for location in (back(k) for k in solved.route) if location is not None
        )
        events = []
        for event in solved.schedule or ():
            if event.kind == "work" and event.location == 0 and not working:
                continue
            events.append(
                dataclasses.replace(
                    event,
                    location=back(event.location),
                    from_location=back(event.from_location),
                    to_location=back(event.to_location),
                )
            )
        # The van's place is required, so every location skipped is one of the day's.
        skipped = sorted(
            (self.index_of_day(k), value)
            for k, value in zip(solved.skipped, solved.skipped_classes)
        )
        return dataclasses.replace(
            solved,
            route=route,
            schedule=tuple(events),
            returns=False,
            names=self.day.names,
            skipped=tuple(location for location, _ in skipped),
            skipped_classes=tuple(value for _, value in skipped),
        )
