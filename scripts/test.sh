#!/usr/bin/env bash
# Installs what the tests need, builds and installs the module, and runs every test:
# the core's GoogleTest suite through ctest (built with GCC, then with Clang), then the Python
# suite through pytest; both again under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

python3 -m pip install --quiet ".[test,dask]"
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
bash scripts/lint.sh

# Warnings fail these builds, so that none creeps in unseen.
cmake -S . -B build/tests -DTOURWRIGHT_BUILD_MODULE=OFF -DTOURWRIGHT_BUILD_TESTS=ON \
    -DTOURWRIGHT_WERROR=ON >/dev/null
cmake --build build/tests -j 2
ctest --test-dir build/tests --output-on-failure

# The core and its suite again with Clang (Debian's, against the same libstdc++), so that what
# GCC accepts and Clang rejects or warns about shows here and not first on a macOS build.
CXX=clang++ cmake -S . -B build/clang -DTOURWRIGHT_BUILD_MODULE=OFF -DTOURWRIGHT_BUILD_TESTS=ON \
    -DTOURWRIGHT_WERROR=ON >/dev/null
cmake --build build/clang -j 2
ctest --test-dir build/clang --output-on-failure

# The core suite again under AddressSanitizer and UndefinedBehaviorSanitizer: any
# report aborts the test that met it. Every incremental acceptance is checked against
# full evaluation there too.
cmake -S . -B build/sanitize -DTOURWRIGHT_BUILD_MODULE=OFF -DTOURWRIGHT_BUILD_TESTS=ON \
    -DTOURWRIGHT_BUILD_FUZZ=ON -DTOURWRIGHT_SANITIZE=ON -DTOURWRIGHT_CROSS_CHECK=ON \
    -DTOURWRIGHT_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/sanitize -j 2
ctest --test-dir build/sanitize --output-on-failure

# The wheel a user installs: built, repaired to a manylinux_2_28 wheel (which fails if any
# symbol needs a newer glibc or libstdc++), installed where there is no compiler, and run.
bash scripts/build_wheel.sh

# From the tests' own folder, so that the installed module is the one imported.
(cd tests/python && python3 -m pytest -q -p no:cacheprovider)

# The Python suite again against an extension built with both sanitizers. The interpreter is
# not instrumented, so their runtimes are preloaded; leaks are not reported (the interpreter
# keeps memory until it exits) and the quarantine is off (the memory-growth test measures
# resident memory). Left out (README, Reliability): the daemon-thread tests (ASan reports the
# forced unwind that ends a thread at exit as an error), the wall-clock tests (faketime replaces
# LD_PRELOAD), the thread-starving and memory-starving tests (ASan's shadow memory needs the address space) and the
# report page in a browser (chromedriver does not start with the runtimes preloaded).
sanitized="$PWD/build/python-sanitize"
python3 -m pip install --quiet --no-deps --upgrade --target "$sanitized" \
    -C cmake.define.TOURWRIGHT_SANITIZE=ON -C cmake.build-type=RelWithDebInfo \
    -C build-dir=build/python-sanitize-build .
cd tests/python
LD_PRELOAD="$(gcc -print-file-name=libasan.so) $(gcc -print-file-name=libubsan.so)" \
ASAN_OPTIONS=detect_leaks=0:quarantine_size_mb=0 PYTHONPATH="$sanitized" \
    python3 -m pytest -q -p no:cacheprovider \
    -k "not daemon_thread and not wall_clock and not cannot_be_started and not short_of_memory" \
    --ignore=render/test_report_page.py
