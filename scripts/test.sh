#!/usr/bin/env bash
# Installs what the tests need and runs every test, building each configuration once:
#   1. the lint rules and the documentation site (before anything is built);
#   2. the wheel a user installs, built with GCC together with the core's GoogleTest suite
#      (run by ctest), repaired, checked in a fresh environment without a compiler, and
#      installed here for the Python suite (pytest);
#   3. the core and its suite again with Clang;
#   4. the core, its suite, the fuzz driver and the module under AddressSanitizer and
#      UndefinedBehaviorSanitizer, one build for both the core suite and the Python suite.
# Each stage prints how long it took.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS
stage() { echo "== $1 (at $((SECONDS - start)) s)"; }

stage "tools"
command -v cmake >/dev/null || python3 -m pip install --quiet cmake
# One version of ruff: its formatting changes between versions.
python3 -m pip install --quiet "ruff==0.17.6"
# The layers of the friendly layer (scripts/lint.sh), one version of import-linter.
python3 -m pip install --quiet "import-linter==2.16"
# GoogleTest for the core suite; faketime for the tests that run the module under a wrong wall
# clock; headless Chromium and its driver for the tests of the report page in a browser;
# clang-format for the formatting check; Clang for the core's second compiler.
if [ ! -f /usr/include/gtest/gtest.h ] || ! command -v faketime >/dev/null ||
        ! command -v chromium >/dev/null || ! command -v chromedriver >/dev/null ||
        ! command -v clang-format >/dev/null || ! command -v clang++ >/dev/null; then
    apt-get update -qq
    apt-get install -y -qq libgtest-dev faketime chromium chromium-driver clang-format clang
fi

# Formatting and lint rules (scripts/lint.sh; `scripts/lint.sh --fix` mends what it can).
stage "lint"
bash scripts/lint.sh
# The documentation site, every warning an error (it reads the API from the sources).
stage "documentation site"
bash scripts/docs.sh

# One GCC build with warnings as errors makes the wheel and the core suite. The wheel is
# repaired to a manylinux_2_28 wheel (which fails if any symbol needs a newer glibc or
# libstdc++), run where there is no compiler, and installed here with the test packages.
stage "wheel and core suite (GCC)"
bash scripts/build_wheel.sh --build-dir build/wheel --with-core-tests
ctest --test-dir build/wheel --output-on-failure -j 2
wheel=$(ls -t wheelhouse/tourwright-*manylinux*.whl | head -n 1)
python3 -m pip install --quiet --force-reinstall --no-deps "$wheel"
python3 -m pip install --quiet "$wheel[test,dask,serve]"

# The core and its suite again with Clang (Debian's, against the same libstdc++), so that what
# GCC accepts and Clang rejects or warns about shows here and not first on a macOS build.
stage "core suite (Clang)"
CXX=clang++ cmake -S . -B build/clang -DTOURWRIGHT_BUILD_MODULE=OFF -DTOURWRIGHT_BUILD_TESTS=ON \
    -DTOURWRIGHT_WERROR=ON >/dev/null
cmake --build build/clang -j 2
ctest --test-dir build/clang --output-on-failure -j 2

# The core suite, the fuzz driver and the module under AddressSanitizer and
# UndefinedBehaviorSanitizer: any report aborts the test that met it. The core's tests and fuzz
# driver also check every incremental acceptance against full evaluation; the modules keep
# the fast current tour, so that the Python suite takes minutes there, not ten. Line tables (-g1) are all the
# sanitizers' reports need, and build in two thirds of the time full debug information takes.
stage "core suite (sanitizers)"
cmake -S . -B build/sanitize -DTOURWRIGHT_BUILD_TESTS=ON -DTOURWRIGHT_BUILD_FUZZ=ON \
    -DTOURWRIGHT_SANITIZE=ON -DTOURWRIGHT_CROSS_CHECK=ON -DTOURWRIGHT_WERROR=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" \
    -DPython_EXECUTABLE="$(python3 -c 'import sys; print(sys.executable)')" \
    >/dev/null
cmake --build build/sanitize -j 2
ctest --test-dir build/sanitize --output-on-failure -j 2

# From the tests' own folder, so that the installed module is the one imported.
stage "Python suite"
(cd tests/python && python3 -m pytest -q -p no:cacheprovider)

# The Python suite again against the sanitized modules, laid out as an installed package. The
# interpreter is not instrumented, so their runtimes are preloaded; leaks are not reported (the
# interpreter keeps memory until it exits) and the quarantine is off (the memory-growth test
# measures resident memory). Left out (docs/reliability.md): the daemon-thread tests (ASan
# reports the forced unwind that ends a thread at exit as an error), the wall-clock tests
# (faketime replaces LD_PRELOAD), the thread-starving and memory-starving tests (ASan's shadow
# memory needs the address space) and the report page in a browser (chromedriver does not start
# with the runtimes preloaded).
stage "Python suite (sanitizers)"
sanitized="$PWD/build/python-sanitize"
rm -rf "$sanitized"
cmake --install build/sanitize --prefix "$sanitized" >/dev/null
cp -R python/tourwright_tools/. "$sanitized/tourwright_tools/"
cp -R python/tourwright-stubs "$sanitized/"
cd tests/python
LD_PRELOAD="$(gcc -print-file-name=libasan.so) $(gcc -print-file-name=libubsan.so)" \
ASAN_OPTIONS=detect_leaks=0:quarantine_size_mb=0 PYTHONPATH="$sanitized" \
    python3 -m pytest -q -p no:cacheprovider \
    -k "not daemon_thread and not wall_clock and not cannot_be_started and not short_of_memory" \
    --ignore=render/test_report_page.py
stage "done"
