"""A result says what it is: a search cut short by its limit, the default search's effort, and
the command's limit counted from its own start."""

import json
import math
import os
import pathlib
import signal
import subprocess
import sys
import time

import pytest
from conftest import installed_script, planned_day
from tourwright_tools import Problem, evaluate_route, solve_problem
from tourwright_tools.command.cli import main

ROOT = pathlib.Path(__file__).resolve().parents[3]
sys.path.insert(0, str(ROOT / "bench"))
from realistic_days import realistic_day  # noqa: E402


def window_orders(problem):
    """Two of the orders the start tour is chosen from: the depot, then the others by their
    last window's end, or by the middle of their windows."""
    windows = problem.time_windows
    ends = sorted(range(1, problem.size), key=lambda k: (windows[k][-1][1], windows[k][0][0], k))
    middles = sorted(
        range(1, problem.size), key=lambda k: (windows[k][0][0] + windows[k][-1][1], k)
    )
    return (0, *ends), (0, *middles)


def nearest_neighbour(distances):
    order, left = [0], set(range(1, len(distances)))
    while left:
        order.append(min(left, key=lambda k: (distances[order[-1]][k], k)))
        left.remove(order[-1])
    return tuple(order)


def test_a_search_cut_short_returns_the_start_tour_and_says_so():
    timed = planned_day(30, seed=2)
    points = [(math.cos(k * 2.4) * k, math.sin(k * 2.4) * k) for k in range(40)]
    plain = Problem([[round(100 * math.dist(p, q)) for q in points] for p in points])
    for problem in (timed, plain):
        cut = solve_problem(problem, time_limit=0, depot=0)
        assert cut.cut_short and cut.iterations == 0 and cut.route != tuple(range(problem.size))
        assert "cut_short=True" in repr(cut) and json.loads(cut.to_json())["cut_short"] is True
        searched = solve_problem(problem, max_descents=1, depot=0)
        assert not searched.cut_short and searched.iterations == 1
    # Without windows the start is the nearest-neighbour tour; with them, no later than the
    # window orders it is chosen among.
    assert solve_problem(plain, time_limit=0, depot=0).route == nearest_neighbour(
        plain.distance_matrix.tolist()
    )
    cut = solve_problem(timed, time_limit=0, depot=0)
    orders = [evaluate_route(timed, order, depot=0) for order in window_orders(timed)]
    assert cut.lateness <= min(tour.lateness for tour in orders) and cut.lateness > 0


def test_the_default_search_is_reproducible_and_on_time_where_one_descent_is_late():
    day = realistic_day(200, seed=4)
    assert solve_problem(day, max_descents=1).lateness > 0
    first, again = solve_problem(day), solve_problem(day)
    assert first.lateness == 0 and not first.cut_short and first.iterations > 100
    assert (first.route, first.iterations) == (again.route, again.iterations)
    # "multistart" keeps the one descent of tourwright.solve.
    assert solve_problem(day, strategy="multistart").iterations == 1


@pytest.fixture(scope="module")
def day_file(tmp_path_factory):
    path = tmp_path_factory.mktemp("day") / "day.json"
    path.write_text(json.dumps(planned_day(60, seed=3).to_dict() | {"depot": 0}))
    return path


def test_a_cut_short_tour_is_marked_in_the_json_warned_of_and_exits_3(day_file, tmp_path, capsys):
    out = tmp_path / "tour.json"
    assert main(["solve", str(day_file), "--time-limit", "0", "--json", str(out)]) == 3
    err = capsys.readouterr().err
    assert (
        "warning: the time limit of 0 s ended the search before its first descent finished" in err
    )
    assert "--time-limit" in err.splitlines()[-1] and json.loads(out.read_text())["cut_short"]
    assert main(["batch", str(day_file), "--out", str(tmp_path / "b"), "--time-limit", "0"]) == 3
    summary = json.loads((tmp_path / "b" / "summary.json").read_text())
    assert summary[0]["cut_short"] is True and "cut short" in capsys.readouterr().err


def test_the_limit_counts_from_the_commands_own_start(day_file):
    # A shell that runs something first and then execs the command: the process is older
    # than the command by then.
    command = f"sleep 2 && exec {installed_script()} solve {day_file} --time-limit 1 --json -"
    done = subprocess.run(["bash", "-c", command], capture_output=True, text=True, timeout=60)
    assert done.returncode == 0, done.stderr
    tour = json.loads(done.stdout)
    assert not tour["cut_short"] and tour["iterations"] > 1


def test_an_interrupted_solve_prints_its_best_tour_and_exits_130(day_file):
    script = installed_script()
    running = subprocess.Popen(
        [script, "solve", str(day_file), "--time-limit", "60"],
        stdout=subprocess.PIPE,
        stderr=subprocess.PIPE,
        text=True,
    )
    time.sleep(3)
    running.send_signal(signal.SIGINT)
    out, err = running.communicate(timeout=30)
    assert running.returncode == 130, err
    assert "tour:" in out and "interrupted: this is the best tour found" in out


def test_outputs_survive_a_reader_that_goes_away_and_bad_paths_fail_first(day_file, tmp_path):
    svg, page = tmp_path / "t.svg", tmp_path / "t.json"
    command = f"{installed_script()} solve {day_file} --max-descents 1 --svg {svg} --json {page} | head -1"
    subprocess.run(["bash", "-c", command], capture_output=True, timeout=60, check=True)
    assert svg.read_text().startswith("<svg") or "<svg" in svg.read_text()
    assert json.loads(page.read_text())["route"][0] == 0
    began = time.monotonic()
    done = subprocess.run(
        [
            installed_script(),
            "solve",
            str(day_file),
            "--time-limit",
            "30",
            "--svg",
            str(tmp_path / "no" / "t.svg"),
        ],
        capture_output=True,
        text=True,
        timeout=60,
    )
    assert done.returncode == 2 and "there is no folder" in done.stderr and not done.stdout
    assert time.monotonic() - began < 20  # refused before the 30 s search


def test_command_edges(day_file, tmp_path, capsys):
    out = tmp_path / "open.json"
    # An end alone leaves from the file's depot.
    assert (
        main(["solve", str(day_file), "--end", "open", "--max-descents", "3", "--json", str(out)])
        == 0
    )
    tour = json.loads(out.read_text())
    assert tour["route"][0] == 0 and tour["returns"] is False
    with pytest.raises(SystemExit):
        main(["batch", "--help"])
    help_text = capsys.readouterr().out
    assert "--start" in help_text and "--json" not in help_text and "--svg" not in help_text
    module = subprocess.run(
        [sys.executable, "-m", "tourwright_tools", "--version"],
        capture_output=True,
        text=True,
        timeout=60,
    )
    assert module.returncode == 0 and module.stdout.startswith("tourwright ")
    one_core = "import os; os.sched_setaffinity(0, {0}); from tourwright_tools.solve.batch import default_workers; print(default_workers())"
    if hasattr(os, "sched_setaffinity"):
        cores = subprocess.run(
            [sys.executable, "-c", one_core], capture_output=True, text=True, timeout=60
        )
        assert cores.stdout.strip() == "1"
