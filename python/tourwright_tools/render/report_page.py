"""A report page of a solved tour: one self-contained HTML file (its style and script inline,
nothing fetched) with a summary, a map that pans and zooms, the timeline, a table of stops
that sorts and filters (each break listed under the stop whose row it is drawn in, and kept
there), and a table of the optional stops left out; a stop hovered or selected in the map, the
timeline or the table of stops is marked in all three.

The page is also well-formed XML, so that any name shows as text and never as markup."""

from __future__ import annotations

import importlib.resources

from ..model.problem import Problem
from ..units.timetext import TimeText
from .itinerary import Itinerary, Stop, TakenBreak, skipped_text, summary
from .markup import element, escape
from .shapes import DrawnTour
from .svg import PLOT_MIN, default_title, problem_map, timeline_part

COLUMNS = (
    ("#", "number"),
    ("id", "number"),
    ("name", "text"),
    ("arrival", "number"),
    ("window", "number"),
    ("wait", "number"),
    ("work", "number"),
    ("leaves", "number"),
    ("late", "number"),
    ("why late", "text"),
)


def report_html(tour: DrawnTour, problem: Problem, title: str = "") -> str:
    """The page as text; see the module's description."""
    itinerary = Itinerary.of(tour, problem)
    heading = escape(title or default_title(tour, itinerary))
    facts = "".join(
        element("div", {}, element("dt", {}, escape(label)) + element("dd", {}, escape(value)))
        for label, value in summary(tour, itinerary)
    )
    panels = []
    map_ = problem_map(itinerary, problem, least=560)
    if map_ is not None:
        picture = map_.svg(**{"class": "map", "role": "img", "aria-label": "map of the tour"})
        panels.append(element("section", {"id": "map-panel"}, _tools_for_map() + picture))
    table = element("div", {"class": "scroll"}, _table(itinerary))
    panels.append(element("section", {"id": "table-panel"}, _tools_for_table() + table))
    if itinerary.skipped:
        panels.append(element("section", {"id": "skipped-panel"}, _skipped_table(itinerary)))
    if tour.schedule:
        picture = timeline_part(itinerary, PLOT_MIN + 100).svg(
            **{"class": "timeline", "role": "img", "aria-label": "timeline of the tour"}
        )
        panels.append(
            element(
                "section", {"id": "timeline-panel"}, element("div", {"class": "scroll"}, picture)
            )
        )
    head = (
        '<meta charset="utf-8"/>'
        '<meta name="viewport" content="width=device-width, initial-scale=1"/>'
        + element("title", {}, heading)
        + element("style", {}, "/*<![CDATA[*/\n" + _resource("report.css") + "/*]]>*/")
    )
    layout = None if map_ is not None else "no-map"
    body = (
        element(
            "header", {}, element("h1", {}, heading) + element("dl", {"class": "summary"}, facts)
        )
        + element("main", {"class": layout}, "\n".join(panels))
        + element("script", {}, "//<![CDATA[\n" + _resource("report.js") + "//]]>")
    )
    page = element(
        "html", {"lang": "en"}, element("head", {}, head) + "\n" + element("body", {}, body)
    )
    return "<!DOCTYPE html>\n" + page + "\n"


def _resource(name: str) -> str:
    text = (importlib.resources.files("tourwright_tools") / "page" / name).read_text(
        encoding="utf-8"
    )
    # Either would end the inline block early.
    assert "]]>" not in text and "</" not in text, name
    return text


def _tools_for_map() -> str:
    buttons = "".join(
        element("button", {"type": "button", "data-zoom": how, "title": tip}, escape(label))
        for how, label, tip in (
            ("in", "+", "zoom in"),
            ("out", "\u2212", "zoom out"),
            ("reset", "reset", "show the whole tour"),
        )
    )
    hint = element("span", {}, "drag to pan, wheel to zoom")
    return element("div", {"class": "tools"}, buttons + hint)


def _tools_for_table() -> str:
    search = element(
        "input",
        {
            "type": "search",
            "id": "filter",
            "placeholder": "filter stops",
            "aria-label": "filter stops",
        },
    )
    late = element(
        "label", {}, element("input", {"type": "checkbox", "id": "late-only"}) + " late only"
    )
    return element("div", {"class": "tools"}, search + late + element("span", {"id": "shown"}, ""))


def _table(itinerary: Itinerary) -> str:
    text = itinerary.text
    head = "".join(
        element("th", {"data-type": kind, "scope": "col"}, escape(name)) for name, kind in COLUMNS
    )
    rows = []
    breaks: dict[int, list[TakenBreak]] = {}
    for taken in itinerary.breaks:
        breaks.setdefault(taken.row, []).append(taken)
    for stop in itinerary.stops:
        arrival = "" if stop.arrival is None else text.at(stop.arrival, seconds=True)
        leaves = "" if stop.departure is None else text.at(stop.departure, seconds=True)
        # (sort key, text) per column; the name sorts by its text.
        cells = [
            (stop.number, str(stop.number)),
            (stop.location, str(stop.location)),
            (None, stop.label),
            (-1 if stop.arrival is None else stop.arrival, arrival),
            (stop.windows[0][0] if stop.windows else -1, _windows(stop, text)),
            (stop.wait, text.length(stop.wait)),
            (stop.work, text.length(stop.work)),
            (-1 if stop.departure is None else stop.departure, leaves),
            (stop.late, text.length(stop.late) if stop.late else ""),
            (None, stop.late_because or ""),
        ]
        content = "".join(
            _cell(key, shown, name) for (key, shown), (name, _) in zip(cells, COLUMNS)
        )
        rows.append(
            element(
                "tr",
                {"data-stop": stop.index, "tabindex": 0, "class": "late" if stop.late else None},
                content,
            )
        )
        rows += [_break_row(taken, text) for taken in breaks.get(stop.index, [])]
    foot = ""
    if itinerary.returns and itinerary.end_time is not None:
        first = itinerary.stops[0]
        late = f"late {text.length(itinerary.late_end)}" if itinerary.late_end else ""
        back = "".join(
            [
                element("td", {"colspan": 3}, escape(f"return to {first.label}")),
                element("td", {}, escape(text.at(itinerary.end_time, seconds=True))),
                element("td", {"colspan": 4}, escape(_windows(first, text))),
                element("td", {"class": "lateness"}, escape(late)),
                element("td", {}, ""),
            ]
        )
        foot = element(
            "tfoot", {}, element("tr", {"data-stop": 0, "class": "late" if late else None}, back)
        )
    return element(
        "table",
        {"id": "stops"},
        element("thead", {}, element("tr", {}, head))
        + element("tbody", {}, "\n".join(rows))
        + foot,
    )


def _skipped_table(itinerary: Itinerary) -> str:
    """The optional stops the tour leaves out, the highest class first."""
    head = "".join(element("th", {"scope": "col"}, name) for name in ("id", "name", "class"))
    rows = "\n".join(
        element(
            "tr",
            {},
            element("td", {"class": "number"}, str(left.location))
            + element("td", {}, escape(left.label))
            + element("td", {"class": "number"}, str(left.priority)),
        )
        for left in itinerary.skipped
    )
    caption = element("caption", {}, escape(f"Skipped: {skipped_text(itinerary.skipped)}"))
    return element(
        "table",
        {"id": "skipped"},
        caption + element("thead", {}, element("tr", {}, head)) + element("tbody", {}, rows),
    )


def _break_row(taken: TakenBreak, text: TimeText) -> str:
    """A break under the stop it belongs to: where it was taken, from when, how long and until
    when."""
    cells = [
        element("td", {"colspan": 2}, ""),
        element("td", {}, escape(f"break {taken.place}")),
        element("td", {}, escape(text.at(taken.start, seconds=True))),
        element("td", {"colspan": 3}, escape(f"{text.length(taken.length)} break")),
        element("td", {}, escape(text.at(taken.end, seconds=True))),
        element("td", {"colspan": 2}, ""),
    ]
    return element("tr", {"data-stop": taken.row, "class": "break"}, "".join(cells))


def _cell(key: int | None, shown: str, column: str) -> str:
    classes = [
        name
        for name, wanted in (
            ("number", key is not None and column != "window"),
            ("lateness", column == "late"),
        )
        if wanted
    ]
    return element("td", {"data-sort": key, "class": " ".join(classes) or None}, escape(shown))


def _windows(stop: Stop, text: TimeText) -> str:
    """The stop's windows, "for the start" where they bind only the start of its work."""
    shown = ", ".join(f"{text.at(start)}\u2013{text.at(end)}" for start, end in stop.windows)
    return (shown + (" for the start" if stop.start_only else "")) if shown else "none"
