"""The installed type information (the stubs of `tourwright`, the typed friendly layer) checks
the examples under `mypy --strict`."""
import pathlib
import subprocess
import sys

EXAMPLES = pathlib.Path(__file__).resolve().parents[2] / "examples"


def test_examples_pass_mypy_strict(tmp_path):
    done = subprocess.run(
        [sys.executable, "-m", "mypy", "--strict", "--cache-dir", str(tmp_path), str(EXAMPLES)],
        capture_output=True, text=True, cwd=tmp_path, timeout=300,
    )
    assert done.returncode == 0, done.stdout + done.stderr
    assert "Success" in done.stdout
