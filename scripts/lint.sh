#!/usr/bin/env bash
# Checks the formatting and lint rules without changing a file: clang-format (the
# rules in .clang-format) over the C++, ruff (the rules in pyproject.toml) over the
# Python. Fails on the first finding of each tool; fix with `clang-format -i FILE`,
# `ruff check --fix` and `ruff format`.
set -euo pipefail
cd "$(dirname "$0")/.."

command -v clang-format >/dev/null || { echo "lint.sh needs clang-format" >&2; exit 1; }
command -v ruff >/dev/null || python3 -m pip install --quiet ruff

status=0
find src tests bench \( -name '*.cpp' -o -name '*.hpp' \) -print0 |
    xargs -0 clang-format --dry-run -Werror || status=1
ruff check python tests bench examples || status=1
ruff format --check python tests bench examples || status=1
exit "$status"
