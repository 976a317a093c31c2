"""A picture of a solved tour: an SVG timeline of its schedule and, with coordinates, a map."""
from __future__ import annotations

import datetime as dt
from typing import Optional
from xml.sax.saxutils import escape, quoteattr

from .local_time import local
from .problem import Problem
from .tour import Event, Tour
from .values import format_instant, format_length, looks_dated

COLOURS = {"work": "#2f6fb5", "late": "#d23c3c", "travel": "#f0a030", "wait": "#bfbfbf",
           "window": "#d8efd2", "text": "#222222", "grid": "#dddddd", "stripe": "#f6f6f6"}
MARGIN, LABEL_WIDTH, PLOT_WIDTH, HEADER, AXIS, MAP_SIZE = 16, 150, 660, 64, 28, 380
DATED_STEPS = (60, 300, 600, 900, 1800, 3600, 7200, 10800, 21600, 43200, 86400, 172800, 604800)


def schedule_svg(tour: Tour, problem: Problem, title: str = "") -> str:
    """An SVG document: one row per stop in visiting order on a common time axis (work,
    travel and wait in their colours, late work in red, each location's windows shaded
    behind), and a map of the tour beside it when the problem has coordinates."""
    if tour.schedule is None and problem.coordinates is None:
        raise ValueError("nothing to draw: the tour has no schedule and the problem no coordinates")
    if len(tour.route) != problem.size:
        raise ValueError(f"the tour visits {len(tour.route)} locations, the problem has {problem.size}")
    parts: list[str] = []
    late = _late_locations(tour, problem)
    width, height = MARGIN, HEADER + MARGIN
    if tour.schedule is not None:
        timeline_height = _timeline(parts, tour, tour.schedule, problem, late)
        width += LABEL_WIDTH + PLOT_WIDTH + MARGIN
        height = max(height, HEADER + timeline_height + MARGIN)
    if problem.coordinates is not None:
        _map(parts, width + MARGIN, HEADER + AXIS, tour, problem.coordinates, problem, late)
        width += MAP_SIZE + 2 * MARGIN
        height = max(height, HEADER + AXIS + MAP_SIZE + MARGIN)
    head = [
        f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}" '
        f'viewBox="0 0 {width} {height}" font-family="DejaVu Sans, Arial, sans-serif" font-size="12">',
        f'<rect width="{width}" height="{height}" fill="white"/>',
        _text(MARGIN, 22, title or _default_title(tour, problem), size=15, weight="bold"),
    ]
    _legend(head, MARGIN, 42, tour.schedule is not None)
    return "\n".join(head + parts + ["</svg>", ""])


def _default_title(tour: Tour, problem: Problem) -> str:
    words = [f"{problem.size} locations", f"distance {tour.distance}"]
    if tour.lateness is not None:
        dated = tour.start_time is not None and looks_dated(tour.start_time)
        words.append(f"lateness {format_length(tour.lateness, dated)}")
    return "Tour: " + ", ".join(words)


def _late_locations(tour: Tour, problem: Problem) -> dict[int, int]:
    """Location → how late its job ended, for the jobs that ended after their last window."""
    if tour.schedule is None or problem.time_windows is None:
        return {}
    finished: dict[int, int] = {}
    for event in tour.schedule:
        if event.kind == "work" and event.location is not None:
            finished[event.location] = event.end
    return {location: end - problem.time_windows[location][-1][1] for location, end in finished.items()
            if end > problem.time_windows[location][-1][1]}


def _timeline(parts: list[str], tour: Tour, schedule: tuple[Event, ...], problem: Problem,
              late: dict[int, int]) -> int:
    """Draws the timeline below the header; returns its height."""
    route = tour.route
    first = tour.start_time if tour.start_time is not None else 0
    last = max(tour.end_time if tour.end_time is not None else first, first + 1)
    dated = looks_dated(first)
    left, top = MARGIN + LABEL_WIDTH, HEADER + AXIS
    row_height = max(6, min(22, 640 // max(1, len(route))))

    def x(instant: int) -> float:
        return left + (min(max(instant, first), last) - first) * PLOT_WIDTH / (last - first)

    height = AXIS + row_height * len(route)
    for step_at in _ticks(first, last, dated):
        parts.append(f'<line x1="{x(step_at):.1f}" y1="{top - 4}" x2="{x(step_at):.1f}" '
                     f'y2="{top + row_height * len(route)}" stroke="{COLOURS["grid"]}"/>')
        label = _tick_label(step_at, dated, last - first, tour.zone)
        parts.append(_text(x(step_at), top - 8, label, anchor="middle", size=10))
    zone = "UTC" if tour.timezone is None else tour.timezone
    caption = f"{zone}, {local(first, tour.zone):%Y-%m-%d}" if dated else "time"
    parts.append(_text(MARGIN, top - 8, caption, size=10))
    position = {location: index for index, location in enumerate(route)}
    label_size = min(12, row_height - 2)
    for index, location in enumerate(route):
        y_row = top + index * row_height
        if index % 2:
            parts.append(f'<rect x="{MARGIN}" y="{y_row}" width="{LABEL_WIDTH + PLOT_WIDTH}" '
                         f'height="{row_height}" fill="{COLOURS["stripe"]}"/>')
        for start, end in problem.time_windows[location] if problem.time_windows else ():
            if end >= first and start <= last:
                parts.append(f'<rect class="window" x="{x(start):.1f}" y="{y_row + 1}" '
                             f'width="{max(x(end) - x(start), 1):.1f}" height="{row_height - 2}" '
                             f'fill="{COLOURS["window"]}"/>')
        if label_size >= 6:
            parts.append(_text(left - 6, y_row + row_height / 2 + label_size / 3,
                               _shorten(problem.name(location)), anchor="end", size=label_size))
    rows = _rows(schedule, position, len(route))
    bar = max(2, row_height - 8)
    row_end = {row: x(event.end) for event, row in zip(schedule, rows)}
    for event, row in zip(schedule, rows):
        y: float = top + row * row_height + (row_height - bar) / 2
        is_late = event.kind == "work" and event.location in late
        colour = COLOURS["late" if is_late else event.kind]
        start_x, end_x = x(event.start), x(event.end)
        parts.append(
            f'<rect class="event {event.kind}{" late" if is_late else ""}" x="{start_x:.1f}" y="{y:.1f}" '
            f'width="{max(end_x - start_x, 1.5):.1f}" height="{bar}" fill="{colour}">'
            f"<title>{escape(_describe(event, problem, dated, tour.zone))}</title></rect>"
        )
        if is_late and event.location is not None and label_size >= 6:
            parts.append(_text(row_end[row] + 4, y + bar / 2 + label_size / 3,
                               f"late {format_length(late[event.location], dated)}",
                               size=label_size, fill=COLOURS["late"]))
    return height


def _rows(schedule: tuple[Event, ...], position: dict[int, int], count: int) -> list[int]:
    """The row of each event: work at its location, travel at the location it leaves, a wait
    at the row of the action it waits for."""
    rows: list[Optional[int]] = []
    for event in schedule:
        if event.kind == "work" and event.location is not None:
            rows.append(position[event.location])
        elif event.kind == "travel" and event.from_location is not None:
            rows.append(position[event.from_location])
        else:
            rows.append(None)
    following = count - 1
    for index in range(len(rows) - 1, -1, -1):
        row = rows[index]
        if row is None:
            rows[index] = following
        else:
            following = row
    return [row if row is not None else count - 1 for row in rows]


def _ticks(first: int, last: int, dated: bool) -> list[int]:
    span = last - first
    if dated:
        week = DATED_STEPS[-1]
        step = next((s for s in DATED_STEPS if span / s <= 10), week * (span // (10 * week) + 1))
    else:
        step = 1
        while span / step > 10:
            step = step * 5 // 2 if str(step).startswith("2") else step * 2
    start = -(-first // step) * step
    return list(range(start, last + 1, step))


def _tick_label(instant: int, dated: bool, span: int, zone: Optional[dt.tzinfo]) -> str:
    if not dated:
        return str(instant)
    moment = local(instant, zone)
    return f"{moment:%m-%d %H:%M}" if span > 86400 else f"{moment:%H:%M}"


def _describe(event: Event, problem: Problem, dated: bool, zone: Optional[dt.tzinfo]) -> str:
    if event.kind == "work" and event.location is not None:
        what = f"work at {problem.name(event.location)}"
    elif event.kind == "travel" and event.from_location is not None and event.to_location is not None:
        what = f"travel {problem.name(event.from_location)} to {problem.name(event.to_location)}"
    else:
        what = "wait"
    return (f"{what}: {format_instant(event.start, dated, zone=zone)} to "
            f"{format_instant(event.end, dated, zone=zone)} "
            f"({format_length(event.length, dated)})")


def _legend(parts: list[str], x: int, y: int, timeline: bool) -> None:
    entries = [("work", "work"), ("late", "late work"), ("travel", "travel"), ("wait", "wait"),
               ("window", "time window")] if timeline else [("work", "location"), ("late", "late")]
    for key, label in entries:
        parts.append(f'<rect class="legend" x="{x}" y="{y - 10}" width="14" height="12" fill="{COLOURS[key]}"/>')
        parts.append(_text(x + 19, y, label))
        x += 30 + 7 * len(label)


def _map(parts: list[str], left: int, top: int, tour: Tour, points: tuple[tuple[float, float], ...],
         problem: Problem, late: dict[int, int]) -> None:
    xs, ys = [p[0] for p in points], [p[1] for p in points]
    span = max(max(xs) - min(xs), max(ys) - min(ys)) or 1.0
    inner = MAP_SIZE - 40

    def place(location: int) -> tuple[float, float]:
        px, py = points[location]
        return left + 20 + (px - min(xs)) * inner / span, top + 20 + (max(ys) - py) * inner / span

    parts.append(f'<rect x="{left}" y="{top}" width="{MAP_SIZE}" height="{MAP_SIZE}" fill="none" '
                 f'stroke="{COLOURS["grid"]}"/>')
    parts.append(_text(left, top - 8, "Map: stops numbered in visiting order, the first one larger", size=10))
    parts.append('<defs><marker id="arrow" viewBox="0 0 10 10" refX="16" refY="5" markerWidth="6" '
                 'markerHeight="6" orient="auto"><path d="M0,0 L10,5 L0,10 z" fill="#666"/></marker></defs>')
    route = tour.route
    for here, there in zip(route, route[1:] + route[:1]):
        (x1, y1), (x2, y2) = place(here), place(there)
        parts.append(f'<line class="leg" x1="{x1:.1f}" y1="{y1:.1f}" x2="{x2:.1f}" y2="{y2:.1f}" '
                     'stroke="#666" stroke-width="1.5" marker-end="url(#arrow)"/>')
    for order, location in enumerate(route):
        cx, cy = place(location)
        fill = COLOURS["late"] if location in late else COLOURS["work"]
        radius = 7 if order == 0 else 5
        parts.append(f'<circle class="stop" cx="{cx:.1f}" cy="{cy:.1f}" r="{radius}" fill="{fill}" '
                     f'stroke="white"><title>{escape(f"{order + 1}. {problem.name(location)}")}</title></circle>')
        parts.append(_text(cx + 7, cy - 5, str(order + 1), size=10))


def _shorten(text: str, limit: int = 20) -> str:
    return text if len(text) <= limit else text[: limit - 1] + "…"


def _text(x: float, y: float, content: str, anchor: str = "start", size: float = 12,
          weight: str = "normal", fill: str = COLOURS["text"]) -> str:
    return (f'<text x="{x:.1f}" y="{y:.1f}" text-anchor="{anchor}" font-size="{size:g}" '
            f'font-weight="{weight}" fill={quoteattr(fill)}>{escape(content)}</text>')
