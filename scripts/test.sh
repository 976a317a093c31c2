#!/usr/bin/env bash
# Installs what the tests need, builds and installs the module, and runs every test:
# the core's GoogleTest suite through ctest, then the Python suite through pytest.
set -euo pipefail
cd "$(dirname "$0")/.."

python3 -m pip install --quiet ".[test]"
command -v cmake >/dev/null || python3 -m pip install --quiet cmake
# GoogleTest for the core suite; faketime for the tests that run the module under a wrong wall clock.
if [ ! -f /usr/include/gtest/gtest.h ] || ! command -v faketime >/dev/null; then
    apt-get update -qq
    apt-get install -y -qq libgtest-dev faketime
fi

# Warnings fail these builds, so that none creeps in unseen.
cmake -S . -B build/tests -DTOURWRIGHT_BUILD_MODULE=OFF -DTOURWRIGHT_BUILD_TESTS=ON \
    -DTOURWRIGHT_WERROR=ON >/dev/null
cmake --build build/tests -j 2
ctest --test-dir build/tests --output-on-failure

# The core suite again under AddressSanitizer and UndefinedBehaviorSanitizer: any
# report aborts the test that met it. Every incremental acceptance is checked against
# full evaluation there too.
cmake -S . -B build/sanitize -DTOURWRIGHT_BUILD_MODULE=OFF -DTOURWRIGHT_BUILD_TESTS=ON \
    -DTOURWRIGHT_BUILD_FUZZ=ON -DTOURWRIGHT_SANITIZE=ON -DTOURWRIGHT_CROSS_CHECK=ON \
    -DTOURWRIGHT_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/sanitize -j 2
ctest --test-dir build/sanitize --output-on-failure

# From the tests' own folder, so that the installed module is the one imported.
cd tests/python
python3 -m pytest -q -p no:cacheprovider
