#!/usr/bin/env bash
# Builds and runs every test.
#   tools/test.sh              the regular build (build/)
#   tools/test.sh --sanitize   Clang with AddressSanitizer and UBSan (build-asan/)
# Warnings are errors when TARNWICK_WERROR=ON is in the environment (CI).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = "--sanitize" ]; then
  bash tools/install-deps.sh clang libclang-rt-dev
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  CC=clang CXX=clang++ cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTARNWICK_SANITIZE=ON \
    -DTARNWICK_WERROR="${TARNWICK_WERROR:-OFF}" >/dev/null
  cmake --build build-asan -j"$(nproc)"
  ctest --test-dir build-asan --output-on-failure -j"$(nproc)"
else
  bash tools/install-deps.sh
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNWICK_WERROR="${TARNWICK_WERROR:-OFF}" >/dev/null
  cmake --build build -j"$(nproc)"
  ctest --test-dir build --output-on-failure -j"$(nproc)"
fi
