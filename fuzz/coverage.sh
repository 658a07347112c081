#!/usr/bin/env bash
# Line coverage of src/ reached by the fuzz corpora that fuzz/run.sh kept.
#
#   fuzz/coverage.sh [TARGET...]     (default: every target)
#
# Builds the targets once more with Clang's source-based coverage
# (build-fuzz-cov/), replays each corpus in build-fuzz/corpus/TARGET/ and
# the seeds in build-fuzz/seeds/ without mutating them, and prints llvm-cov's summary per target and for all
# of them together.
set -euo pipefail
cd "$(dirname "$0")/.."

targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(load list extract store delete import)
corpora=${FUZZ_BUILD:-build-fuzz}/corpus
seeds=${FUZZ_BUILD:-build-fuzz}/seeds
build=build-fuzz-cov

bash tools/install-deps.sh clang libclang-rt-dev llvm
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNWICK_FUZZ=ON \
  -DTARNWICK_TESTS=OFF -DCMAKE_CXX_FLAGS="-fprofile-instr-generate -fcoverage-mapping" >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]/#/fuzz_}" >/dev/null

rm -rf "$build/profiles"
mkdir -p "$build/profiles"
objects=()
for t in "${targets[@]}"; do
  bin="$build/fuzz/fuzz_$t"
  [ -d "$corpora/$t" ] || { echo "no corpus for $t in $corpora (run fuzz/run.sh first)" >&2; exit 1; }
  LLVM_PROFILE_FILE="$build/profiles/$t.profraw" "$bin" -runs=0 "$corpora/$t" "$seeds/fuzz_$t" >/dev/null 2>&1
  llvm-profdata merge -sparse "$build/profiles/$t.profraw" -o "$build/profiles/$t.profdata"
  echo "== fuzz_$t"
  llvm-cov report "$bin" -instr-profile="$build/profiles/$t.profdata" "$PWD/src" | tail -1
  objects+=(-object "$bin")
done
llvm-profdata merge -sparse "$build"/profiles/*.profraw -o "$build/profiles/all.profdata"
echo "== all targets, by file"
llvm-cov report "${objects[@]:1}" -instr-profile="$build/profiles/all.profdata" "$PWD/src"
