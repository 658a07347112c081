#!/usr/bin/env bash
# Cross-builds tarnwick.exe with MinGW-w64 (build-win/) and runs the
# end-to-end tests against it under Wine; the tests themselves are built
# natively (build-wine/) and start the .exe through wine. Warnings are
# errors when TARNWICK_WERROR=ON is in the environment (CI).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)
[ "$jobs" -le 2 ] || jobs=2

bash tools/install-deps.sh g++-mingw-w64-x86-64-posix wine wine64 groff-base

cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DTARNWICK_WERROR="${TARNWICK_WERROR:-OFF}" >/dev/null
cmake --build build-win -j"$jobs"
# The release zip: the program, the README and the pages it links to, the licence and
# the manual page as text.
(cd build-win && cpack >/dev/null)
python3 - build-win/tarnwick-*-windows-x86_64.zip <<'PY'
import glob, os, sys, zipfile
names = sorted(n.split("/", 1)[1] for n in zipfile.ZipFile(sys.argv[1]).namelist() if not n.endswith("/"))
pages = ["docs/" + os.path.basename(p) for p in glob.glob("docs/*.md")]
if names != sorted(["LICENSE", "README.md", "tarnwick.exe", "tarnwick.txt"] + pages):
    sys.exit("unexpected zip contents: %s" % names)
PY

# Wine: no debug chatter; the first start makes the prefix (~/.wine unless
# WINEPREFIX says otherwise), which takes seconds, so it is made once here
# rather than by tests racing each other.
export WINEDEBUG=-all
[ -n "${WINEPREFIX:-}" ] || [ -n "${HOME:-}" ] || export WINEPREFIX="$root/build-wine/prefix"
if ! wineboot -i >/dev/null 2>&1; then
  echo "wineboot could not set up the Wine prefix" >&2
  exit 1
fi
wineserver -w

cmake -S . -B build-wine -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTARNWICK_E2E_BINARY="$root/build-win/tarnwick.exe" -DTARNWICK_E2E_RUNNER=wine \
  -DTARNWICK_WERROR="${TARNWICK_WERROR:-OFF}" >/dev/null
cmake --build build-wine -j"$jobs" --target tarnwick_tests
# Keep one Wine server running for the whole test run: tests start wine in
# parallel, and processes that race to start a server of their own can fail.
wineserver -p
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
status=0
ctest --test-dir build-wine --output-on-failure -j"$jobs" -R 'E2eTest\.' || status=$?
exit "$status"
