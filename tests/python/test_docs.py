"""Every Python snippet of the README passes `mypy --strict` and the quick start runs; every
script in examples/ and every shell command of the README's code blocks runs (or is skipped
for a stated reason)."""

import os
import pathlib
import posixpath
import re
import shutil
import subprocess
import sys

import pytest
from conftest import mypy_strict

REPO = pathlib.Path(__file__).resolve().parents[2]
README_TEXT = (REPO / "README.md").read_text(encoding="utf-8")
SNIPPETS = re.findall(r"```python\n(.*?)```", README_TEXT, re.S)
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

# README commands that a test cannot run (searched for in each command), and why.
NOT_RUN = {
    r"^python3? -m venv\b": "makes a virtual environment; the tests run in one",
    r"^(\.|source) \S*activate$": "activates that environment",
    r"\bpip install\b": "installs the package; the tests check the installed one",
    r"^bash scripts/test\.sh$": "is the whole test run",
    r"\bpython3? -m pytest\b": "runs this suite (a sanitized build, a long fuzz profile)",
    r"^(cmake|build/)": "builds or runs the core under sanitizers: minutes",
    r"^dask (scheduler|worker)\b|--scheduler tcp://SCHEDULER\b": "needs a Dask cluster",
    r"^export DASK_": "tunes the processes of a Dask cluster",
    r"^tourwright\b.*(\[--|\.\.\.)": "a synopsis of options, not a command",
}


def readme_commands():
    """(folder, command) for each command of the README: every line of a shell block, and every
    line of a plain block that starts with `tourwright` (a synopsis or a command), continuation
    lines joined, comments dropped, split at `&&` and `;`. `cd DIR` moves the block's later
    commands into DIR."""
    commands = []
    for language, body in re.findall(r"(?ms)^```(\w*)\n(.*?)^```", README_TEXT):
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
                    commands.append((folder, re.sub(r"\s+", " ", command)))
    return commands


COMMANDS = readme_commands()


def test_the_snippets_pass_mypy_strict_and_the_quick_start_runs(tmp_path):
    for k, snippet in enumerate(SNIPPETS):
        (tmp_path / f"snippet_{k}.py").write_text(snippet, encoding="utf-8")
    done = mypy_strict(tmp_path, *sorted(map(str, tmp_path.glob("snippet_*.py"))))
    assert done.returncode == 0, done.stdout + done.stderr
    ran = subprocess.run(
        [sys.executable, "snippet_0.py"], capture_output=True, text=True, cwd=tmp_path, timeout=60
    )
    assert ran.returncode == 0 and "lateness=0" in ran.stdout and "-08:00" in ran.stdout, ran.stderr


@pytest.mark.parametrize("script", sorted(EXAMPLES.glob("*.py")), ids=lambda path: path.name)
def test_every_example_runs(tmp_path, script):
    assert script.name in EXAMPLE_OUTPUT, f"add what {script.name} prints to EXAMPLE_OUTPUT"
    ran = subprocess.run(
        [sys.executable, str(script)], capture_output=True, text=True, cwd=tmp_path, timeout=120
    )
    assert ran.returncode == 0, ran.stderr
    assert re.search(EXAMPLE_OUTPUT[script.name], ran.stdout), ran.stdout


def test_the_readme_commands_include_the_main_job():
    assert (".", "tourwright") in COMMANDS
    assert (".", "bash scripts/test.sh") in COMMANDS


@pytest.mark.parametrize("folder, command", COMMANDS, ids=[command[:60] for _, command in COMMANDS])
def test_every_readme_command_runs(tmp_path, folder, command):
    skipped = [reason for pattern, reason in NOT_RUN.items() if re.search(pattern, command)]
    if skipped:
        pytest.skip(skipped[0])
    assert re.match(r"tourwright\b", command), f"run it here, or add it to NOT_RUN: {command}"
    for name in ("docs", "examples"):
        shutil.copytree(REPO / name, tmp_path / name)
    ran = subprocess.run(
        ["bash", "-c", command],
        capture_output=True,
        text=True,
        cwd=tmp_path / folder,
        env=ENVIRONMENT,
        timeout=120,
    )
    output = ran.stdout + ran.stderr
    assert ran.returncode == 0, output
    # A solved problem reports its lateness (the summary, or the JSON); a batch its count.
    assert re.search(r"lateness|problems solved", output) and "Traceback" not in output, output
