#!/usr/bin/env bash
# Builds the tool and the sample maker (not the tests), makes the sample
# images and lists the sample HDD image, in UTF-8 so that any terminal of
# today reads it. tools/test.sh builds the rest in the same build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNWICK_WERROR="${TARNWICK_WERROR:-OFF}" >/dev/null
cmake --build build -j"$(nproc)" --target tarnwick make_samples
build/make_samples build/sample >/dev/null
export LC_ALL=C.UTF-8
echo
echo "\$ build/tarnwick L build/sample/sample.hdd"
build/tarnwick L build/sample/sample.hdd
echo "\$ build/tarnwick L build/sample/sample.hdd 1 GAMES"
build/tarnwick L build/sample/sample.hdd 1 GAMES
