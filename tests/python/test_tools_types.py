"""The installed type information (the stubs of `tourwright`, the typed friendly layer) passes
`mypy --strict`, and so do the examples that use it; the stubs declare only what exists."""

import ast
import importlib
import pathlib

import pytest
from conftest import mypy_strict

EXAMPLES = pathlib.Path(__file__).resolve().parents[2] / "examples"


@pytest.mark.parametrize(
    "target", [[str(EXAMPLES)], ["-p", "tourwright_tools"]], ids=["examples", "package"]
)
def test_mypy_strict(tmp_path, target):
    done = mypy_strict(tmp_path, *target)
    assert done.returncode == 0, done.stdout + done.stderr
    assert "Success" in done.stdout


def declared(stub):
    """The public names a stub declares at its top level, each with the members of its class
    (none for a function or a value)."""
    names = {}
    for node in ast.parse(stub.read_text(encoding="utf-8")).body:
        if isinstance(node, (ast.ClassDef, ast.FunctionDef)):
            members = node.body if isinstance(node, ast.ClassDef) else []
            names[node.name] = [
                m.name if isinstance(m, ast.FunctionDef) else m.target.id
                for m in members
                if isinstance(m, (ast.FunctionDef, ast.AnnAssign))
            ]
        elif isinstance(node, ast.ImportFrom):
            names.update({a.name: [] for a in node.names if a.asname == a.name})
        elif isinstance(node, (ast.Assign, ast.AnnAssign)):
            targets = node.targets if isinstance(node, ast.Assign) else [node.target]
            names.update({t.id: [] for t in targets if t.id != "__all__"})
    return {name: members for name, members in names.items() if not name.startswith("_")}


@pytest.mark.parametrize("module", ["tourwright", "tourwright_tools._classes"])
def test_what_the_stubs_declare_exists_at_run_time(module):
    runtime = importlib.import_module(module)
    path = pathlib.Path(runtime.__file__)
    stub = (
        path.parent / "tourwright-stubs" / "__init__.pyi"
        if module == "tourwright"
        else path.with_suffix(".pyi")
    )
    names = declared(stub)
    assert "PyOutput" in names or "PyEvent" in names
    assert sorted(names) == sorted(runtime.__all__)
    for name, members in names.items():
        assert hasattr(runtime, name), f"{stub} declares {name}, which {module} does not have"
        missing = [m for m in members if not hasattr(getattr(runtime, name), m)]
        assert not missing, f"{stub}: {name} has no {missing}"


def test_the_classes_type_check_from_tourwright_tools_and_not_from_tourwright(tmp_path):
    (tmp_path / "good.py").write_text(
        "import tourwright\n"
        "from tourwright_tools import PanicException, PyEvent, PyWork\n"
        "try:\n"
        "    events: list[PyEvent] = [*(tourwright.solve([[0]]).schedule or [])]\n"
        "except PanicException:\n"
        "    pass\n"
        "work: type[PyWork] = PyWork\n"
    )
    (tmp_path / "bad.py").write_text(
        "import tourwright\n"
        "try:\n"
        "    tourwright.solve([])\n"
        "except tourwright.PanicException:\n"
        "    pass\n"
        "event: tourwright.PyEvent\n"
    )
    done = mypy_strict(tmp_path, "good.py", "bad.py")
    errors = [line.split(" error: ")[0] for line in done.stdout.splitlines() if " error: " in line]
    assert errors == ["bad.py:4:", "bad.py:6:"], done.stdout
