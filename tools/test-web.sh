#!/usr/bin/env bash
# Builds the web page and runs its tests: the core as WebAssembly under
# Node, and the page in headless Chromium driven by playwright-core (which
# downloads no browser: Debian's chromium is used). The native tool is
# built too (build/, as tools/test.sh builds it): the tests compare the
# page's results with its own and open its sample images.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh chromium
# Node and npm from Debian unless the machine has them already (a Node of
# its own brings its npm).
command -v npm >/dev/null || bash tools/install-deps.sh nodejs npm
(cd web && npm ci --no-audit --no-fund --loglevel=error)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNWICK_WERROR="${TARNWICK_WERROR:-OFF}" >/dev/null
cmake --build build -j"$(nproc)" --target tarnwick make_samples
bash tools/web.sh --build

# The sample images; a D88 file of two disks as the README makes it, its
# first disk given a BTX file (HI, made from a listing) and a BSD file
# (NOTES); a raw image; sample.rom with the first blocks its files hold
# shown free in the bitmap (freed.rom).
samples=build-web/samples
rm -rf "$samples"
build/make_samples "$samples" >/dev/null
export LC_ALL=C.UTF-8 TZ=UTC TARNWICK_CLI=$PWD/build/tarnwick TARNWICK_SAMPLES=$PWD/$samples
(cd "$samples" && printf '10 PRINT "HI"\n' >hi.bas && printf 'ONE\nTWO\n' >notes.txt &&
  for args in "F new.d88" "F disk.2dd" "T hi.bas hi.mzt" "W games.d88 1 HI hi.mzt" "-t W games.d88 1 NOTES notes.txt"; do
    [ "$args" != "T hi.bas hi.mzt" ] || cat sample.d88 new.d88 >games.d88
    # shellcheck disable=SC2086
    "$TARNWICK_CLI" $args >/dev/null
  done
  cp sample.rom freed.rom && printf '\0' | dd of=freed.rom bs=1 seek=$((15 * 256 + 6)) conv=notrunc status=none)

cd web && node --test tests/
