"""The SVG picture and the report page as documents: every stop labelled at any size, lateness
and zero-length jobs visible, well-formed whatever the names; and how the command writes them."""

import math
import os
import xml.etree.ElementTree as ElementTree

import pytest
from conftest import DAY0, HOUR, planned_day, working_week
from tourwright_tools import Problem, schedule_svg, solve_problem
from tourwright_tools.command.cli import main
from tourwright_tools.files.atomic import write_text_atomically
from tourwright_tools.render.itinerary import Itinerary

SVG = "{http://www.w3.org/2000/svg}"


def late_minutes(root, row_class="row"):
    """The 'late h:mm' labels of each timeline row, in minutes, by the row's stop."""
    found = {}
    for row in root.iter(f"{SVG}g"):
        if row.get("class") == row_class:
            for text in row.iter(f"{SVG}text"):
                if text.text.startswith("late "):
                    hours, minutes = text.text[5:].split(":")
                    minutes = int(hours) * 60 + int(minutes)
                    found.setdefault(int(row.get("data-stop")), []).append(minutes)
    return found


def test_every_stop_of_a_long_tour_has_a_labelled_row_and_its_lateness_shows():
    problem = planned_day(400)
    tour = solve_problem(problem, depot=0)
    root = ElementTree.fromstring(schedule_svg(tour, problem))
    rows = [g for g in root.iter(f"{SVG}g") if g.get("class") == "row"]
    assert [int(g.get("data-stop")) for g in rows] == list(range(400)) + [0]  # and the return
    arrivals = {e.to_location: e.end for e in tour.schedule if e.kind == "travel"}
    for index, (row, location) in enumerate(zip(rows, tour.route)):
        texts = [t.text for t in row.iter(f"{SVG}text")]
        assert texts[:2] == [str(index + 1), problem.names[location]]
        if index:
            clock = arrivals[location] % 86400
            assert texts[2].endswith(f"{clock // 3600:02d}:{clock % 3600 // 60:02d}")
    sizes = [float(e.get("font-size")) for e in root.iter() if e.get("font-size")]
    assert min(sizes) >= 10
    marks = [float(r.get("width")) for r in root.iter(f"{SVG}rect") if "work" in r.get("class", "")]
    assert len(marks) >= 400 and min(marks) >= 3
    late = {}
    for event in tour.schedule:  # the lateness of each job, worked out from its windows
        closing = problem.time_windows[event.location][-1][1] if event.kind == "work" else None
        if closing is not None and event.end > closing:
            late[tour.route.index(event.location)] = event.end - closing
    assert late and late_minutes(root) == {stop: [math.ceil(s / 60)] for stop, s in late.items()}
    stops = [g for g in root.iter(f"{SVG}g") if g.get("class") == "stop"]
    assert len(stops) == 400 and sum(1 for g in stops for _ in g.iter(f"{SVG}text")) > 200


def test_a_late_return_and_a_zero_length_job_are_drawn():
    # The depot closes at 09:00, long before the van can be back; location 1's job takes no time.
    day = [(DAY0, DAY0 + 20 * HOUR)]
    travel = [[0 if i == j else HOUR for j in range(3)] for i in range(3)]
    problem = Problem(
        [[0, 5, 5], [5, 0, 5], [5, 5, 0]],
        travel,
        [0, 0, HOUR],
        [[(DAY0 + 8 * HOUR, DAY0 + 9 * HOUR)], day, day],
        names=["Depot", "Kiosk", "Farm"],
    )
    tour = solve_problem(problem, depot=0)
    assert tour.lateness == tour.end_time - (DAY0 + 9 * HOUR)
    root = ElementTree.fromstring(schedule_svg(tour, problem))
    assert late_minutes(root) == {0: [math.ceil(tour.lateness / 60)]}
    ends = [r for r in root.iter(f"{SVG}rect") if r.get("class") == "event return late"]
    assert len(ends) == 1 and float(ends[0].get("width")) >= 3
    zero = [r for r in root.iter(f"{SVG}rect") if "zero" in r.get("class", "").split()]
    # The depot's and the kiosk's
    assert len(zero) == 2 and min(float(r.get("width")) for r in zero) >= 3


def test_a_stop_reached_over_a_zero_length_leg_shows_its_arrival_everywhere():
    # Two flats in one building, the second opening later: no travel between them, then a wait.
    half = HOUR // 2
    problem = Problem(
        [[0, 5, 5], [5, 0, 0], [5, 0, 0]],
        [[0, half, half], [half, 0, 0], [half, 0, 0]],
        [0, 600, 600],
        [[(DAY0 + 8 * HOUR, DAY0 + 18 * HOUR)]]
        + [[(DAY0 + h * HOUR, DAY0 + (h + 1) * HOUR)] for h in (8, 10)],
        names=["Depot", "Flat 1", "Flat 2"],
    )
    tour = solve_problem(problem, depot=0, departure="earliest")
    kinds = ["work", "travel", "work", "wait", "work", "travel"]  # none between the flats
    assert tour.route == (0, 1, 2) and [event.kind for event in tour.schedule] == kinds
    shown, arrivals = ["08:00", "08:30", "08:40"], [DAY0 + 8 * HOUR + m * 60 for m in (0, 30, 40)]
    assert [stop.arrival for stop in Itinerary.of(tour, problem).stops] == arrivals
    root = ElementTree.fromstring(schedule_svg(tour, problem))
    rows = [g for g in root.iter(f"{SVG}g") if g.get("class") == "row"]
    assert [[t.text for t in row.iter(f"{SVG}text")][2] for row in rows[:3]] == shown
    page = ElementTree.fromstring(tour.to_html(problem).encode("utf-8"))
    cells = [row.findall("td")[3] for row in page.find(".//tbody")]
    assert [(c.text, int(c.get("data-sort"))) for c in cells] == [
        (t + ":00", a) for t, a in zip(shown, arrivals)
    ]
    # Flat 2 is the depot's building: the return has no travel event, yet the tour returns.
    rows = [[0, 5, 0], [5, 0, 5], [0, 5, 0]]
    same_building = Problem(
        **{**problem.to_dict(), "distance_matrix": rows, "duration_matrix": rows}
    )
    back = solve_problem(same_building, depot=0, departure="earliest")
    assert back.returns and back.schedule[-1].kind != "travel"
    itinerary = Itinerary.of(back, same_building)
    assert itinerary.returns and itinerary.legs[-1] == (len(back.route) - 1, 0)


# A lone surrogate cannot be a name (Problem refuses it), but it can reach a title.
@pytest.mark.parametrize("name", ["nul\x00and\x1f", "\ufffe\uffff", "a]]>b</script><b>&amp;\"'"])
def test_any_name_gives_well_formed_documents(name):
    problem = planned_day(3)
    problem = Problem(**{**problem.to_dict(), "names": ["Depot", name, "x"]})
    tour = solve_problem(problem, depot=0)
    shown = "".join("\ufffd" if c in "\x00\x1f\ufffe\uffff\ud800" else c for c in name)
    svg_root = ElementTree.fromstring(schedule_svg(tour, problem, title=name).encode("utf-8"))
    assert shown in [t.text for t in svg_root.iter(f"{SVG}text")]
    page = ElementTree.fromstring(tour.to_html(problem, title=name).encode("utf-8"))
    assert shown in [td.text for td in page.iter("td")] and page.find("head/title").text == shown
    assert "applyFilter" in page.find("body/script").text
    titled = ElementTree.fromstring(
        schedule_svg(tour, problem, title="lone \ud800").encode("utf-8")
    )
    assert "lone \ufffd" in [t.text for t in titled.iter(f"{SVG}text")]


def test_command_writes_svg_and_page_for_dated_and_classic_problems(tmp_path, capsys):
    examples = os.path.join(os.path.dirname(__file__), "..", "..", "..", "examples")
    for argv in (["--max-descents", "1"], ["solve", os.path.join(examples, "small.tsptw")]):
        svg, html = tmp_path / "t.svg", tmp_path / "t.html"
        assert main(argv + ["--svg", str(svg), "--html", str(html)]) == 0
        ElementTree.parse(svg)
        page = ElementTree.parse(html).getroot()
        assert len(page.findall(".//tbody/tr")) in (25, 5) and "http" not in html.read_text()
    assert sorted(os.listdir(tmp_path)) == ["t.html", "t.svg"]
    capsys.readouterr()


def test_a_failed_write_keeps_the_old_file_and_leaves_nothing_behind(tmp_path, monkeypatch):
    target = tmp_path / "out.svg"
    target.write_text("old")

    def full_disk(*_):
        raise OSError(28, "No space left on device")

    monkeypatch.setattr(os, "replace", full_disk)
    with pytest.raises(OSError):
        write_text_atomically(target, "new")
    assert target.read_text() == "old" and os.listdir(tmp_path) == ["out.svg"]


def test_breaks_closed_days_and_start_windows_are_drawn_and_listed():
    problem, tour = working_week()
    itinerary = Itinerary.of(tour, problem)
    # The Mill's job ends on Monday, long after its window: only its start is bound.
    assert [stop.late for stop in itinerary.stops] == [0] * 4 and itinerary.late_end == 0
    root = ElementTree.fromstring(schedule_svg(tour, problem))
    rows = {int(g.get("data-stop")): g for g in root.iter(f"{SVG}g") if g.get("class") == "row"}
    bars = {
        stop: row.findall(f"{SVG}rect[@class='event break']/{SVG}title")
        for stop, row in rows.items()
    }
    assert [(stop, title.text) for stop, titles in bars.items() for title in titles] == [
        (2, "break: 12-11 11:30:00 to 12-11 12:00:00 (0:30:00), during the wait at Mill"),
        (3, "break: 12-14 13:00:00 to 12-14 13:30:00 (0:30:00), pausing the way Farm > Depot"),
    ]
    starts = [
        stop
        for stop, row in rows.items()
        if row.find(f"{SVG}rect[@class='window start']") is not None
    ]
    assert starts == [2]
    shades = [
        float(r.get(key))
        for r in root.iter(f"{SVG}rect")
        if r.get("class") == "closed"
        for key in ("x", "width")
    ]
    assert len(shades) == 4 and shades[0] + shades[1] == pytest.approx(shades[2])  # side by side
    named = [(t.text, t.find(f"{SVG}title").text) for t in root.iter(f"{SVG}text") if len(t)]
    assert named == [
        ("Sat closed", "closed all day: Sat 2026-12-12"),
        ("Sun closed", "closed all day: Sun 2026-12-13"),
    ]
    texts = {t.text for t in root.iter(f"{SVG}text")}
    assert {"break", "window for the start only", "closed day", "1:00:00 (2 breaks)"} <= texts
    body = ElementTree.fromstring(tour.to_html(problem).encode("utf-8")).find(".//tbody")
    listed = [(row.get("class") or "") + row.get("data-stop") for row in body]
    assert listed == ["0", "1", "2", "break2", "3", "break3"]
    assert body[2].findall("td")[4].text == "12-11 14:00\u201312-11 16:00 for the start"
    cells = [td.text for td in body[5]]
    assert cells[1:4] == ["break pausing the way Farm > Depot", "12-14 13:00:00", "0:30:00 break"]
