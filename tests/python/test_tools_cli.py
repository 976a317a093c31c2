"""The `tourwright` command: output shape, files written, and exit status 2 with one line for mistakes."""
import importlib.metadata
import json
import os
import pathlib
import select
import shutil
import subprocess
import sys
import sysconfig
import xml.etree.ElementTree as ElementTree

import pytest

import tourwright_tools
from tourwright_tools import Tour
from tourwright_tools.atomic import write_text_atomically
from tourwright_tools.cli import main

EXAMPLES = pathlib.Path(__file__).resolve().parents[2] / "examples"


def test_bundled_example_prints_summary_and_schedule(capsys):
    assert main(["--time-limit", "0"]) == 0
    out = capsys.readouterr().out
    labels = [line.split(":")[0] for line in out.splitlines()[:12]]
    assert labels[:4] == ["problem", "tour", "distance", "lateness"]
    assert "start:           2026-12-07" in out and "operating hours: 08:00 to 17:00 UTC" in out
    table = out.split("\n\n")[-1].splitlines()
    assert table[0].split() == ["kind", "location", "start", "end", "length"]
    assert len(table) > 25 * 2 and {row.split()[0] for row in table[1:]} <= {"work", "travel", "wait"}


def test_solve_writes_json_and_svg(tmp_path, capsys):
    out_json, out_svg = tmp_path / "tour.json", tmp_path / "tour.svg"
    assert main(["solve", str(EXAMPLES / "delivery_day.json"), "--json", str(out_json), "--svg", str(out_svg)]) == 0
    tour = Tour.from_json(out_json.read_text())
    assert json.loads(out_json.read_text())["route"] == list(tour.route) and tour.iterations == 1
    ElementTree.parse(out_svg)
    assert "Bakery" in capsys.readouterr().out


def test_classic_file_is_also_reported_in_the_literature_terms(capsys):
    assert main(["solve", str(EXAMPLES / "small.tsptw")]) == 0
    out = capsys.readouterr().out
    assert "In the literature's terms" in out and "feasible:        yes" in out


@pytest.mark.parametrize("argv, message", [
    (["solve", "no/such/file.json"], "no/such/file.json: No such file or directory"),
    (["solve", str(EXAMPLES / "small.tsptw"), "--time-limit", "-2"], "--time-limit: time_limit: -2.0 is not"),
    (["solve"], "the following arguments are required: file"),
    (["frobnicate"], "invalid choice: 'frobnicate'"),
    (["--time-limit", "soon"], "invalid float value: 'soon'"),
    (["solve", str(EXAMPLES / "small.tsptw"), "--json", "no/such/dir/out.json"], "cannot write no/such/dir/out.json"),
])
def test_user_mistakes_exit_2_with_one_line(argv, message, capsys):
    assert main(argv) == 2
    err = capsys.readouterr().err
    assert err.count("\n") == 1 and err.startswith("tourwright: ") and message in err


def test_bad_file_names_file_and_line(tmp_path, capsys):
    path = tmp_path / "bad.txt"
    path.write_text("2\n0 1\n1 zero\n0 5\n0 5\n")
    assert main(["solve", str(path)]) == 2
    assert capsys.readouterr().err == f"tourwright: {path}, line 3: 'zero' is not a number\n"


@pytest.mark.parametrize("text", [
    '{"distance_matrix": [[0, 1], [1, 0]], "names": ["A", "\\udc80"]}',
    '{"distance_matrix": [[0, 1], [1, 0]], "distance_matrix": [[0]]}',
    '{"distance_matrix": [[' + "1" * 4400 + "]]}",
    '{"distance_matrix": ' + "[" * 100_000 + "]" * 100_000 + "}",
])
def test_hostile_files_exit_2_with_one_line_before_any_output(tmp_path, text, capsys):
    path = tmp_path / "hostile.json"
    path.write_text(text)
    assert main(["solve", str(path)]) == 2
    out, err = capsys.readouterr()
    assert out == "" and err.count("\n") == 1 and err.startswith(f"tourwright: {path}: ")


def test_tours_after_the_year_9999_are_shown(tmp_path, capsys):
    late = 300_000_000_000  # in the year 11476
    path = tmp_path / "late.json"
    path.write_text(json.dumps({"distance_matrix": [[0]], "duration_matrix": [[0]],
                                "job_durations": [60], "time_windows": [[[late, late + 600]]],
                                "check_units": False}))
    assert main(["solve", str(path)]) == 0
    assert "start:           11476-08-15 05:20:00 UTC" in capsys.readouterr().out


def test_outputs_never_overwrite_the_problem_file(tmp_path, capsys):
    problem = tmp_path / "problem.json"
    shutil.copy(EXAMPLES / "delivery_day.json", problem)
    (tmp_path / "link.json").symlink_to(problem)
    for option, target in (("--json", problem), ("--svg", tmp_path / "link.json")):
        assert main(["solve", str(problem), option, str(target)]) == 2
        err = capsys.readouterr().err
        assert err.count("\n") == 1 and f"is the problem file {problem}" in err
    assert problem.read_bytes() == (EXAMPLES / "delivery_day.json").read_bytes()


def test_a_failed_write_leaves_the_file_as_it_was_and_nothing_else(tmp_path):
    path = tmp_path / "out.json"
    path.write_text("before")
    with pytest.raises(UnicodeEncodeError):  # fails after much of the text is written
        write_text_atomically(path, "x" * 100_000 + "\ud800")
    assert path.read_text() == "before" and os.listdir(tmp_path) == ["out.json"]
    (tmp_path / "link").symlink_to(path)
    write_text_atomically(tmp_path / "link", "after")
    assert path.read_text() == "after" and (tmp_path / "link").is_symlink()
    assert sorted(os.listdir(tmp_path)) == ["link", "out.json"]


def installed_script():
    search = os.pathsep.join([sysconfig.get_path("scripts"), os.path.dirname(sys.executable), os.environ["PATH"]])
    script = shutil.which("tourwright", path=search)
    assert script is not None
    return script


def test_console_script_is_installed():
    script = installed_script()
    done = subprocess.run([script, "solve", str(EXAMPLES / "small.tsptw"), "--json", "-"],
                          capture_output=True, text=True, timeout=60)
    assert done.returncode == 0 and done.stderr.startswith("problem:")
    assert json.loads(done.stdout)["route"][0] == 0
    assert tourwright_tools.__version__ == importlib.metadata.version("tourwright")


def test_progress_bar_only_on_a_terminal():
    command = [installed_script(), "solve", str(EXAMPLES / "small.tsptw"), "--time-limit", "1", "--json", "-"]
    controller, terminal = os.openpty()
    try:
        done = subprocess.run(command, stdout=subprocess.PIPE, stderr=terminal, timeout=60)
        readable, _, _ = select.select([controller], [], [], 5)
        seen = os.read(controller, 65536).decode() if readable else ""
    finally:
        os.close(controller)
        os.close(terminal)
    assert done.returncode == 0 and json.loads(done.stdout)["iterations"] > 1
    assert "solving [" in seen and "/ 1 s" in seen
    piped = subprocess.run(command, capture_output=True, text=True, timeout=60)
    assert piped.returncode == 0 and "solving [" not in piped.stderr
