"""Every code block of the README and of docs/ does what it says: Python blocks pass
`mypy --strict`, run, and print what their `print(...)  # output` comments show; JSON blocks are
problem files that solve; every shell command runs (or is skipped for a stated reason). Every
script in examples/ runs too."""

import os
import pathlib
import posixpath
import re
import shutil
import subprocess
import sys

import pytest
from conftest import mypy_strict
from tourwright_tools import read_problem_file, solve_problem

REPO = pathlib.Path(__file__).resolve().parents[2]
PAGES = [REPO / "README.md", *sorted((REPO / "docs").rglob("*.md"))]
# (page, language, body) of every fenced block, in page order.
BLOCKS = [
    (page.relative_to(REPO).as_posix(), language, body)
    for page in PAGES
    for language, body in re.findall(r"(?ms)^```(\w*)\n(.*?)^```", page.read_text("utf-8"))
]
SNIPPETS = [(page, body) for page, language, body in BLOCKS if language == "python"]
EXAMPLES = REPO / "examples"
# Where `tourwright` and `python3` are those of the interpreter running the tests.
ENVIRONMENT = {
    **os.environ,
    "PATH": f"{pathlib.Path(sys.executable).parent}{os.pathsep}{os.environ['PATH']}",
}

# What each script of examples/ prints when it has done its job.
EXAMPLE_OUTPUT = {
    "solve_example.py": r"(?m)^lateness: +0h00$(.|\n)*^  \d\d:\d\d-\d\d:\d\d  work at Depot$",
    "friendly_example.py": r"(?m)^Tour\(route=\[0, 2, 1\](.|\n)*^classic: .* feasible True$",
}

# Commands that a test cannot run (searched for in each command), and why.
NOT_RUN = {
    r"^python3? -m venv\b": "makes a virtual environment; the tests run in one",
    r"^(\.|source) \S*activate$": "activates that environment",
    r"\bpip install\b": "installs the package; the tests check the installed one",
    r"^bash scripts/test\.sh$": "is the whole test run",
    r"^bash scripts/docs\.sh$": "builds this documentation, a step of the test run of its own",
    r"\bpython3? -m pytest\b": "runs this suite (a sanitized build, a long fuzz profile)",
    r"^(cmake|build/|cp -R python/)": "builds the core or the module under sanitizers: minutes",
    r"^python3? bench/": "a benchmark: minutes, and never part of the tests",
    r"^dask (scheduler|worker)\b|--scheduler tcp://SCHEDULER\b": "needs a Dask cluster",
    r"^export DASK_": "tunes the processes of a Dask cluster",
    r"^tourwright\b.*(\[--|\[search|\.\.\.)": "a synopsis of options, not a command",
    r"^tourwright serve\b": "starts the service, which runs until it is stopped",
    r"\bcurl\b": "needs a running service",
    r"^(wget|docker)\b": "fetches a map extract or runs a routing server: minutes, and the network",
}


def shell_commands():
    """(page, folder, command) for each command: every line of a shell block, and every line of
    a plain block that starts with `tourwright` (a synopsis or a command), continuation lines
    joined, comments dropped, split at `&&` and `;`. `cd DIR` moves the block's later commands
    into DIR."""
    commands = []
    for page, language, body in BLOCKS:
        if language not in ("", "sh", "bash", "shell"):
            continue
        folder = "."
        for line in body.replace("\\\n", " ").splitlines():
            line = re.sub(r"(^|\s)#.*", "", line).strip()
            if not line or (not language and not re.match(r"tourwright\b", line)):
                continue
            for command in re.split(r"\s*(?:&&|;)\s*", line):
                moved = re.fullmatch(r"cd (\S+)", command)
                if moved:
                    folder = posixpath.normpath(posixpath.join(folder, moved[1]))
                else:
                    commands.append((page, folder, re.sub(r"\s+", " ", command)))
    return commands


COMMANDS = shell_commands()


def in_copy_of_the_repo(tmp_path):
    """tmp_path with the folders the blocks read (examples/, docs/)."""
    for name in ("docs", "examples"):
        shutil.copytree(REPO / name, tmp_path / name)
    return tmp_path


def test_the_python_blocks_pass_mypy_strict(tmp_path):
    for k, (_, snippet) in enumerate(SNIPPETS):
        (tmp_path / f"snippet_{k}.py").write_text(snippet, encoding="utf-8")
    done = mypy_strict(tmp_path, *sorted(map(str, tmp_path.glob("snippet_*.py"))))
    assert done.returncode == 0, done.stdout + done.stderr


@pytest.mark.parametrize("snippet", [body for _, body in SNIPPETS], ids=[p for p, _ in SNIPPETS])
def test_every_python_block_runs_and_prints_what_it_shows(tmp_path, snippet):
    ran = subprocess.run(
        [sys.executable, "-c", snippet],
        capture_output=True,
        text=True,
        cwd=in_copy_of_the_repo(tmp_path),
        timeout=120,
    )
    assert ran.returncode == 0, ran.stderr
    shown = re.findall(r"(?m)^\s*print\(.*\)  # (.*?)(?:,? \.\.\.\)?)?$", snippet)
    for output in shown:
        assert output in ran.stdout, f"{output!r} not printed:\n{ran.stdout}"


@pytest.mark.parametrize(
    "text", [body for _, language, body in BLOCKS if language == "json"], ids=lambda _: "json"
)
def test_every_json_block_is_a_problem_file_that_solves(tmp_path, text):
    (tmp_path / "problem.json").write_text(text, encoding="utf-8")
    problem, options = read_problem_file(tmp_path / "problem.json")
    tour = solve_problem(problem, **options)
    assert sorted(tour.route + tour.skipped) == list(range(problem.size)) and tour.lateness == 0


@pytest.mark.parametrize("script", sorted(EXAMPLES.glob("*.py")), ids=lambda path: path.name)
def test_every_example_runs(tmp_path, script):
    assert script.name in EXAMPLE_OUTPUT, f"add what {script.name} prints to EXAMPLE_OUTPUT"
    ran = subprocess.run(
        [sys.executable, str(script)], capture_output=True, text=True, cwd=tmp_path, timeout=120
    )
    assert ran.returncode == 0, ran.stderr
    assert re.search(EXAMPLE_OUTPUT[script.name], ran.stdout), ran.stdout


def test_the_readme_shows_the_two_commands():
    assert ("README.md", ".", "python3 -m pip install .") in COMMANDS
    assert ("README.md", ".", "tourwright") in COMMANDS
    assert ("README.md", ".", "bash scripts/test.sh") in COMMANDS


@pytest.mark.parametrize(
    "folder, command", [c[1:] for c in COMMANDS], ids=[f"{p}: {c[:50]}" for p, _, c in COMMANDS]
)
def test_every_shell_command_runs(tmp_path, folder, command):
    skipped = [reason for pattern, reason in NOT_RUN.items() if re.search(pattern, command)]
    if skipped:
        pytest.skip(skipped[0])
    assert re.match(r"tourwright\b", command), f"run it here, or add it to NOT_RUN: {command}"
    ran = subprocess.run(
        ["bash", "-c", command],
        capture_output=True,
        text=True,
        cwd=in_copy_of_the_repo(tmp_path) / folder,
        env=ENVIRONMENT,
        timeout=120,
    )
    output = ran.stdout + ran.stderr
    assert ran.returncode == 0, output
    # A solved problem reports its lateness (the summary, or the JSON); a batch its count.
    assert re.search(r"lateness|problems solved", output) and "Traceback" not in output, output
