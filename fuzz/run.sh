#!/usr/bin/env bash
# Builds the libFuzzer targets (Clang, ASan + UBSan) and runs them.
#
#   fuzz/run.sh TARGET SECONDS   run one target for SECONDS
#   fuzz/run.sh all SECONDS      run every target, SECONDS split between them
#
# Targets: load (every container and the check), list, extract, store,
# delete, import, mkdir, rmdir, tree, examine (E), fix (--fix E) (one
# command each through the whole front end), basic (BASIC listings and
# BSD text), manifest (the record X leaves for A, and the JSON reader
# beneath it).
# The build lives in build-fuzz/ (FUZZ_BUILD overrides). Seeds are made
# afresh from the test image builder into build-fuzz/seeds/; what a run
# finds is kept in build-fuzz/corpus/TARGET/ for the next run, crashes go to
# build-fuzz/artifacts/, logs to build-fuzz/logs/. Extra libFuzzer options
# may be given in FUZZ_OPTIONS. Warnings are errors when TARNWICK_WERROR=ON
# is in the environment (CI). The exit status is not 0 when a target
# crashed, leaked, hung or broke one of its checks.
set -euo pipefail
cd "$(dirname "$0")/.."

all_targets=(load list extract store delete import mkdir rmdir tree examine fix basic manifest)
if [ $# -ne 2 ] || ! [[ "$2" =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: fuzz/run.sh TARGET|all SECONDS (targets: ${all_targets[*]})" >&2
  exit 2
fi
if [ "$1" = all ]; then
  targets=("${all_targets[@]}")
  seconds=$(( $2 / ${#all_targets[@]} ))
  [ "$seconds" -ge 1 ] || seconds=1
else
  targets=("${1#fuzz_}")
  seconds=$2
  case " ${all_targets[*]} " in
    *" ${targets[0]} "*) ;;
    *) echo "unknown target '$1' (targets: ${all_targets[*]})" >&2; exit 2 ;;
  esac
fi

build=${FUZZ_BUILD:-build-fuzz}
bash tools/install-deps.sh clang libclang-rt-dev
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTARNWICK_FUZZ=ON -DTARNWICK_TESTS=OFF -DTARNWICK_WERROR="${TARNWICK_WERROR:-OFF}" >/dev/null
cmake --build "$build" -j"$(nproc)" --target fuzz_make_seeds "${targets[@]/#/fuzz_}" >/dev/null

seeds="$build/seeds"
if [ ! -d "$seeds" ] || [ "$build/fuzz/fuzz_make_seeds" -nt "$seeds" ]; then
  rm -rf "$seeds"
  "$build/fuzz/fuzz_make_seeds" "$seeds" >/dev/null
fi
mkdir -p "$build/artifacts" "$build/logs"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
for t in "${targets[@]}"; do
  corpus="$build/corpus/$t"
  log="$build/logs/$t.log"
  mkdir -p "$corpus"
  # shellcheck disable=SC2086
  if "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
       -print_final_stats=1 -artifact_prefix="$build/artifacts/$t-" ${FUZZ_OPTIONS:-} \
       "$corpus" "$seeds/fuzz_$t" >"$log" 2>&1; then
    result=ok
  else
    result=FAILED
    status=1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1 || true)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1 || true)
  cov=$( (grep -o 'cov: [0-9]*' "$log" || true) | tail -1 | cut -d' ' -f2)
  ft=$( (grep -o 'ft: [0-9]*' "$log" || true) | tail -1 | cut -d' ' -f2)
  files=$(find "$corpus" -type f | wc -l)
  echo "fuzz_$t: $result, ${seconds}s, ${runs:-?} runs, ${speed:-?} exec/s, cov ${cov:-?}, ft ${ft:-?}, corpus $files files"
  if [ "$result" = FAILED ]; then
    grep -E 'ERROR|broken promise|SUMMARY|Test unit written' "$log" | head -20 >&2 || true
    echo "  full log: $log" >&2
  fi
done
exit $status
