#!/usr/bin/env bash
# Sourced by the other scripts: installs the system packages the build needs,
# finds a Python 3.12 or later, and builds and installs the module into ./.venv.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"

need_pkgs=()
boost_json=libboost-json1.81-dev
if ! dpkg -s "$boost_json" >/dev/null 2>&1 && ! dpkg -s libboost-json1.83-dev >/dev/null 2>&1; then
  need_pkgs+=(BOOST)
fi
for p in g++ cmake make libgtest-dev libbenchmark-dev ${TESSMAR_EXTRA_PKGS:-}; do
  dpkg -s "$p" >/dev/null 2>&1 || need_pkgs+=("$p")
done
if [ ${#need_pkgs[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  echo "== installing system packages: ${need_pkgs[*]}" >&2
  $SUDO apt-get update -qq >&2
  if [[ " ${need_pkgs[*]} " == *" BOOST "* ]]; then
    # Debian 12 ships Boost.JSON 1.81, Debian 13 1.83.
    if apt-cache show libboost-json1.83-dev >/dev/null 2>&1; then boost_json=libboost-json1.83-dev; fi
    need_pkgs=("${need_pkgs[@]/BOOST/$boost_json}")
  fi
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

if [ ! -x .venv/bin/python ] || ! .venv/bin/python -c 'import sys; sys.exit(0 if sys.version_info >= (3, 12) else 1)' 2>/dev/null; then
  PY=$(find_python) || { echo "error: no Python 3.12 or later found (tried python3.14 .. python3 and pyenv versions)" >&2; exit 1; }
  echo "== creating .venv with $PY" >&2
  rm -rf .venv
  "$PY" -m venv .venv
fi
VENV_PY="$ROOT/.venv/bin/python"
"$VENV_PY" -m pip install -q --disable-pip-version-check --upgrade pip >&2
"$VENV_PY" -m pip install -q --disable-pip-version-check pytest mypy ${TESSMAR_EXTRA_PIP:-} >&2
echo "== building and installing _tessmar" >&2
"$VENV_PY" -m pip install -q --disable-pip-version-check . >&2
