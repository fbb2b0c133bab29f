#!/usr/bin/env bash
# Runs every test: the C++ unit tests (CTest), the Python tests (pytest), the Python tests
# again against an AddressSanitizer + UndefinedBehaviorSanitizer build, and a short fuzzing
# run that first replays every kept finding.
#
#   bash scripts/test.sh                  # everything (what CI runs)
#   bash scripts/test.sh --quick [ARGS]   # C++ and Python tests only; ARGS go to pytest
set -euo pipefail
quick=0
if [ "${1:-}" = --quick ]; then quick=1; shift; fi
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
echo "== C++ tests" >&2
cmake -S . -B build/tests -DTESSMAR_BUILD_TESTS=ON -DTESSMAR_BUILD_MODULE=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/tests -j "$(nproc)" >/dev/null
ctest --test-dir build/tests --output-on-failure -j "$(nproc)"
echo "== Python tests" >&2
"$VENV_PY" -m pytest -q tests/python "$@"
[ "$quick" -eq 1 ] && exit 0
bash scripts/asan-tests.sh
bash scripts/fuzz.sh short
