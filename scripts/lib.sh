#!/usr/bin/env bash
# Sourced by the other scripts: what each of them needs to install things on a fresh machine.

# install_packages PKG...: installs the Debian packages that are missing. The word "boost-json"
# stands for the Boost.JSON headers (1.81 on Debian 12, 1.83 on Debian 13).
install_packages() {
  local p need=() want_boost=0
  for p in "$@"; do
    if [ "$p" = boost-json ]; then
      dpkg -s libboost-json1.81-dev >/dev/null 2>&1 || dpkg -s libboost-json1.83-dev >/dev/null 2>&1 || want_boost=1
    else
      dpkg -s "$p" >/dev/null 2>&1 || need+=("$p")
    fi
  done
  [ ${#need[@]} -gt 0 ] || [ "$want_boost" -eq 1 ] || return 0
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq >&2
  if [ "$want_boost" -eq 1 ]; then
    if apt-cache show libboost-json1.83-dev >/dev/null 2>&1; then need+=(libboost-json1.83-dev); else need+=(libboost-json1.81-dev); fi
  fi
  echo "== installing system packages: ${need[*]}" >&2
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${need[@]}" >&2
}

# first_python CONDITION CANDIDATE...: prints the path of the first candidate that runs and
# whose `sys.version_info` meets CONDITION (a Python expression over `v`).
first_python() {
  local condition="$1" c
  shift
  for c in "$@"; do
    # A shim may exist and still fail to run, so each candidate is run.
    if command -v "$c" >/dev/null 2>&1 &&
       "$c" -c "import sys, venv; v = sys.version_info; sys.exit(0 if $condition else 1)" 2>/dev/null; then
      command -v "$c"; return 0
    fi
  done
  return 1
}

# pyenv_pythons GLOB: the pyenv-installed interpreters of the versions matching GLOB, if any.
pyenv_pythons() {
  command -v pyenv >/dev/null 2>&1 || return 0
  local v
  for v in "$(pyenv root)"/versions/$1/bin/python3; do [ -e "$v" ] && echo "$v"; done
  return 0
}

# find_python: prints the path of a Python 3.12 or later (python3 may be older here).
find_python() {
  first_python "v >= (3, 12)" python3.14 python3.13 python3.12 python3 $(pyenv_pythons "3.*")
}

# find_python_version X.Y: prints the path of a Python X.Y, if there is one.
find_python_version() {
  first_python "v[:2] == ($(echo "$1" | tr . ,))" "python$1" $(pyenv_pythons "$1.*")
}

# ensure_venv DIR: makes DIR a virtual environment of a Python 3.12 or later, unless it is one.
ensure_venv() {
  local dir="$1" py
  if [ -x "$dir/bin/python" ] && "$dir/bin/python" -c 'import sys; sys.exit(0 if sys.version_info >= (3, 12) else 1)' 2>/dev/null; then
    return 0
  fi
  py=$(find_python) || { echo "error: no Python 3.12 or later found (tried python3.14 .. python3 and pyenv versions)" >&2; return 1; }
  echo "== creating $dir with $py" >&2
  rm -rf "$dir"
  "$py" -m venv "$dir"
}
