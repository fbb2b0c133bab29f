#!/usr/bin/env bash
# Runs the whole pytest suite against an AddressSanitizer + UndefinedBehaviorSanitizer
# build of the extension, installed into its own virtual environment (.venv-asan):
#
#   bash scripts/asan-tests.sh [PYTEST ARGS...]
#
# The interpreter is a stock CPython: the sanitiser runtimes are preloaded, Python's own
# allocator is replaced by malloc so that misused Python objects are caught too, and leak
# detection is off (the interpreter keeps memory to the end by design). Any report fails
# the run.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"

source "$ROOT/scripts/lib.sh"
install_packages g++
VENV="$ROOT/.venv-asan"
ensure_venv "$VENV"
VENV_PY="$VENV/bin/python"
"$VENV_PY" -m pip install -q --disable-pip-version-check pytest >&2
echo "== building and installing _tessmar with ASan + UBSan (build/asan)" >&2
"$VENV_PY" -m pip install -q --disable-pip-version-check . \
  -C build-dir=build/asan \
  -C cmake.define.TESSMAR_SANITIZE=address,undefined \
  -C cmake.build-type=Debug >&2

# The extension must really be the sanitised one.
if ! ldd "$("$VENV_PY" -c 'import importlib.util as u; print(u.find_spec("_tessmar").origin)')" | grep -q libasan; then
  echo "error: the installed _tessmar is not linked with AddressSanitizer" >&2
  exit 1
fi

echo "== pytest under ASan + UBSan" >&2
export LD_PRELOAD="$(gcc -print-file-name=libasan.so):$(gcc -print-file-name=libubsan.so)"
export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export PYTHONMALLOC=malloc
# ASan reports every failed allocation and stops, so the test that makes the module's own
# allocation fail under an address-space limit cannot run here.
exec "$VENV_PY" -m pytest -q -p no:cacheprovider tests/python \
  --deselect tests/python/test_module.py::test_allocation_failure_is_a_memory_error_that_leaks_nothing \
  "$@"
