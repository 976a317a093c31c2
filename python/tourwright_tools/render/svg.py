"""Pictures of a solved tour: a timeline with one labelled row per stop, and a map of the tour.

Every text is drawn at a readable size whatever the number of stops: a long tour makes a taller
timeline, and the map leaves out the labels it has no room for rather than stacking them.
"""

from __future__ import annotations

import math
from collections.abc import Callable
from typing import NamedTuple

from ..model.problem import Problem
from ..units.timetext import TimeText
from . import mercator
from .itinerary import Itinerary, Stop, TakenBreak, counted, summary
from .markup import element, escape
from .shapes import DrawnTour, ScheduledEvent

COLOURS = {
    "work": "#2f6fb5",
    "late": "#d23c3c",
    "travel": "#f0a030",
    "wait": "#bfbfbf",
    "break": "#8a5cc2",
    "window": "#d8efd2",
    "start window": "#cfe6f2",
    "closed": "#5a5a5a",
    "text": "#222222",
    "grid": "#dddddd",
    "stripe": "#f4f4f4",
    "start": "#1b8a3c",
    "end": "#222222",
    "leg": "#777777",
    "muted": "#666666",
    "skipped": "#9a9a9a",
}
FONT = 11  # every label of a row or a stop: never smaller
# Widths of characters in font sizes, a little above those of DejaVu Sans, so that an estimate
# of a text's width is never short: narrow ones, wide ones, and the rest (wider still outside
# Latin script).
NARROW = dict.fromkeys(" .,:;'!|iljI", 0.33) | dict.fromkeys("ftr()[]-", 0.43)
WIDE = dict.fromkeys("mwMW", 1.0) | dict.fromkeys("ABCDEFGHJKLNOPQRSTUVXYZ%&@", 0.78)
MARGIN, GAP = 16, 24
ROW_MIN, ROW_MAX = 18, 30
LABEL_WIDTH, PLOT_MIN = 270, 700
AXIS = 22  # a band of time labels, repeated every AXIS_EVERY rows
AXIS_EVERY = 40
MARK_MIN = 3  # the narrowest mark of work, so that short and zero-length jobs show
SUMMARY_WIDTH = 330
CLOSED_OPACITY = 0.16  # a closed day is shaded over the rows, whose bars show through


class Part(NamedTuple):
    """A piece of a picture: SVG markup drawn from (0, 0), and its size."""

    body: str
    width: float
    height: float

    def svg(self, **attributes: object) -> str:
        """The part as an <svg> element of its own."""
        size = {
            "width": f"{self.width:g}",
            "height": f"{self.height:g}",
            "viewBox": f"0 0 {self.width:g} {self.height:g}",
        }
        font = {"font-family": "DejaVu Sans, Arial, sans-serif", "font-size": FONT}
        return element("svg", {**size, **attributes, **font}, self.body)

    def at(self, x: float, y: float) -> str:
        return element("g", {"transform": f"translate({x:g},{y:g})"}, self.body)


def schedule_svg(tour: DrawnTour, problem: Problem, title: str = "") -> str:
    """An SVG document: a summary, a map of the tour when the problem has coordinates, and a
    timeline with one row per stop in visiting order (work, travel, wait and breaks in their
    colours, late work in red and marked "late h:mm", each location's windows shaded behind,
    the days the hours do not open shaded over all rows)."""
    if tour.schedule is None and problem.coordinates is None and problem.places is None:
        raise ValueError(
            "nothing to draw: the tour has no schedule and the problem no coordinates or places"
        )
    itinerary = Itinerary.of(tour, problem)
    map_ = problem_map(itinerary, problem)
    facts = summary_part(summary(tour, itinerary), 1 if map_ else 2)
    band_width = facts.width + (map_.width + GAP if map_ else 0)
    width = MARGIN * 2 + max(band_width, LABEL_WIDTH + PLOT_MIN if tour.schedule else 0)
    band_top = 44
    body = [_text(MARGIN, 24, title or default_title(tour, itinerary), size=15, weight="bold")]
    if map_:
        body.append(map_.at(MARGIN, band_top))
    body.append(facts.at(MARGIN + (map_.width + GAP if map_ else 0), band_top))
    height = band_top + max(facts.height, map_.height if map_ else 0) + MARGIN
    if tour.schedule:
        timeline = timeline_part(itinerary, width - 2 * MARGIN - LABEL_WIDTH)
        body.append(timeline.at(MARGIN, height))
        height += timeline.height + MARGIN
    background = element("rect", {"width": width, "height": height, "fill": "white"})
    document = Part("\n".join([background] + body), width, height)
    return (
        '<?xml version="1.0" encoding="UTF-8"?>\n'
        + document.svg(xmlns="http://www.w3.org/2000/svg")
        + "\n"
    )


def default_title(tour: DrawnTour, itinerary: Itinerary) -> str:
    words = [counted(len(itinerary.stops), "stop"), f"distance {tour.distance}"]
    if tour.lateness is not None:
        words.append(f"lateness {itinerary.text.length(tour.lateness)}")
    return "Tour: " + ", ".join(words)


def summary_part(rows: list[tuple[str, str]], columns: int = 1) -> Part:
    """The figures of the tour, labelled, in one column or several side by side."""
    per_column = -(-len(rows) // columns)
    lines = []
    for index, (label, value) in enumerate(rows):
        x, y = SUMMARY_WIDTH * (index // per_column), 14 + 18 * (index % per_column)
        lines.append(_text(x, y, f"{label}:", fill=COLOURS["muted"]) + _text(x + 86, y, value))
    return Part("\n".join(lines), SUMMARY_WIDTH * columns, 18 * per_column + 4)


def timeline_part(itinerary: Itinerary, plot_width: float) -> Part:
    """The legend, then one row per stop (and one for the return to the start, when the tour
    has it) on a common time axis whose labels repeat every AXIS_EVERY rows, the closed days
    shaded over them."""
    stops, text = itinerary.stops, itinerary.text
    events = itinerary.rows
    first = min((event.start for event, _ in events), default=0)
    last = max([first + 1, itinerary.end_time or first] + [event.end for event, _ in events])
    count = len(stops) + itinerary.returns
    row_height = max(ROW_MIN, min(ROW_MAX, 540 // count))
    top = 24 + AXIS

    def x(instant: int) -> float:
        return LABEL_WIDTH + (min(max(instant, first), last) - first) * plot_width / (last - first)

    def y(row: int) -> float:
        return top + row * row_height + (row // AXIS_EVERY) * AXIS

    bottom, plot_right = y(count - 1) + row_height, LABEL_WIDTH + plot_width
    body = [_legend(itinerary)]
    ticks = text.ticks(first, last)
    body += [
        element(
            "line", {"x1": x(at), "y1": top, "x2": x(at), "y2": bottom, "stroke": COLOURS["grid"]}
        )
        for at, _ in ticks
    ]
    bands = [top - AXIS + 2] + [y(row) - AXIS + 2 for row in range(AXIS_EVERY, count, AXIS_EVERY)]
    caption = f"{text.zone_name}, {text.day(first)}" if text.dated else "time"
    for band in bands + ([bottom + 2] if count > AXIS_EVERY // 2 else []):
        body.append(
            element(
                "rect",
                {"x": 0, "y": band, "width": plot_right, "height": AXIS - 4, "fill": "white"},
            )
        )
        body.append(_text(0, band + 14, caption, size=10, fill=COLOURS["muted"]))
        body += [_text(x(at), band + 14, label, anchor="middle", size=10) for at, label in ticks]
    by_row: dict[int, list[ScheduledEvent]] = {}
    for event, row in events:
        if event.kind != "break":  # drawn from `itinerary.breaks`, which say where
            by_row.setdefault(row, []).append(event)
    breaks_by_row: dict[int, list[TakenBreak]] = {}
    for taken in itinerary.breaks:
        breaks_by_row.setdefault(taken.row, []).append(taken)
    for stop in stops:
        ends_here = not itinerary.returns and stop.index == itinerary.end and itinerary.late_end > 0
        body.append(
            _row(
                stop,
                stop.label,
                stop.arrival,
                by_row.get(stop.index, []),
                breaks_by_row.get(stop.index, []),
                y(stop.index),
                row_height,
                x,
                plot_right,
                text,
                "end" if ends_here else None,
                itinerary.late_end if ends_here else 0,
            )
        )
    if itinerary.returns:
        start = stops[0]
        body.append(
            _row(
                start,
                f"{start.label} (return)",
                itinerary.end_time,
                [],
                [],
                y(count - 1),
                row_height,
                x,
                plot_right,
                text,
                "return",
                itinerary.late_end,
            )
        )
    body += [_closed_day(start, end, x, top, bottom, text) for start, end in itinerary.closed_days]
    return Part("\n".join(body), plot_right, bottom + (AXIS if count > AXIS_EVERY // 2 else 0) + 4)


def _closed_day(
    start: int, end: int, x: Callable[[int], float], top: float, bottom: float, text: TimeText
) -> str:
    """A day the hours do not open, shaded over every row (letting the rows take the pointer),
    and named at its top where the name fits."""
    left, right = x(start), x(end)
    shade = element(
        "rect",
        {
            "class": "closed",
            "x": left,
            "y": top,
            "width": max(right - left, 1),
            "height": bottom - top,
            "fill": COLOURS["closed"],
            "fill-opacity": CLOSED_OPACITY,
            "pointer-events": "none",
        },
    )
    day = text.local(start)
    label = f"{day:%a} closed"
    if right - left < _width(label, 10) + 4:  # a day too narrow on a long tour: shaded only
        return shade
    return shade + _text(
        (left + right) / 2,
        top + 12,
        label,
        anchor="middle",
        size=10,
        halo=True,
        tip=f"closed all day: {day:%a} {text.day(start)}",
    )


def _row(
    stop: Stop,
    label: str,
    arrival: int | None,
    events: list[ScheduledEvent],
    breaks: list[TakenBreak],
    top: float,
    height: float,
    x: Callable[[int], float],
    right: float,
    text: TimeText,
    end: str | None,
    late_end: int,
) -> str:
    """One row: number, label and arrival on the left; windows, the events, the breaks and the
    marks of lateness on the axis; `end` ("end", "return") marks the tour's end at `arrival`
    here, and `late_end` is how late that end is."""
    parts = [
        element(
            "rect",
            {
                "class": "bg",
                "x": 0,
                "y": top,
                "width": right,
                "height": height,
                "fill": COLOURS["stripe"] if stop.index % 2 else "white",
            },
        )
    ]
    for start, finish in stop.windows:
        if x(finish) > x(start) or start == finish:
            parts.append(_window(start, finish, stop.start_only, x, top, height, text))
    middle = top + height / 2 + FONT / 3
    arrival_text = text.at(arrival) if arrival is not None else ""
    room = LABEL_WIDTH - 38 - 12 - _width(arrival_text) - 6
    parts += [
        _text(30, middle, str(stop.number), anchor="end", weight="bold"),
        _text(38, middle, _shorten(label, room)),
        _text(LABEL_WIDTH - 12, middle, arrival_text, anchor="end", fill=COLOURS["muted"]),
    ]
    bar = max(8, height - 8)
    bar_top = top + (height - bar) / 2
    last_work = max((i for i, event in enumerate(events) if event.kind == "work"), default=-1)
    labels = []  # drawn over every bar of the row
    for index, event in enumerate(events):
        late = stop.late if index == last_work else 0
        why = stop.late_because
        parts.append(
            _event(event.kind, event.start, event.end, x, right, bar_top, bar, late, text, why)
        )
        if late:
            labels.append(_late_label(x(event.start), x(event.end), middle, late, right, text))
    for taken in breaks:
        parts.append(
            _event(
                "break", taken.start, taken.end, x, right, bar_top, bar, 0, text, where=taken.place
            )
        )
    if end is not None and arrival is not None:
        kind = "late" if late_end else "end"
        width = MARK_MIN + 1 if late_end else MARK_MIN
        parts.append(
            element(
                "rect",
                {
                    "class": f"event {end}" + (" late" if late_end else ""),
                    "x": min(x(arrival), right - width),
                    "y": bar_top,
                    "width": width,
                    "height": bar,
                    "fill": COLOURS[kind],
                },
                _title(
                    f"{end} at {text.at(arrival, seconds=True)}"
                    + (f", late {text.length(late_end)}" if late_end else "")
                ),
            )
        )
        if late_end:
            labels.append(_late_label(x(arrival), x(arrival), middle, late_end, right, text))
    return element("g", {"class": "row", "data-stop": stop.index}, "".join(parts + labels))


def _window(
    start: int,
    finish: int,
    start_only: bool,
    x: Callable[[int], float],
    top: float,
    height: float,
    text: TimeText,
) -> str:
    """A window shaded behind the row; one that binds only the start in its own colour, its
    end dashed (the work may run past it) and its title saying so."""
    shade = {
        "x": x(start),
        "y": top + 1,
        "width": max(x(finish) - x(start), 1),
        "height": height - 2,
    }
    if not start_only:
        return element("rect", {"class": "window", **shade, "fill": COLOURS["window"]})
    tip = f"the work starts within {text.at(start)}\u2013{text.at(finish)} and may run past it"
    edge = {"x1": x(finish), "y1": top + 1, "x2": x(finish), "y2": top + height - 1}
    return element(
        "rect", {"class": "window start", **shade, "fill": COLOURS["start window"]}, _title(tip)
    ) + element(
        "line",
        {**edge, "class": "window-end", "stroke": "#4b8db0", "stroke-dasharray": "3 2"},
    )


def _event(
    kind: str,
    start: int,
    end: int,
    x: Callable[[int], float],
    right: float,
    top: float,
    height: float,
    late: int,
    text: TimeText,
    why: str | None = None,
    where: str | None = None,
) -> str:
    """A bar from `start` to `end` in the colour of its `kind`, work at least MARK_MIN wide
    (kept inside the plot), a late one in red, its title saying `why` and `where` it was."""
    left, width = x(start), x(end) - x(start)
    least = (MARK_MIN + 1 if late else MARK_MIN) if kind == "work" else 1
    thin = width < least
    what = kind
    if late:
        what += f", late {text.length(late)}" + (f" ({why})" if why else "")
    classes = f"event {kind}" + (" late" if late else "") + ("" if end > start else " zero")
    return element(
        "rect",
        {
            "class": classes,
            "x": min(left, right - least) if thin else left,
            "y": top,
            "width": max(width, least),
            "height": height,
            "fill": COLOURS["late" if late else kind],
            # An outline sets a thin mark of work apart from the travel beside it.
            "stroke": "#123a66" if thin and kind == "work" and not late else None,
            "stroke-width": 0.6 if thin and kind == "work" and not late else None,
        },
        _title(
            f"{what}: {text.at(start, seconds=True)} to {text.at(end, seconds=True)} "
            f"({text.length(end - start)})" + (f", {where}" if where else "")
        ),
    )


def _late_label(
    left: float, right: float, middle: float, late: int, edge: float, text: TimeText
) -> str:
    """ "late h:mm" after the mark, or before it when the plot ends too soon."""
    label = f"late {text.short_length(late)}"
    fits = right + 5 + _width(label, bold=True) <= edge
    return _text(
        right + 5 if fits else left - 5,
        middle,
        label,
        anchor="start" if fits else "end",
        weight="bold",
        fill=COLOURS["late"],
        halo=True,
    )


def _legend(itinerary: Itinerary) -> str:
    """The colours, those of breaks, start windows and closed days where the tour has them."""
    entries = [
        ("work", "work"),
        ("late", "late work"),
        ("travel", "travel"),
        ("wait", "wait"),
        ("window", "time window"),
    ]
    entries += [("break", "break")] if itinerary.breaks else []
    if any(stop.start_only for stop in itinerary.stops):
        entries.append(("start window", "window for the start only"))
    entries += [("closed", "closed day")] if itinerary.closed_days else []
    parts, x = [], 0.0
    for key, label in entries:
        parts.append(
            element(
                "rect",
                {
                    "class": "legend",
                    "x": x,
                    "y": 4,
                    "width": 14,
                    "height": 12,
                    "fill": COLOURS[key],
                    "fill-opacity": CLOSED_OPACITY if key == "closed" else None,
                },
            )
        )
        parts.append(_text(x + 19, 14, label))
        x += 30 + _width(label)
    return "".join(parts)


class _Box(NamedTuple):
    left: float
    top: float
    right: float
    bottom: float

    def overlaps(self, other: _Box) -> bool:
        return (
            self.left < other.right
            and other.left < self.right
            and self.top < other.bottom
            and other.top < self.bottom
        )


class _Room:
    """The boxes taken on a map, hashed by cell, so that a label can be checked for overlaps
    against its neighbours only."""

    CELL = 32

    def __init__(self, bounds: _Box) -> None:
        self.bounds = bounds
        self.cells: dict[tuple[int, int], list[_Box]] = {}

    def _cells(self, box: _Box) -> list[tuple[int, int]]:
        c = self.CELL
        return [
            (i, j)
            for i in range(int(box.left // c), int(box.right // c) + 1)
            for j in range(int(box.top // c), int(box.bottom // c) + 1)
        ]

    def inside(self, box: _Box) -> bool:
        b = self.bounds
        return (
            b.left <= box.left
            and box.right <= b.right
            and b.top <= box.top
            and box.bottom <= b.bottom
        )

    def free(self, box: _Box) -> bool:
        return self.inside(box) and not any(
            box.overlaps(other) for cell in self._cells(box) for other in self.cells.get(cell, ())
        )

    def take(self, box: _Box) -> None:
        for cell in self._cells(box):
            self.cells.setdefault(cell, []).append(box)


def problem_map(itinerary: Itinerary, problem: Problem, least: int = 320) -> Part | None:
    """The map of the tour: of the problem's places in Web Mercator, with a scale in metres or
    kilometres, else of its coordinates; None when it has neither."""
    if problem.places is not None:
        points = mercator.project(problem.places)
        return map_part(itinerary, points, least, metres_per_unit=mercator.metres_per_unit(points))
    return None if problem.coordinates is None else map_part(itinerary, problem.coordinates, least)


def map_part(
    itinerary: Itinerary,
    coordinates: tuple[tuple[float, float], ...],
    least: int = 320,
    *,
    metres_per_unit: float | None = None,
) -> Part:
    """The tour on a map, y upwards, at least `least` pixels wide or high: legs with an arrow at
    their middle, each stop labelled with its number and name (else id) where there is room,
    the start and the end marked, and a scale below it: in the coordinates' units, or in metres
    or kilometres where `metres_per_unit` says how many a unit of the coordinates holds."""
    stops = itinerary.stops
    size = max(least, min(860, round(36 * math.sqrt(len(stops)))))
    caption, pad = 20, 26
    # The places left out are drawn too, apart from the route: the frame holds them.
    places = [stop.location for stop in stops] + [place.location for place in itinerary.skipped]
    xs = [coordinates[location][0] for location in places]
    ys = [coordinates[location][1] for location in places]
    span = max(max(xs) - min(xs), max(ys) - min(ys)) or 1.0
    scale = (size - 2 * pad) / span
    # The frame fits the points: a wide tour gets a low map.
    width = max(200.0, (max(xs) - min(xs)) * scale + 2 * pad)
    height = max(160.0, (max(ys) - min(ys)) * scale + 2 * pad)
    left = (width - (max(xs) - min(xs)) * scale) / 2
    top = caption + (height - (max(ys) - min(ys)) * scale) / 2
    points = [
        (left + (px - min(xs)) * scale, top + (max(ys) - py) * scale) for px, py in zip(xs, ys)
    ]
    room = _Room(_Box(2, caption + 2, width - 2, caption + height - 2))
    body = [
        element(
            "rect",
            {
                "x": 0,
                "y": caption,
                "width": width,
                "height": height,
                "fill": "white",
                "stroke": COLOURS["grid"],
            },
        )
    ]
    for here, there in itinerary.legs:
        body.append(
            _leg(
                points[here],
                points[there],
                room,
                returning=itinerary.returns and (here, there) == itinerary.legs[-1],
            )
        )
    for stop, (px, py) in zip(stops, points):
        reach = 8 if _role(stop, itinerary) else 6
        room.take(_Box(px - reach, py - reach, px + reach, py + reach))
    for place, (px, py) in zip(itinerary.skipped, points[len(stops) :]):
        room.take(_Box(px - 6, py - 6, px + 6, py + 6))
        tip = _title(f"{place.label}: skipped (class {place.priority})")
        body.append(_skipped_mark(px, py, tip))
    marks = {stop.index: _stop_mark(stop, itinerary, points[stop.index]) for stop in stops}
    thinned = 0
    # The start and the end are labelled first, then late stops, then the rest in order.
    for stop in sorted(stops, key=lambda s: (not _role(s, itinerary), not s.late, s.index)):
        label = _place_label(stop, itinerary, points[stop.index], room)
        thinned += label is None
        marks[stop.index] += label or ""
    body += [
        element("g", {"class": "stop", "data-stop": index}, marks[index]) for index in sorted(marks)
    ]
    # The places left out are named in grey where room is left beside them.
    for place, (px, py) in zip(itinerary.skipped, points[len(stops) :]):
        content = _shorten(place.label, 120)
        across, up = _width(content), (FONT + 1) / 2
        for x in (px + 7, px - 7 - across):
            box = _Box(x, py - up, x + across, py + up)
            if room.free(box):
                room.take(box)
                body.append(_text(x, py + up - 2.5, content, fill=COLOURS["muted"], halo=True))
                break
    length, pixels = _scale(span, scale, metres_per_unit or 1.0)
    base = caption + height + 14
    body.append(
        element(
            "path",
            {
                "class": "scale",
                "d": f"M0,{base - 5:g}v5h{pixels:.1f}v-5",
                "fill": "none",
                "stroke": COLOURS["text"],
            },
        )
    )
    body.append(
        _text(
            pixels + 6,
            base,
            f"{length:g} (in the coordinates' units)"
            if metres_per_unit is None
            else mercator.length_text(length),
            size=10,
            fill=COLOURS["muted"],
        )
    )
    note = "Map: stops numbered in visiting order" + (
        f", {thinned} labels left out for room" if thinned else ""
    )
    body.insert(0, _text(0, 13, note, size=10, fill=COLOURS["muted"]))
    if itinerary.skipped:  # the legend of the hollow marks
        x = _width(note, 10) + 14
        label = f"skipped ({len(itinerary.skipped)})"
        body.insert(
            1, _skipped_mark(x, 9, None) + _text(x + 8, 13, label, size=10, fill=COLOURS["muted"])
        )
    return Part("\n".join(body), width, base + 4)


def _skipped_mark(x: float, y: float, tip: str | None) -> str:
    """A hollow grey ring: a place the tour leaves out."""
    return element(
        "circle",
        {
            "class": "skipped",
            "cx": x,
            "cy": y,
            "r": 4,
            "fill": "white",
            "stroke": COLOURS["skipped"],
            "stroke-width": 1.5,
        },
        tip,
    )


def _leg(start: tuple[float, float], end: tuple[float, float], room: _Room, returning: bool) -> str:
    (x1, y1), (x2, y2) = start, end
    line = element(
        "line",
        {
            "class": "leg return" if returning else "leg",
            "x1": x1,
            "y1": y1,
            "x2": x2,
            "y2": y2,
            "stroke": COLOURS["leg"],
            "stroke-width": 1.2,
            "stroke-dasharray": "5 3" if returning else None,
        },
    )
    length = math.hypot(x2 - x1, y2 - y1)
    if length < 20:
        return line
    # An arrowhead at the middle of the leg, clear of the stops' labels.
    mx, my, ux, uy = (x1 + x2) / 2, (y1 + y2) / 2, (x2 - x1) / length, (y2 - y1) / length
    tip, back = (mx + 4 * ux, my + 4 * uy), (mx - 4 * ux, my - 4 * uy)
    head = (
        f"M{tip[0]:.1f},{tip[1]:.1f}L{back[0] - 3.5 * uy:.1f},{back[1] + 3.5 * ux:.1f}"
        f"L{back[0] + 3.5 * uy:.1f},{back[1] - 3.5 * ux:.1f}z"
    )
    room.take(_Box(mx - 5, my - 5, mx + 5, my + 5))
    return line + element("path", {"class": "arrow", "d": head, "fill": COLOURS["leg"]})


def _stop_mark(stop: Stop, itinerary: Itinerary, point: tuple[float, float]) -> str:
    px, py = point
    role = _role(stop, itinerary)
    fill = COLOURS["late"] if stop.late else COLOURS["work"]
    tip = _title(
        f"{stop.number}. {stop.label}"
        + (f" ({role})" if role else "")
        + (f", late {itinerary.text.length(stop.late)}" if stop.late else "")
    )
    if role:
        colour = COLOURS["start"] if stop.index == 0 else COLOURS["end"]
        return element(
            "rect",
            {
                "x": px - 6,
                "y": py - 6,
                "width": 12,
                "height": 12,
                "fill": fill,
                "stroke": colour,
                "stroke-width": 2.5,
            },
            tip,
        )
    return element("circle", {"cx": px, "cy": py, "r": 4, "fill": fill, "stroke": "white"}, tip)


def _role(stop: Stop, itinerary: Itinerary) -> str:
    if len(itinerary.stops) == 1 or (stop.index == 0 and itinerary.end == 0):
        return "start, end"
    return "start" if stop.index == 0 else "end" if stop.index == itinerary.end else ""


def _place_label(
    stop: Stop, itinerary: Itinerary, point: tuple[float, float], room: _Room
) -> str | None:
    """The label of a stop at the first free place around it, nearest first: its number and
    name, else its number alone; None when neither fits."""
    role = _role(stop, itinerary)
    texts = [
        f"{stop.number} {_shorten(stop.label, 120)}" + (f" ({role})" if role else ""),
        f"{stop.number} ({role})" if role else str(stop.number),
    ]
    px, py = point
    height = FONT + 1
    colour = COLOURS["late"] if stop.late else COLOURS["text"]
    # The start and the end may sit further from their mark than other stops' labels, and
    # are labelled even where a crowd leaves no free place (over the dots, on a white halo).
    distances = (10, 17, 26) if role else (7,)
    for content in texts:
        width = _width(content, bold=bool(role))
        for d in distances:
            near, above, below = d - 2, py - d + 2 - height, py + d - 2
            for left, top in (
                (px + d, py - height / 2),
                (px - d - width, py - height / 2),
                (px - width / 2, py - d - height),
                (px - width / 2, py + d),
                (px + near, above),
                (px + near, below),
                (px - near - width, above),
                (px - near - width, below),
            ):
                box = _Box(left, top, left + width, top + height)
                if room.free(box) or (role and content == texts[-1] and room.inside(box)):
                    room.take(box)
                    return _text(
                        left,
                        top + height - 2.5,
                        content,
                        fill=colour,
                        halo=True,
                        weight="bold" if role else "normal",
                    )
    return None


def _scale(span: float, scale: float, ground: float) -> tuple[float, float]:
    """A round length of about a fifth of the map (1, 2 or 5 times a power of ten) in units
    on the ground, `ground` of them to a unit of the map, and its pixels."""
    target = span * ground / 5
    power = 10 ** math.floor(math.log10(target))
    length = max(step * power for step in (1, 2, 5) if step * power <= target)
    return length, length / ground * scale


def _title(content: str) -> str:
    return f"<title>{escape(content)}</title>"


def _width(content: str, size: float = FONT, bold: bool = False) -> float:
    em = sum(NARROW.get(c) or WIDE.get(c) or (0.66 if c < "\u0250" else 1.0) for c in content)
    return em * size * (1.1 if bold else 1.0)


def _shorten(content: str, room: float, size: float = FONT) -> str:
    """`content`, cut with an ellipsis to fit `room` pixels."""
    if _width(content, size) <= room:
        return content
    content = content[: int(room / (0.33 * size)) + 1]  # no more than the narrowest could fit
    while len(content) > 3 and _width(content + "…", size) > room:
        content = content[:-1]
    return content + "…"


def _text(
    x: float,
    y: float,
    content: str,
    anchor: str = "start",
    size: float = FONT,
    weight: str = "normal",
    fill: str = COLOURS["text"],
    halo: bool = False,
    tip: str | None = None,
) -> str:
    """A text, with the tooltip `tip` where given."""
    return element(
        "text",
        {
            "x": x,
            "y": y,
            "text-anchor": None if anchor == "start" else anchor,
            "font-size": None if size == FONT else size,
            "font-weight": None if weight == "normal" else weight,
            "fill": fill,
            "stroke": "white" if halo else None,
            "stroke-width": 3 if halo else None,
            "paint-order": "stroke" if halo else None,
        },
        escape(content) + ("" if tip is None else _title(tip)),
    )
