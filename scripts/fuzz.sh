#!/usr/bin/env bash
# Builds the libFuzzer harnesses of fuzz/ with clang (ASan + UBSan) and runs them.
#
#   bash scripts/fuzz.sh short            # CI: every kept finding, then about 25 s per harness
#   bash scripts/fuzz.sh long [SECONDS]   # SECONDS per harness (default 600), inputs up to 1 MB
#   bash scripts/fuzz.sh replay FILE...   # the outcome of each file, for triage
#
# FUZZ_BUILD sets the build folder (default build/fuzz). Corpora grow in $FUZZ_BUILD/corpus/<harness>
# and are kept between runs. A finding is written to $FUZZ_BUILD/artifacts/; minimise it with
#   build/fuzz/fuzz_log -minimize_crash=1 -runs=10000 -exact_artifact_path=fuzz/regressions/NAME FILE
# and keep it in fuzz/regressions/ (NAME.EXPECTED.json, see tests/cpp/test_regressions.cpp).
# Findings of fuzz_mjlog (the mjlog XML reader) are kept in fuzz/regressions-mjlog/ under any
# name; running `build/fuzz/fuzz_mjlog FILE` shows what breaks.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"

MODE="${1:-short}"
case "$MODE" in
  short) SECONDS_PER_HARNESS=25; MAX_LEN=131072 ;;
  long) SECONDS_PER_HARNESS="${2:-600}"; MAX_LEN=1048576 ;;
  replay) ;;
  *) echo "usage: $0 short | long [SECONDS] | replay FILE..." >&2; exit 2 ;;
esac

CLANGXX=clang++-19
source "$ROOT/scripts/lib.sh"
install_packages clang-19 libclang-rt-19-dev cmake make python3 boost-json

BUILD="${FUZZ_BUILD:-build/fuzz}"
echo "== building the fuzz harnesses ($BUILD)" >&2
mkdir -p "$BUILD"
{ cmake -S fuzz -B "$BUILD" -DCMAKE_CXX_COMPILER="$CLANGXX" -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
  cmake --build "$BUILD" -j "$(nproc)"; } >"$BUILD/build.log" 2>&1 || {
  tail -40 "$BUILD/build.log" >&2
  echo "error: the fuzz build failed; full log in $BUILD/build.log" >&2
  exit 1
}

export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

if [ "$MODE" = replay ]; then
  shift
  exec "$BUILD/replay" "$@"
fi

# No input may take a second; a sanitised build gets twice that.
COMMON=(-timeout=2 -rss_limit_mb=2048 -print_final_stats=1 -print_funcs=0 -artifact_prefix="$BUILD/artifacts/")
# Each harness's dictionary and seeds.
dict_of() { case "$1" in fuzz_mjlog) echo fuzz/mjlog.dict ;; *) echo fuzz/tenhou.dict ;; esac; }
seeds_of() { case "$1" in fuzz_mjlog) echo "$BUILD/seeds-mjlog" ;; *) echo "$BUILD/seeds" ;; esac; }
mkdir -p "$BUILD/artifacts"

echo "== every kept finding" >&2
shopt -s nullglob
regressions=(fuzz/regressions/*)
# Both harnesses check inputs the same way; they differ only in how they mutate.
if [ ${#regressions[@]} -gt 0 ]; then
  "$BUILD/fuzz_log" "${COMMON[@]}" -dict=fuzz/tenhou.dict "${regressions[@]}" 2>"$BUILD/regressions.log" || {
    tail -40 "$BUILD/regressions.log" >&2
    echo "error: a kept finding fails again; full log in $BUILD/regressions.log" >&2
    exit 1
  }
fi
regressions=(fuzz/regressions-mjlog/*)
if [ ${#regressions[@]} -gt 0 ]; then
  "$BUILD/fuzz_mjlog" "${COMMON[@]}" -dict=fuzz/mjlog.dict "${regressions[@]}" 2>"$BUILD/regressions-mjlog.log" || {
    tail -40 "$BUILD/regressions-mjlog.log" >&2
    echo "error: a kept mjlog finding fails again; full log in $BUILD/regressions-mjlog.log" >&2
    exit 1
  }
fi

echo "== seed corpus" >&2
SEEDS="$BUILD/seeds"
rm -rf "$SEEDS"
python3 fuzz/make_corpus.py "$SEEDS" examples/*.json ../shared/logs/*.json
rm -rf "$BUILD/seeds-mjlog"
mkdir -p "$BUILD/seeds-mjlog"
cp examples/mjlog/*.xml "$BUILD/seeds-mjlog/"
cp ../shared/mjlog/*.xml "$BUILD/seeds-mjlog/" 2>/dev/null || true

status=0
for harness in fuzz_log fuzz_struct fuzz_mjlog; do
  corpus="$BUILD/corpus/$harness"
  mkdir -p "$corpus"
  echo "== $harness for ${SECONDS_PER_HARNESS}s" >&2
  # The guard outlives -max_total_time only if the harness hangs; it never leaves it running.
  timeout --kill-after=10 "$((SECONDS_PER_HARNESS + 120))" \
    "$BUILD/$harness" "${COMMON[@]}" -dict="$(dict_of "$harness")" -max_len="$MAX_LEN" \
    -max_total_time="$SECONDS_PER_HARNESS" "$corpus" "$(seeds_of "$harness")" 2>"$BUILD/$harness.log" || status=$?
  grep -E "^(stat::|Done)" "$BUILD/$harness.log" >&2 || true
  if [ "$status" -ne 0 ]; then
    grep -B2 -A30 -E "ERROR|invariant broken|runtime error|Test unit written" "$BUILD/$harness.log" | head -60 >&2 || true
    echo "error: $harness found a fault (exit $status); full log in $BUILD/$harness.log" >&2
    exit "$status"
  fi
done
echo "== fuzzing found nothing" >&2
