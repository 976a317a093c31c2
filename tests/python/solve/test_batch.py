"""Batches: solve_many on any executor, the batch command's files and restarts, a Dask cluster
that loses a worker mid-batch, and files written whole or not at all."""

import concurrent.futures as cf
import csv
import json
import os
import signal
import threading
import time

import pytest
from conftest import batch_folder, delivery_problem
from tourwright_tools import BatchError, Tour, solve_many, solve_problem
from tourwright_tools.command.cli import main
from tourwright_tools.files.atomic import write_text_atomically

SEEDED = dict(seed=7, max_descents=40)


def routes(results):
    return [result.route if isinstance(result, Tour) else str(result) for result in results]


def test_solve_many_keeps_order_and_names_failures_on_any_executor():
    problems = [delivery_problem(30, seed) for seed in range(5)]
    problems.insert(2, "not a problem")
    alone = [solve_problem(p, **SEEDED).route for p in problems if not isinstance(p, str)]
    alone.insert(2, "problems[2]: problem: expected a Problem, got str")
    with cf.ProcessPoolExecutor(2) as processes:
        assert routes(solve_many(problems, executor=processes, **SEEDED)) == alone
    assert routes(solve_many(problems, **SEEDED)) == alone
    named = solve_many({"north": problems[0], "void": None}, max_descents=1)
    assert list(named) == ["north", "void"] and isinstance(named["void"], BatchError)
    with pytest.raises(TypeError, match="unexpected keyword argument 'frob'"):
        solve_many(problems, frob=1)
    with pytest.raises(ValueError, match="max_descents"):
        solve_many(problems, max_descents=0)


def results_of(out):
    rows = list(csv.DictReader(open(out / "summary.csv")))
    return {os.path.basename(row["file"]): (row["status"], row["distance"]) for row in rows}


def test_batch_writes_results_and_a_summary_and_resumes(tmp_path, capsys):
    folder, out = batch_folder(tmp_path, 3), tmp_path / "out"
    argv = [
        "batch",
        str(folder),
        "--out",
        str(out),
        "--workers",
        "2",
        "--max-descents",
        "5",
        "--seed",
        "1",
    ]
    assert main(argv) == 1
    assert "broken.json: distance_matrix[1]: row has 1 entries" in capsys.readouterr().err
    first = results_of(out)
    assert first["broken.json"] == ("failed", "")
    assert {status for status, _ in first.values()} == {"solved", "failed"}
    tour = Tour.from_json((out / "p1.tour.json").read_text())
    summary = json.load(open(out / "summary.json"))
    assert summary[2]["distance"] == tour.distance == int(first["p1.json"][1])
    (out / "p0.tour.json").write_text('{"route": [0, ')  # as a crash of an older writer leaves it
    (out / "p2.tour.json").unlink()
    assert main(argv) == 1
    again = results_of(out)
    assert [again[f"p{i}.json"][0] for i in range(3)] == ["solved", "kept", "solved"]
    assert again == {**first, "p1.json": ("kept", first["p1.json"][1])}
    (tmp_path / "p0.tsptw").write_text("1\n0\n0 10\n")
    assert main(["batch", str(folder), str(tmp_path / "p0.tsptw"), "--out", str(out)]) == 2
    assert "would both write p0.tour.json" in capsys.readouterr().err


def test_folder_entries_that_are_not_files_are_named_and_skipped(tmp_path, capsys):
    folder = batch_folder(tmp_path, 0)
    for link, target in [("dangling", "gone"), ("loop", "loop"), ("zero", "/dev/zero")]:
        os.symlink(target, folder / link)
    os.mkfifo(folder / "fifo")
    (folder / "sub").mkdir()
    assert main(["batch", str(folder), "--out", str(tmp_path / "out")]) == 1  # broken.json
    skipped = "dangling: a symbolic link to nothing|fifo: a FIFO|loop: a loop of symbolic links"
    err = capsys.readouterr().err
    for entry in f"{skipped}|sub: a folder|zero: a device".split("|"):
        assert f"tourwright: skipped {folder}/{entry}" in err
    assert len(err.splitlines()) == 6


@pytest.mark.parametrize("scheme, needs", [("tls", "TLS certificates"), ("ucx", "UCX")])
def test_a_scheduler_protocol_dask_is_not_set_up_for_is_one_line(tmp_path, capsys, scheme, needs):
    pytest.importorskip("distributed")
    argv = ["batch", str(batch_folder(tmp_path, 0)), "--out", str(tmp_path)]
    assert main([*argv, "--scheduler", f"{scheme}://127.0.0.1:9"]) == 2
    assert f"--scheduler: {scheme}:// needs {needs}" in capsys.readouterr().err


def test_a_dask_cluster_runs_the_batch_as_the_local_pool_and_survives_a_lost_worker(tmp_path):
    distributed = pytest.importorskip("distributed")
    folder = batch_folder(tmp_path, 8)
    options = ["--seed", "3", "--max-descents", "150"]
    assert main(["batch", str(folder), "--out", str(tmp_path / "local"), *options]) == 1
    cluster = distributed.LocalCluster(n_workers=2, threads_per_worker=1, dashboard_address=None)
    with cluster, distributed.Client(cluster) as client:
        pids = list(client.run(os.getpid).values())
        argv = [
            "batch",
            str(folder),
            "--out",
            str(tmp_path / "cluster"),
            "--scheduler",
            cluster.scheduler_address,
        ]
        outcome = []
        runner = threading.Thread(target=lambda: outcome.append(main(argv + options)))
        runner.start()
        while not any((tmp_path / "cluster").glob("*.tour.json")) and runner.is_alive():
            time.sleep(0.02)
        os.kill(pids[0], signal.SIGKILL)
        runner.join(timeout=120)
        assert outcome == [1]
        problems = [delivery_problem(60, seed) for seed in range(3)]
        assert routes(solve_many(problems, executor=client.get_executor(), **SEEDED)) == routes(
            solve_many(problems, **SEEDED)
        )
    local, remote = results_of(tmp_path / "local"), results_of(tmp_path / "cluster")
    assert remote == local and sum(status == "solved" for status, _ in remote.values()) == 8


def test_an_atomic_write_that_fails_leaves_the_old_file_and_no_temporary(tmp_path):
    target = tmp_path / "result.json"
    write_text_atomically(target, "old")
    with pytest.raises(UnicodeEncodeError):
        write_text_atomically(target, "new \ud800")
    assert target.read_text() == "old" and os.listdir(tmp_path) == ["result.json"]
