"""The source archive holds the project's own files only: local virtual environments, builds and
wheels beside them stay out."""

import os
import pathlib
import shutil
import subprocess
import tarfile

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
LOCAL_FOLDERS = (".venv", "venv", "build", "dist", "wheelhouse")


def test_local_folders_stay_out_of_the_sdist(tmp_path, monkeypatch):
    build = pytest.importorskip("scikit_build_core.build")
    if shutil.which("git") is None or not (ROOT / ".git").exists():
        pytest.skip("needs a git checkout")
    listed = subprocess.run(
        ["git", "ls-files", "-z"], cwd=ROOT, capture_output=True, check=True
    ).stdout
    project = tmp_path / "project"
    for name in filter(None, listed.decode().split("\0")):
        if (ROOT / name).is_file():
            (project / name).parent.mkdir(parents=True, exist_ok=True)
            shutil.copy2(ROOT / name, project / name)
    for local in LOCAL_FOLDERS:
        (project / local / "lib").mkdir(parents=True)
        (project / local / "lib" / "big.so").write_bytes(os.urandom(1 << 20))
    monkeypatch.chdir(project)
    archive = tmp_path / build.build_sdist(str(tmp_path))
    with tarfile.open(archive) as sdist:
        names = {name.split("/", 1)[1] for name in sdist.getnames() if "/" in name}
    assert "pyproject.toml" in names and "src/binding/extract.cpp" in names
    assert not {name.split("/")[0] for name in names} & set(LOCAL_FOLDERS)
    assert archive.stat().st_size < 2 << 20
