#!/usr/bin/env bash
# Builds the tool, makes the sample images and lists the sample HDD image,
# its Shift_JIS output turned into UTF-8 for this terminal.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" >/dev/null
build/make_samples build/sample >/dev/null
echo "\$ build/tarnwick L build/sample/sample.hdd | iconv -f CP932 -t UTF-8"
build/tarnwick L build/sample/sample.hdd 2>&1 | iconv -f CP932 -t UTF-8
echo "\$ build/tarnwick L build/sample/sample.hdd 1 GAMES | iconv -f CP932 -t UTF-8"
build/tarnwick L build/sample/sample.hdd 1 GAMES 2>&1 | iconv -f CP932 -t UTF-8
