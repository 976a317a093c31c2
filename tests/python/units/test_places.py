"""Places on the earth: great-circle matrices against known figures and an independent formula,
the refusals, problems and problem files made from places, and their Mercator map."""

import json
import math
import re
import xml.etree.ElementTree as ElementTree

import numpy
import pytest
from conftest import DAY0, HOUR
from tourwright_tools import (
    Problem,
    matrices_from_coordinates,
    read_json,
    schedule_svg,
    solve_problem,
)

BERLIN, PARIS = (52.5200, 13.4050), (48.8566, 2.3522)
LONDON, NEW_YORK = (51.5074, -0.1278), (40.7128, -74.0060)
DAY = [[DAY0 + 8 * HOUR, DAY0 + 17 * HOUR]]


def test_great_circle_figures_and_travel_times():
    metres, seconds = matrices_from_coordinates(
        [BERLIN, PARIS, LONDON, NEW_YORK], speed=100, detour=1
    )
    # The published figures: Berlin-Paris 878 km, Paris-London 344 km, London-New York 5570 km.
    assert [metres[0, 1], metres[1, 2], metres[2, 3]] == pytest.approx(
        [878e3, 344e3, 5570e3], abs=800
    )
    assert seconds[0, 1] == round(metres[0, 1] * 0.036)  # at 100 km/h
    metres, _ = matrices_from_coordinates([(45, 7), (45.001, 7), (45, 7)], speed=5)
    assert metres.tolist() == [[0, 145, 0], [145, 0, 145], [0, 145, 0]]  # 111.2 m, 1.3 times


def test_every_block_of_rows_matches_the_textbook_haversine():
    rng = numpy.random.default_rng(3)
    places = numpy.c_[rng.uniform(-80, 80, 150), rng.uniform(-180, 180, 150)]
    metres, seconds = matrices_from_coordinates(places, speed=72, detour=1.1)
    lat, lon = numpy.radians(places.T)
    hav = (
        numpy.sin((lat[:, None] - lat) / 2) ** 2
        + numpy.cos(lat[:, None]) * numpy.cos(lat) * numpy.sin((lon[:, None] - lon) / 2) ** 2
    )
    expected = 2 * 6371008.8 * 1.1 * numpy.arcsin(numpy.sqrt(hav))
    assert metres.dtype == numpy.uint64 and not metres.flags.writeable
    assert numpy.abs(metres - expected).max() <= 0.51
    assert numpy.abs(seconds - expected / 20).max() <= 0.51  # 72 km/h: 20 m/s


@pytest.mark.parametrize(
    "points, options, message",
    [
        (
            [BERLIN, (151.2, -33.9)],
            {},
            "points[1]: (151.2, -33.9) has its latitude beyond ±90 and its longitude within: given as (lon, lat)?",
        ),
        ([(91.0, 120.0)], {}, "points[0]: (91, 120) has its latitude beyond ±90"),
        ([(10.0, -181.0)], {}, "points[0]: (10, -181) has its longitude beyond ±180"),
        ([(10.0, math.inf)], {}, "points[0]: (10, inf) is not a finite"),
        ([(10.0, 3.0, 1.0)], {}, "points: expected (lat, lon) pairs, got an array of shape (1, 3)"),
        ([BERLIN], {"speed": 0}, "speed: expected a positive number (km/h), got 0"),
        ([BERLIN], {"detour": -1.3}, "detour: expected a positive number (a factor), got -1.3"),
        ([BERLIN], {"unit": "mi"}, "unit: expected 'm' or 'km', got 'mi'"),
    ],
)
def test_refusals_name_the_fault_in_one_line(points, options, message):
    with pytest.raises(ValueError) as refused:
        matrices_from_coordinates(points, **{"speed": 50, **options})
    assert str(refused.value).startswith(message) and "\n" not in str(refused.value)


def test_problems_from_places_keep_them_and_time_data_only_where_given():
    assert Problem.from_places([BERLIN, PARIS], speed=80).duration_matrix is None
    timed = Problem.from_places(
        [BERLIN, PARIS], speed=80, job_durations=[0, 0], time_windows=[DAY] * 2
    )
    assert timed.duration_matrix.at(0, 1) == round(877.465 * 1.3 * 45)
    assert timed.places == (BERLIN, PARIS)
    with pytest.raises(
        ValueError, match=r"^places: 1 \(lat, lon\) pairs for a matrix of 2 locations$"
    ):
        Problem([[0, 1], [1, 0]], places=[BERLIN])
    with pytest.raises(ValueError, match="^distance_matrix: given with a speed"):
        Problem.from_places([BERLIN], speed=80, distance_matrix=[[0]])


def test_a_problem_file_of_places_is_read_and_written_back_as_given(tmp_path):
    places = [list(BERLIN), [52.50, 13.45], [52.55, 13.30]]
    given = {
        "places": places,
        "speed": 30,
        "detour": 1.5,
        "unit": "km",
        "job_durations": [600] * 3,
        "time_windows": [DAY] * 3,
    }
    (tmp_path / "places.json").write_text(json.dumps(given))
    problem = read_json(tmp_path / "places.json")
    assert problem.distance_matrix.at(0, 1) == 6  # 3.77 km, 1.5 times
    assert problem.to_dict() == given and Problem.from_dict(given) == problem
    (tmp_path / "bare.json").write_text('{"places": [[1, 2]]}')
    with pytest.raises(
        ValueError, match=r"missing key 'distance_matrix' \(or 'places' with a 'speed'\)"
    ):
        read_json(tmp_path / "bare.json")


def test_the_map_of_places_is_mercator_with_a_scale_in_metres_or_kilometres():
    svg = "{http://www.w3.org/2000/svg}"
    for spread, unit in ((0.3, "km"), (0.001, "m")):
        problem = Problem.from_places([(48, 11), (48 + spread, 11), (48, 11 + spread)], speed=30)
        tour = solve_problem(problem)
        root = ElementTree.fromstring(schedule_svg(tour, problem))
        heights = {}
        for stop in (g for g in root.iter(f"{svg}g") if g.get("class") == "stop"):
            mark = next(iter(stop))  # a dot, or the start's square
            heights[tour.route[int(stop.get("data-stop"))]] = float(
                mark.get("cy") or float(mark.get("y")) + 6
            )
        assert heights[1] < heights[0] == pytest.approx(heights[2])  # north is up
        texts = [t.text for t in root.iter(f"{svg}text")]
        assert any(re.fullmatch(rf"[125]0* {unit}", text or "") for text in texts), texts
        assert re.search(rf">[125]0* {unit}</text>", tour.to_html(problem))  # the report's map
