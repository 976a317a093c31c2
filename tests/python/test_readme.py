"""Every Python snippet of the README passes `mypy --strict`, and the quick start runs."""

import pathlib
import re
import subprocess
import sys

README = pathlib.Path(__file__).resolve().parents[2] / "README.md"
SNIPPETS = re.findall(r"```python\n(.*?)```", README.read_text(encoding="utf-8"), re.S)


def test_the_snippets_pass_mypy_strict_and_the_quick_start_runs(tmp_path):
    for k, snippet in enumerate(SNIPPETS):
        (tmp_path / f"snippet_{k}.py").write_text(snippet, encoding="utf-8")
    done = subprocess.run(
        [
            sys.executable,
            "-m",
            "mypy",
            "--strict",
            "--cache-dir",
            str(tmp_path / "cache"),
            *sorted(map(str, tmp_path.glob("snippet_*.py"))),
        ],
        capture_output=True,
        text=True,
        cwd=tmp_path,
        timeout=300,
    )
    assert done.returncode == 0, done.stdout + done.stderr
    ran = subprocess.run(
        [sys.executable, "snippet_0.py"], capture_output=True, text=True, cwd=tmp_path, timeout=60
    )
    assert ran.returncode == 0 and "lateness=0" in ran.stdout and "-08:00" in ran.stdout, ran.stderr
