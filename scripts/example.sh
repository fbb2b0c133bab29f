#!/usr/bin/env bash
# Converts a real Tenhou log shipped in examples/ and prints its mjai lines.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
LOG="${1:-examples/tb-2019021004gm-00a9-0000-e2f6516d.json}"
"$VENV_PY" -c 'import sys, _tessmar; _tessmar.tenhou_file_to_mjai(sys.argv[1], "-")' "$LOG"
