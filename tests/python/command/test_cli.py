"""The `tourwright` command: output shape, files written, and exit status 2 with one line for mistakes."""

import importlib.metadata
import json
import os
import pathlib
import select
import shutil
import subprocess
import xml.etree.ElementTree as ElementTree

import pytest
import tourwright_tools
from conftest import installed_script
from tourwright_tools import Tour, read_json, solve_problem
from tourwright_tools.command.cli import main
from tourwright_tools.files.atomic import write_text_atomically

EXAMPLES = pathlib.Path(__file__).resolve().parents[3] / "examples"


def test_bundled_example_prints_summary_and_schedule(capsys):
    assert main(["--max-descents", "1"]) == 0
    out = capsys.readouterr().out
    labels = [line.split(":")[0] for line in out.splitlines()[:12]]
    assert labels[:4] == ["problem", "tour", "distance", "lateness"]
    assert (
        "start:           2026-12-07" in out
        and "operating hours: 08:00 to 17:00 Europe/Berlin" in out
    )
    assert "tour:            Depot > " in out and out.split("\n")[1].endswith(" > Depot")
    table = out.split("\n\n")[-1].splitlines()
    assert table[0].split() == ["kind", "location", "start", "end", "length"]
    assert len(table) > 25 * 2 and {row.split()[0] for row in table[1:]} <= {
        "work",
        "travel",
        "wait",
    }


def test_solve_writes_json_and_svg(tmp_path, capsys):
    out_json, out_svg = tmp_path / "tour.json", tmp_path / "tour.svg"
    assert (
        main(
            [
                "solve",
                str(EXAMPLES / "delivery_day.json"),
                "--json",
                str(out_json),
                "--svg",
                str(out_svg),
            ]
        )
        == 0
    )
    tour = Tour.from_json(out_json.read_text())
    assert json.loads(out_json.read_text())["route"] == list(tour.route)
    # Without options, the default search: the same tour as solve_problem's default.
    alone = solve_problem(read_json(EXAMPLES / "delivery_day.json"))
    assert tour.route == alone.route and tour.iterations == alone.iterations > 1
    ElementTree.parse(out_svg)
    assert "Bakery" in capsys.readouterr().out


def test_classic_file_is_also_reported_in_the_literature_terms(capsys):
    assert main(["solve", str(EXAMPLES / "small.tsptw")]) == 0
    out = capsys.readouterr().out
    assert "In the literature's terms" in out and "feasible:        yes" in out


@pytest.mark.parametrize(
    "argv, message",
    [
        (["solve", "no/such/file.json"], "no/such/file.json: No such file or directory"),
        (
            ["solve", str(EXAMPLES / "small.tsptw"), "--time-limit", "-2"],
            "--time-limit: -2.0 is not",
        ),
        (["solve"], "the following arguments are required: file"),
        (["frobnicate"], "invalid choice: 'frobnicate'"),
        (["--time-limit", "soon"], "invalid float value: 'soon'"),
        (
            ["solve", str(EXAMPLES / "small.tsptw"), "--json", "no/such/dir/out.json"],
            "cannot write no/such/dir/out.json",
        ),
    ],
)
def test_user_mistakes_exit_2_with_one_line(argv, message, capsys):
    assert main(argv) == 2
    err = capsys.readouterr().err
    assert err.count("\n") == 1 and err.startswith("tourwright: ") and message in err


def test_bad_file_names_file_and_line(tmp_path, capsys):
    path = tmp_path / "bad.txt"
    path.write_text("2\n0 1\n1 zero\n0 5\n0 5\n")
    assert main(["solve", str(path)]) == 2
    assert capsys.readouterr().err == f"tourwright: {path}, line 3: 'zero' is not a number\n"


def test_a_bad_name_is_refused_before_any_output_and_a_late_tour_shown(tmp_path, capsys):
    late = 300_000_000_000  # in the year 11476
    problem = {
        "distance_matrix": [[0]],
        "duration_matrix": [[0]],
        "job_durations": [60],
        "time_windows": [[[late, late + 600]]],
        "check_units": False,
        "names": ["\udc80"],
    }
    (tmp_path / "p.json").write_text(json.dumps(problem))
    assert main(["solve", str(tmp_path / "p.json")]) == 2
    assert capsys.readouterr().out == ""
    (tmp_path / "p.json").write_text(json.dumps({**problem, "names": ["A"]}))
    assert main(["solve", str(tmp_path / "p.json")]) == 0
    assert "start:           11476-08-15 05:20:00 UTC" in capsys.readouterr().out


def test_control_characters_of_names_and_files_are_escaped_on_the_terminal_only(tmp_path, capsys):
    problem = read_json(pathlib.Path(tourwright_tools.__file__).parent / "example.json").to_dict()
    problem["names"][0] = "\x1b]0;owned\x07"
    path, out = tmp_path / "p\x1b[2J.json", str(tmp_path / "t.json")
    path.write_text(json.dumps(problem))
    assert main(["solve", str(path), "--json", out, "--max-descents", "5"]) == 0
    shown = capsys.readouterr().out
    assert not {"\x1b", "\x07"} & set(shown) and "\\x1b]0;owned\\x07 > " in shown
    assert (
        "p\\x1b[2J.json:" in shown and "\x1b]0;owned" in Tour.from_json(open(out).read()).names[0]
    )


def test_outputs_are_written_whole_and_never_over_the_problem_file(tmp_path, capsys):
    problem = tmp_path / "problem.json"
    shutil.copy(EXAMPLES / "delivery_day.json", problem)
    (tmp_path / "link.json").symlink_to(problem)
    for option in ("--json", "--svg", "--html"):
        assert main(["solve", str(problem), option, str(tmp_path / "link.json")]) == 2
        assert f"is the problem file {problem}" in capsys.readouterr().err
    # Two outputs to one file (also through a link, or one yet to be written) or both to
    # standard output would keep only the last: refused before any work.
    (tmp_path / "out.svg").write_text("old")
    (tmp_path / "alias.svg").symlink_to(tmp_path / "out.svg")
    for first, second in (("out.svg", "alias.svg"), ("new.svg", "./new.svg"), ("-", "-")):
        paths = [name if name == "-" else str(tmp_path / name) for name in (first, second)]
        assert main(["solve", str(problem), "--json", paths[0], "--html", paths[1]]) == 2
        captured = capsys.readouterr()
        assert captured.out == "" and captured.err.count("\n") == 1
        assert "--json and --html both write to" in captured.err
    assert main(["--svg", str(tmp_path / "p.svg"), "--html", str(tmp_path / "p.svg")]) == 2
    assert (tmp_path / "out.svg").read_text() == "old" and not (tmp_path / "new.svg").exists()
    assert problem.read_bytes() == (EXAMPLES / "delivery_day.json").read_bytes()
    with pytest.raises(UnicodeEncodeError):  # fails after much of the text is written
        write_text_atomically(tmp_path / "link.json", "x" * 100_000 + "\ud800")
    assert problem.read_bytes() == (EXAMPLES / "delivery_day.json").read_bytes()
    write_text_atomically(tmp_path / "link.json", "after")  # the link's target is replaced
    assert problem.read_text() == "after"
    assert sorted(os.listdir(tmp_path)) == ["alias.svg", "link.json", "out.svg", "problem.json"]


def test_console_script_is_installed():
    script = installed_script()
    done = subprocess.run(
        [script, "solve", str(EXAMPLES / "small.tsptw"), "--json", "-"],
        capture_output=True,
        text=True,
        timeout=60,
    )
    assert done.returncode == 0 and done.stderr.startswith("problem:")
    assert json.loads(done.stdout)["route"][0] == 0
    assert tourwright_tools.__version__ == importlib.metadata.version("tourwright")


def test_progress_bar_only_on_a_terminal():
    command = [
        installed_script(),
        "solve",
        str(EXAMPLES / "small.tsptw"),
        "--time-limit",
        "1",
        "--json",
        "-",
    ]
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
