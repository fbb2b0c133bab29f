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

need_pkgs=()
for p in g++ cmake make; do dpkg -s "$p" >/dev/null 2>&1 || need_pkgs+=("$p"); done
if ! dpkg -s libboost-json1.81-dev >/dev/null 2>&1 && ! dpkg -s libboost-json1.83-dev >/dev/null 2>&1; then
  need_pkgs+=(libboost-json-dev)
fi
if [ ${#need_pkgs[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  echo "== installing system packages: ${need_pkgs[*]}" >&2
  $SUDO apt-get update -qq >&2
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${need_pkgs[@]}" >&2
fi

find_python() {
  local c v
  local candidates=(python3.14 python3.13 python3.12 python3)
  if command -v pyenv >/dev/null 2>&1; then
    for v in "$(pyenv root)"/versions/3.*/bin/python3; do candidates+=("$v"); done
  fi
  for c in "${candidates[@]}"; do
    if command -v "$c" >/dev/null 2>&1 &&
       "$c" -c 'import sys, venv; sys.exit(0 if sys.version_info >= (3, 12) else 1)' 2>/dev/null; then
      command -v "$c"; return 0
    fi
  done
  return 1
}

VENV="$ROOT/.venv-asan"
if [ ! -x "$VENV/bin/python" ] || ! "$VENV/bin/python" -c 'import sys; sys.exit(0 if sys.version_info >= (3, 12) else 1)' 2>/dev/null; then
  PY=$(find_python) || { echo "error: no Python 3.12 or later found" >&2; exit 1; }
  echo "== creating $VENV with $PY" >&2
  rm -rf "$VENV"
  "$PY" -m venv "$VENV"
fi
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
  --deselect tests/python/test_module.py::test_internal_fault_is_a_base_exception_outside_the_module_attributes \
  "$@"
