#!/usr/bin/env bash
# Builds and runs every test.
#   tools/test.sh              the regular build (build/), then the web
#                              page's tests (tools/test-web.sh) when Debian
#                              offers emscripten and chromium; TARNWICK_WEB=0
#                              leaves them out, TARNWICK_WEB=1 runs them always
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
  if [ "${TARNWICK_WEB:-}" = 0 ]; then
    :
  elif [ "${TARNWICK_WEB:-}" = 1 ] || apt-cache show emscripten chromium >/dev/null 2>&1; then
    bash tools/test-web.sh
  else
    echo "the web page's tests left out: this machine's package lists offer no emscripten or chromium" >&2
  fi
fi
