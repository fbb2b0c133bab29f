#!/usr/bin/env bash
# Runs every test: the C++ unit tests (CTest) and the Python tests (pytest).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
echo "== C++ tests" >&2
cmake -S . -B build/tests -DTESSMAR_BUILD_TESTS=ON -DTESSMAR_BUILD_MODULE=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/tests -j "$(nproc)" >/dev/null
ctest --test-dir build/tests --output-on-failure -j "$(nproc)"
echo "== Python tests" >&2
"$VENV_PY" -m pytest -q tests/python "$@"
