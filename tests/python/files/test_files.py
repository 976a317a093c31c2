"""Problem files: JSON and the classic TSPTW format, good and bad."""

import json
import math
import os
import pathlib
import random
import re

import numpy as np
import pytest
from tourwright_tools import (
    ClassicInstance,
    Problem,
    ProblemFileError,
    Tour,
    _engine,
    read_json,
    read_problem,
    read_tsptw,
    solve_problem,
)
from tourwright_tools.files import formats as files

EXAMPLES = pathlib.Path(__file__).resolve().parents[3] / "examples"
SHARED_BENCH = pathlib.Path(__file__).resolve().parents[4] / "shared" / "bench" / "instances"

CLASSIC = """\
# a comment line is skipped
3
0 2.5 4
2.5 0 3
4 3 0
0 100
1 6
5 9
"""


def write(tmp_path, name, text):
    path = tmp_path / name
    path.write_text(text)
    return path


def test_classic_file_is_read_scaled_with_location_0_as_the_depot(tmp_path):
    instance = read_tsptw(write(tmp_path, "tiny.txt", CLASSIC))
    assert instance.scale == 10 and instance.name == "tiny"
    problem = instance.problem
    assert (
        problem.distance_matrix
        == problem.duration_matrix
        == ((0, 25, 40), (25, 0, 30), (40, 30, 0))
    )
    assert problem.job_durations == (0, 0, 0)
    assert problem.time_windows == (((0, 1000),), ((10, 60),), ((50, 90),))
    assert instance.windows[0] == (0, 1000) and instance.depot == 0


def test_classic_report_rotates_to_the_depot_and_judges_hard_windows(tmp_path):
    instance = read_tsptw(write(tmp_path, "tiny.txt", CLASSIC))
    tour = solve_problem(instance.problem, depot=instance.depot)
    assert tour.lateness == 0 and tour.route[0] == 0
    report = instance.report(tour)
    assert report.route == (0, 1, 2) and report.travel_time == 9.5 and report.feasible
    late = instance.report(tour.__class__(**{**tour.__dict__, "route": (2, 1, 0)}))
    assert late.route == (0, 2, 1) and late.late_arrivals == 1 and not late.feasible


COORDINATES = """\
#NUM #X #Y #DEMAND #READYTIME #DUEDATE #SERVICE
1 0.00 0.00 0 0 100 0
2 3.00 4.00 0 0 50 0
3 1.00 1.00 0 0 50 2
999 0 0 0 0 0 0
"""


def test_coordinates_file_gives_the_collections_matrix_and_a_map(tmp_path):
    instance = read_tsptw(write(tmp_path, "points.txt", COORDINATES))
    # Rounded-down distances 0-1: 5, 0-2: 1, 1-2: 3; 0-1 shortened through 2 to 4; the service
    # time of location 2 added to the legs leaving it.
    assert instance.problem.distance_matrix == ((0, 4, 1), (4, 0, 3), (3, 5, 0))
    assert instance.problem.coordinates == ((0, 0), (3, 4), (1, 1))
    assert instance.windows == ((0, 100), (0, 50), (0, 50)) and instance.scale == 1


@pytest.mark.parametrize(
    "text, message",
    [
        ("1 0 0 0 0 9 0\n3 1 1 0 0 9 0\n", "line 2: location number 3, expected 2"),
        (
            "1 0 0 0 0 9\n",
            "line 1: expected 7 numbers (number x y demand ready due service), found 6",
        ),
        ("NAME only a header\n", "no location lines"),
        ("1 0 0 0 0 9.5 0\n", "line 1: ready, due and service times must be whole numbers"),
        (
            "".join(f"{k} {k} 0 0 0 9 0\n" for k in range(1, 2002)),
            "line 2001: more than 2000 locations, the most a coordinate file holds",
        ),
    ],
)
def test_bad_coordinates_files_name_file_line_and_fault(tmp_path, text, message):
    with pytest.raises(ProblemFileError) as raised:
        read_tsptw(write(tmp_path, "bad.txt", text))
    assert message in str(raised.value)


@pytest.mark.parametrize(
    "text, message",
    [
        ("", "empty file"),
        ("x\n", "line 1: expected the number of locations, found 'x'"),
        (
            "2\n0 1\n1 0\n0 5\n",
            "ends after 3 lines of data; expected 2 matrix rows and 2 'ready due' lines",
        ),
        ("2\n0 1\n1\n0 5\n0 5\n", "line 3: matrix row 1: expected 2 numbers, found 1"),
        ("2\n0 a\n1 0\n0 5\n0 5\n", "line 2: 'a' is not a number"),
        ("2\n0 -1\n1 0\n0 5\n0 5\n", "line 2: -1 is negative"),
        ("2\n0 1\n1 0\n0 5\n7 5\n", "line 5: the window ends (5) before it starts (7)"),
        ("2\n0 1\n1 0\n0 5\n0 5\n9 9\n", "line 6: unexpected line"),
        ("\u00b2\n", "line 1: expected the number of locations, found '\u00b2'"),
        ("2\n0 1_0\n1 0\n0 5\n0 5\n", "line 2: '1_0' is not a number"),
        (
            "2\n0 1e-999999999\n1 0\n0 5\n0 5\n",
            "line 2: 1e-999999999 has more than 9 decimal places",
        ),
        (
            "2\n0 1e999999\n1 0\n0 5\n0 5\n",
            "line 2: 1e999999 has more than 20 digits before the point",
        ),
        ("2\n0 1e9999999999999999999\n1 0\n0 5\n0 5\n", "than 20 digits before the point"),
        ("2\n0 " + "1" * 41 + "\n1 0\n0 5\n0 5\n", "line 2: a number of more than 40 characters"),
    ],
)
def test_bad_classic_files_name_file_line_and_fault(tmp_path, text, message):
    path = write(tmp_path, "bad.txt", text)
    with pytest.raises(ProblemFileError) as raised:
        read_tsptw(path)
    assert str(raised.value).startswith(str(path))
    assert message in str(raised.value)


def test_json_problem_with_names_and_coordinates(tmp_path):
    data = {
        "description": "two places",
        "distance_matrix": [[0, 3], [4, 0]],
        "names": ["A", "B"],
        "coordinates": [[0, 0], [1, 1]],
    }
    problem = read_problem(write(tmp_path, "p.json", json.dumps(data)))
    assert problem == Problem([[0, 3], [4, 0]], names=["A", "B"], coordinates=[(0, 0), (1, 1)])
    assert read_json(write(tmp_path, "q.json", json.dumps(problem.to_dict()))) == problem


@pytest.mark.parametrize(
    "text, message",
    [
        ('{"distance_matrix": [[0]],\n "oops"}', "line 2: not valid JSON"),
        ("[1, 2]", "expected a JSON object, found list"),
        ('{"distance_matrix": [[0]], "time_limit": 3}', "unknown key 'time_limit'"),
        ('{"names": ["a"]}', "missing key 'distance_matrix'"),
        ('{"distance_matrix": [[0, 1]]}', "distance_matrix[0]: row has 2 entries, expected 1"),
        ('{"distance_matrix": [[0]], "job_durations": [0]}', "partial time data"),
        (
            '{"distance_matrix": [[0]], "distance_matrix": [[0]]}',
            "'distance_matrix' is given twice",
        ),
        ('{"distance_matrix": [[' + "9" * 5000 + "]]}", "an integer of 5000 digits"),
        ('{"distance_matrix": ' + "[" * 100_000 + "]" * 100_000 + "}", "nested too deeply"),
        ('{"distance_matrix": [[0]], "names": ["\\ud800"]}', "names[0]: '\\ud800' holds a lone"),
        ('{"comment": [1, 2], "distance_matrix": [[0]]}', "comment: expected a short text"),
        ('{"description": "' + "a" * 1_000_001 + '"}', "found 1,000,001 characters (at most"),
        (
            '{"distance_matrix": [[0]], "duration_matrix": [[0]], "job_durations": [0], '
            '"time_windows": [[["2026-12-07T08:00", "2026-12-07T09:00Z"]]]}',
            "time_windows[0][0][0]: 2026-12-07T08:00 has no UTC offset; write one (2026-12-07T08:00Z"
            ' for UTC, or e.g. 2026-12-07T08:00+01:00), or give the file a "timezone" key',
        ),
    ],
)
def test_bad_json_files_name_file_and_fault(tmp_path, text, message):
    path = write(tmp_path, "bad.json", text)
    with pytest.raises(ProblemFileError, match="bad.json") as raised:
        read_problem(path)
    assert message in str(raised.value)


def test_missing_file_is_a_problem_file_error(tmp_path):
    with pytest.raises(ProblemFileError, match="No such file"):
        read_problem(tmp_path / "absent.json")


def test_only_files_and_pipes_are_read_and_never_more_than_the_bound(tmp_path, monkeypatch):
    bom = write(tmp_path, "bom.json", "\ufeff" + '{"distance_matrix": [[0]]}')
    assert read_json(bom) == Problem([[0]])
    if os.path.exists("/dev/zero"):
        with pytest.raises(ProblemFileError, match="/dev/zero: not a regular file or pipe"):
            read_problem("/dev/zero")
    os.mkfifo(tmp_path / "fifo")
    with pytest.raises(ProblemFileError, match="empty file"):  # no writer: nothing to wait for
        read_tsptw(tmp_path / "fifo")
    reading, writing = os.pipe()  # a pipe with its writer done, as `solve <(generate)` gives
    os.write(writing, b"1\n0\n0 9\n")
    os.close(writing)
    assert read_tsptw(f"/dev/fd/{reading}").windows == ((0, 9),)
    os.close(reading)
    monkeypatch.setattr(files, "MAX_FILE_BYTES", 10)
    with pytest.raises(ProblemFileError, match="larger than"):
        read_tsptw(write(tmp_path, "big.txt", CLASSIC))


def shortened_by_three_loops(matrix):
    d = [list(row) for row in matrix]
    for i in range(len(d)):
        for j in range(len(d)):
            for k in range(len(d)):
                d[i][j] = min(d[i][j], d[i][k] + d[k][j])
    return d


@pytest.mark.parametrize("seed", range(4))
def test_coordinate_matrix_is_the_three_loops_shortening_of_rounded_down_distances(tmp_path, seed):
    rnd = random.Random(seed)
    # Close points on a coarse grid: many sums through a third location are shorter; then
    # points on one line, some repeated, where shortened legs feed each other.
    grid = [(rnd.randint(0, 16) / 2, rnd.randint(0, 8) / 4) for _ in range(30)]
    line = [(t / 4, t * 3 / 4 - 3) for t in (rnd.randint(0, 20) for _ in range(30))]
    for points in (grid, line):
        text = "".join(f"{i + 1} {x} {y} 0 0 99 0\n" for i, (x, y) in enumerate(points))
        floors = [[math.floor(math.dist(a, b)) for b in points] for a in points]
        matrix = read_tsptw(write(tmp_path, "dense.txt", text)).problem.distance_matrix
        assert list(map(list, matrix)) == shortened_by_three_loops(floors)


@pytest.mark.parametrize(
    "entry, xs, message",
    [(-1, [0, 1], "negative"), (2**62, [0, 1], "2^62 or more"), (1, [0, 2**31 + 1], "2^31 apart")],
)
def test_shortening_refuses_entries_it_cannot_add_and_shapes_that_differ(entry, xs, message):
    matrix = np.array([[0, entry], [entry, 0]], dtype=np.int64)
    points = np.array(xs, dtype=np.int64)
    with pytest.raises(ValueError, match=re.escape(message)):
        _engine.shorten_through_third(matrix, points, points, 1)
    assert matrix.tolist() == [[0, entry], [entry, 0]]  # left as it was


def test_bundled_examples_read():
    assert isinstance(read_problem(EXAMPLES / "small.tsptw"), ClassicInstance)
    assert read_problem(EXAMPLES / "delivery_day.json").has_time_data


def lkh_tour(path):
    """The 0-based route of a tour file of the collection (numbered from 1, ended by -1)."""
    lines = path.read_text().split("TOUR_SECTION", 1)[1].split()
    return tuple(int(word) - 1 for word in lines[: lines.index("-1")])


@pytest.mark.skipif(
    not SHARED_BENCH.is_dir(), reason="the public TSPTW collection is not beside the project"
)
@pytest.mark.parametrize(
    "name, tour",
    [
        ("GendreauEtAl-extra/n100w180.001.txt", "Gendreau/n100w180.001.602.tour"),
        ("DaSilvaUrrutia/n200w100.001.txt", "Silva/n200w100.001.9836.tour"),
    ],
)
def test_published_tours_of_coordinate_files_keep_their_values(name, tour):
    instance = read_tsptw(SHARED_BENCH / name)
    route = lkh_tour(SHARED_BENCH / "tours" / "lkh3" / tour)
    published = Tour(route, 0, None, None, None, None, None, None, None, 0, 0, None)
    report = instance.report(published)
    assert report.feasible and report.travel_time == int(tour.split(".")[-2])


@pytest.mark.skipif(
    not SHARED_BENCH.is_dir(), reason="the public TSPTW collection is not beside the project"
)
@pytest.mark.parametrize(
    "name, best_known", [("Dumas/n20w20.001.txt", 378), ("AFG/rbg010a.tw", 671)]
)
def test_public_instances_are_solved_to_a_feasible_tour(name, best_known):
    instance = read_tsptw(SHARED_BENCH / "lopez-ibanez" / name)
    report = instance.report(solve_problem(instance.problem, time_limit=1, depot=instance.depot))
    assert report.feasible and report.travel_time >= best_known
    assert os.path.basename(name).startswith(instance.name)


@pytest.mark.parametrize("name", ["A", "Ä", "€", "\U0001f69a"])  # 1, 2 and 4 bytes a character
def test_json_matrices_read_at_once_equal_the_general_reading(tmp_path, name):
    data = {
        "names": [name, "B", "C"],
        "distance_matrix": [[0, 7, 2], [7, 0, 3], [1, 2, 0]],
        "duration_matrix": [[0, 70, 20], [70, 0, 30], [10, 20, 0]],
        "job_durations": [0, 5, 5],
        "time_windows": [[[0, 900]], [[0, 10], [20, 300]], [[0, 100]]],
        "check_units": False,
    }
    expected = Problem.from_dict(data)
    for text in (
        json.dumps(data),
        json.dumps(data, indent="\t"),
        json.dumps(data, indent=1).replace("\n", "\r\n"),
    ):
        assert read_problem(write(tmp_path, "p.json", text)) == expected


def test_classic_matrices_read_at_once_equal_the_line_by_line_reading(tmp_path, monkeypatch):
    texts = [
        "3\n0 4 2\n4 0 3\n1 2 0\n0 100\n1 6\n5 9\n",
        "\n3\r\n0\t4 2\r\n\r\n4 0 3\r1 2 0\n0 100\n1 6\n5 9",  # breaks, tabs and blank lines
        "2\n0 4\n4 0\n0 100\n9 6\n",
    ]  # a window ending before it starts
    read = []
    for careful in (False, True):
        if careful:
            monkeypatch.setattr(files, "_plain_matrix_instance", lambda path, text: None)
        results = []
        for text in texts:
            try:
                results.append(read_tsptw(write(tmp_path, "m.txt", text)))
            except ProblemFileError as error:
                results.append(str(error))
        read.append(results)
    assert read[0] == read[1]
    assert read[0][0].problem == read[0][1].problem and "before it starts" in read[0][2]
