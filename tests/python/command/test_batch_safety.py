"""Batches: tampered or stale results, links and collisions, interrupts, lost executors."""

import concurrent.futures as cf
import csv
import json
import os
import signal
import subprocess
import sys
import threading
import time

import pytest
from conftest import batch_folder, delivery_problem
from tourwright_tools import BatchError, Problem, Tour, solve_many, solve_problem
from tourwright_tools.command.cli import main


def summary(out):
    return {os.path.basename(row["file"]): row for row in csv.DictReader(open(out / "summary.csv"))}


def test_a_tour_refuses_what_it_can_tell_is_wrong_without_its_problem():
    good = solve_problem(delivery_problem(8, 2), max_descents=2).to_dict()
    changes = [{"route": [0, 0, *range(1, 7)]}, {"distance": -5}, {"working_time": 2**64}]
    for change in [*changes, {"schedule": [{**good["schedule"][0], "location": 8}]}]:
        with pytest.raises(ValueError):
            Tour.from_dict({**good, **change})
    tour = Tour.from_dict(good)
    with pytest.raises(ValueError, match="twice"):  # a tampered state, as unpickling hands it over
        Tour.__new__(Tour).__setstate__({**tour.__dict__, "route": (0, *tour.route)})


def test_the_resume_keeps_only_results_of_the_same_problem_and_options_that_check_out(tmp_path):
    folder, out = batch_folder(tmp_path, 6), tmp_path / "out"
    argv = ["batch", str(folder), "--out", str(out), "--max-descents", "3", "--seed", "1"]
    assert main(argv) == 1
    result = {i: json.loads((out / f"p{i}.tour.json").read_text()) for i in range(6)}
    swapped = result[1]["route"][::-1]  # a permutation, but not the schedule's order
    (out / "p1.tour.json").write_text(json.dumps({**result[1], "route": swapped}))
    (out / "p2.tour.json").write_text(json.dumps({**result[2], "distance": 1}))
    (out / "p3.tour.json").write_text(json.dumps({**result[3], "batch": None}))
    (folder / "p4.json").write_text(json.dumps(delivery_problem(5, 4).to_dict()))
    os.replace(out / "p5.tour.json", tmp_path / "elsewhere.json")
    os.symlink(tmp_path / "elsewhere.json", out / "p5.tour.json")
    assert main(argv) == 1
    summed = " ".join(row["status"] + "/" + row["note"][15:19] for row in summary(out).values())
    assert summed == "failed/ kept/ solved/reje solved/reje solved/stal solved/stal solved/unre"
    assert main([*argv[:-4], "--max-descents", "4", "--seed", "1"]) == 1
    assert summary(out)["p0.json"]["note"] == "earlier result stale: options changed"


def test_the_batch_writes_only_regular_files_in_its_folder_and_overwrites_no_input(
    tmp_path, monkeypatch
):
    folder, out = tmp_path / "in", tmp_path / "out"
    folder.mkdir(), out.mkdir()
    problem = json.dumps({"distance_matrix": [[0, 1], [1, 0]]})
    (folder / "a.json").write_text(problem)
    (tmp_path / "victim.txt").write_text("victim")
    os.symlink(tmp_path / "victim.txt", out / "a.tour.json")
    os.symlink(tmp_path / "victim.txt", out / "summary.csv")
    assert main(["batch", str(folder), "--out", str(out)]) == 0
    assert (tmp_path / "victim.txt").read_text() == "victim"
    assert not (out / "a.tour.json").is_symlink() and not (out / "summary.csv").is_symlink()
    (folder / "summary.json").write_text(problem)
    assert main(["batch", str(folder), "--out", str(folder)]) == 2
    assert (folder / "summary.json").read_text() == problem
    (folder / "summary.json").unlink()
    monkeypatch.chdir(folder)
    (folder / "=1+2.json").write_text(problem)
    assert main(["batch", "=1+2.json", "--out", str(out)]) == 0
    assert list(summary(out)) == ["'=1+2.json"]


def test_ctrl_c_ends_a_batch_at_once_with_the_running_searches_tours(tmp_path):
    folder = batch_folder(tmp_path, 4)
    argv = [sys.executable, "-m", "tourwright_tools", "batch", str(folder), "--time-limit", "30"]
    started, run = (
        time.monotonic(),
        subprocess.Popen([*argv, "--out=out", "--workers=2"], cwd=tmp_path),
    )
    time.sleep(3)  # the first two searches are running
    run.send_signal(signal.SIGINT)
    assert run.wait(timeout=20) == 130 and time.monotonic() - started < 20
    interrupted = [r for r in summary(tmp_path / "out").values() if r["note"][:3] == "int"]
    assert len(interrupted) == 2 and all(float(row["seconds"]) < 20 for row in interrupted)


def test_solve_many_keeps_the_other_results_when_one_callback_or_worker_dies():
    problems = [delivery_problem(30, seed) for seed in range(4)]

    def interrupt_one(elapsed, descents, best):
        if threading.current_thread().name.endswith("_0"):
            raise KeyboardInterrupt

    results = solve_many(problems, 0.5, on_progress=interrupt_one)
    errors = {getattr(result, "error", "a Tour") for result in results}
    assert errors == {"a Tour", "KeyboardInterrupt"}
    threading.Timer(1, os.kill, (os.getpid(), signal.SIGINT)).start()
    started, before = time.monotonic(), threading.active_count()
    with pytest.raises(KeyboardInterrupt):
        solve_many(problems, 30)
    while threading.active_count() > before and time.monotonic() - started < 15:
        time.sleep(0.05)
    assert threading.active_count() <= before and time.monotonic() - started < 15
    with cf.ProcessPoolExecutor(2) as processes:
        results = solve_many([*problems[:2], ExitsItsWorker(), *problems[2:]], executor=processes)
    assert all(isinstance(result, BatchError) for result in results[2:])
    assert all("ProcessPoolExecutor broke" in result.message for result in results[2:])


class ExitsItsWorker:
    def __reduce__(self):
        return os._exit, (1,)  # unpickled in the worker process, it ends it at once


def test_a_lost_scheduler_is_told_once_and_what_finished_is_summed_up(tmp_path):
    pytest.importorskip("distributed")
    folder, file = batch_folder(tmp_path, 6), str(tmp_path / "cluster.json")

    def dask(role, *more):
        command = [sys.executable, "-m", f"distributed.cli.dask_{role}", "--scheduler-file", file]
        return subprocess.Popen([*command, *more], stderr=subprocess.DEVNULL)

    scheduler, worker = dask("scheduler", "--port", "0"), dask("worker", "--nworkers", "2")
    time.sleep(6)  # both up
    argv = ["-m", "tourwright_tools", "batch", str(folder), "--out", "out", "--time-limit", "2"]
    argv += ["--scheduler", json.load(open(file))["address"]]
    run = subprocess.Popen([sys.executable, *argv], cwd=tmp_path, stderr=-1, text=True)
    while not any((tmp_path / "out").glob("*.tour.json")) and run.poll() is None:
        time.sleep(0.05)
    scheduler.kill()
    try:
        assert run.wait(timeout=60) == 1
        told = run.stderr.read()
        assert told.count("the Dask cluster was lost") == 1 and "Traceback" not in told
        assert "solved" in [row["status"] for row in summary(tmp_path / "out").values()]
    finally:
        run.kill(), worker.kill(), scheduler.wait(), worker.wait()


def test_the_resume_times_the_kept_route_afresh_with_hours_and_split_work(tmp_path):
    # Under hours of 08:00-17:00 the ten-hour job goes on the next morning: two work events.
    day, hour = 1796601600, 3600
    problem = Problem(
        [[0, 5, 7], [5, 0, 4], [7, 4, 0]],
        [[0, 900, 1200], [900, 0, 600], [1200, 600, 0]],
        [0, 10 * hour, 1800],
        [
            [(day + 8 * hour, day + 60 * hour)],
            [(day + 8 * hour, day + 40 * hour)],
            [(day + 9 * hour, day + 12 * hour), (day + 32 * hour, day + 36 * hour)],
        ],
        operation_times=(8 * hour, 17 * hour),
        depot=0,
    )
    folder, out = tmp_path / "in", tmp_path / "out"
    folder.mkdir()
    (folder / "d.json").write_text(json.dumps(problem.to_dict()))
    argv = ["batch", str(folder), "--out", str(out)]
    assert main(argv) == 0
    result = json.loads((out / "d.tour.json").read_text())
    assert sum(event["kind"] == "work" for event in result["schedule"]) > problem.size
    assert main(argv) == 0 and summary(out)["d.json"]["status"] == "kept"
    (out / "d.tour.json").write_text(json.dumps({**result, "lateness": result["lateness"] + 60}))
    assert main(argv) == 0
    assert "lateness is not that of its route" in summary(out)["d.json"]["note"]
