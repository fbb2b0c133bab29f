#!/usr/bin/env bash
# Sourced by the other scripts: finds a Python 3.12 or later, and builds and installs the
# package into ./.venv. Building needs only a C++ compiler: everything else comes from PyPI.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"

source "$ROOT/scripts/lib.sh"
install_packages g++ ${TESSMAR_EXTRA_PKGS:-}
ensure_venv "$ROOT/.venv"
VENV_PY="$ROOT/.venv/bin/python"
"$VENV_PY" -m pip install -q --disable-pip-version-check --upgrade pip >&2
# distributed: the tests of runs on a Dask cluster (the optional extra tessmar[dask]).
"$VENV_PY" -m pip install -q --disable-pip-version-check pytest mypy distributed ${TESSMAR_EXTRA_PIP:-} >&2
echo "== building and installing tessmar" >&2
"$VENV_PY" -m pip install -q --disable-pip-version-check . >&2
