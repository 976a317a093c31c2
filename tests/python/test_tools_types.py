"""The installed type information (the stubs of `tourwright`, the typed friendly layer) passes
`mypy --strict`, and so do the examples that use it."""

import pathlib
import subprocess
import sys

import pytest

EXAMPLES = pathlib.Path(__file__).resolve().parents[2] / "examples"


@pytest.mark.parametrize(
    "target", [[str(EXAMPLES)], ["-p", "tourwright_tools"]], ids=["examples", "package"]
)
def test_mypy_strict(tmp_path, target):
    done = subprocess.run(
        [sys.executable, "-m", "mypy", "--strict", "--cache-dir", str(tmp_path), *target],
        capture_output=True,
        text=True,
        cwd=tmp_path,
        timeout=300,
    )
    assert done.returncode == 0, done.stdout + done.stderr
    assert "Success" in done.stdout
