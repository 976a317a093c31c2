#!/usr/bin/env bash
# The formatting and lint rules: clang-format (the rules in .clang-format) over the C++
# of src/, tests/ and bench/, ruff (the rules in pyproject.toml) over the Python.
#   scripts/lint.sh          checks without changing a file; fails on any finding
#   scripts/lint.sh --fix    formats every file in place and applies ruff's safe fixes
# lint-imports (import-linter, the contracts in pyproject.toml) over the friendly layer's
# subpackages: each imports only those below it (python/tourwright_tools/README.md).
# clang-format's output differs between major versions: the checks use the one that
# scripts/test.sh installs (Debian 12's, 14).
set -euo pipefail
cd "$(dirname "$0")/.."

fix=0
case "${1:-}" in
    "") ;;
    --fix) fix=1 ;;
    *) echo "usage: scripts/lint.sh [--fix]" >&2; exit 2 ;;
esac
command -v clang-format >/dev/null || { echo "lint.sh needs clang-format" >&2; exit 1; }
command -v ruff >/dev/null || { echo "lint.sh needs ruff" >&2; exit 1; }
command -v lint-imports >/dev/null || { echo "lint.sh needs lint-imports (import-linter)" >&2; exit 1; }

cpp_files() { find src tests bench \( -name '*.cpp' -o -name '*.hpp' \) -print0; }
python_folders=(python tests bench examples)

if [ "$fix" = 1 ]; then
    cpp_files | xargs -0 clang-format -i
    ruff check --fix "${python_folders[@]}"
    ruff format "${python_folders[@]}"
    exit 0
fi
status=0
cpp_files | xargs -0 clang-format --dry-run -Werror || status=1
ruff check "${python_folders[@]}" || status=1
ruff format --check "${python_folders[@]}" || status=1
# It only parses the source: the package need not be built. No cache: it would land in the tree.
PYTHONPATH=python lint-imports --no-cache || status=1
exit "$status"
