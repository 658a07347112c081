#!/usr/bin/env bash
# Builds the tool, makes the sample images and lists the sample HDD image,
# in UTF-8 so that any terminal of today reads it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNWICK_WERROR="${TARNWICK_WERROR:-OFF}" >/dev/null
cmake --build build -j"$(nproc)" >/dev/null
build/make_samples build/sample >/dev/null
export LC_ALL=C.UTF-8
echo "\$ build/tarnwick L build/sample/sample.hdd"
build/tarnwick L build/sample/sample.hdd
echo "\$ build/tarnwick L build/sample/sample.hdd 1 GAMES"
build/tarnwick L build/sample/sample.hdd 1 GAMES
