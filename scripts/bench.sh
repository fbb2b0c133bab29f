#!/usr/bin/env bash
# Measures a tenhou_to_mjai call against json.loads and orjson.loads, with the C++ stage
# breakdown and peak memory (written to bench/results/<commit>.json), and the archive XML
# functions against tenhou_to_mjai of the same games, threads, and the batch command.
set -euo pipefail
TESSMAR_EXTRA_PIP="orjson" source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
cmake -S . -B build/bench -DTESSMAR_BUILD_BENCH=ON -DTESSMAR_BUILD_MODULE=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/bench -j "$(nproc)" >/dev/null
rev=$(git rev-parse --short HEAD 2>/dev/null || echo local)
"$VENV_PY" bench/bench_python.py --stages build/bench/bench/bench_stages --out "bench/results/$rev.json"
echo
"$VENV_PY" bench/bench_mjlog.py
echo; "$VENV_PY" bench/bench_threads.py
# The batch command on tmpfs where there is one: files, a database, the main process's memory.
batch_tmp=/dev/shm; [ -d "$batch_tmp" ] && [ -w "$batch_tmp" ] || batch_tmp="${TMPDIR:-/tmp}"
echo; TMPDIR="$batch_tmp" "$VENV_PY" bench/bench_batch.py
echo; TMPDIR="$batch_tmp" "$VENV_PY" bench/bench_archives.py
echo
echo "reader throughput (floor: the same text checked as plain JSON by our scanner, nothing stored):"
if [ -d ../shared/logs ]; then build/bench/bench/bench_read ../shared/logs; else build/bench/bench/bench_read examples; fi
