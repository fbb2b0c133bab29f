#!/usr/bin/env bash
# Runs every test: the C++ unit tests (CTest) built with g++ and again with clang++, the Python
# tests (pytest), the Python tests again against an AddressSanitizer + UndefinedBehaviorSanitizer
# build, and a short fuzzing run that first replays every kept finding. Both C++ builds treat
# warnings as errors.
#
#   bash scripts/test.sh                  # everything (what CI runs)
#   bash scripts/test.sh --quick [ARGS]   # C++ and Python tests only; ARGS go to pytest
set -euo pipefail
quick=0
if [ "${1:-}" = --quick ]; then quick=1; shift; fi
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
# Development only: the C++ test and benchmark libraries, the reference JSON parser of the
# C++ tests, and the second compiler (Debian 12's default clang, 14, lacks C++23's <expected>).
install_packages cmake make libgtest-dev libbenchmark-dev boost-json clang-19

echo "== C++ tests (g++)" >&2
cmake -S . -B build/tests -DTESSMAR_BUILD_TESTS=ON -DTESSMAR_BUILD_MODULE=OFF -DTESSMAR_WERROR=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/tests -j "$(nproc)" >/dev/null
ctest --test-dir build/tests --output-on-failure -j "$(nproc)"

# The clang build also compiles the module boundary and the benchmarks, so that every file
# is checked by both compilers.
echo "== C++ tests (clang++)" >&2
cmake -S . -B build/tests-clang -DCMAKE_CXX_COMPILER=clang++-19 -DTESSMAR_BUILD_TESTS=ON \
  -DTESSMAR_BUILD_MODULE=ON -DTESSMAR_BUILD_BENCH=ON -DTESSMAR_WERROR=ON \
  -DPython_EXECUTABLE="$VENV_PY" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/tests-clang -j "$(nproc)" >/dev/null
ctest --test-dir build/tests-clang --output-on-failure -j "$(nproc)"

echo "== Python tests" >&2
"$VENV_PY" -m pytest -q tests/python "$@"
[ "$quick" -eq 1 ] && exit 0
bash scripts/asan-tests.sh
bash scripts/fuzz.sh short
