#!/usr/bin/env bash
# Checks what installing gives: `cmake --install` installs a stripped
# binary, and the Debian package that cpack makes from build/ passes
# lintian with no error and no warning (lintian is installed when missing).
# Run after tools/test.sh, which leaves build/ built: cpack first brings
# the whole build up to date.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh lintian binutils

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cmake --build build -j"$(nproc)" --target tarnwick
cmake --install build --prefix "$stage" >/dev/null
if readelf -SW "$stage/bin/tarnwick" | grep -E -q '\.symtab|\.debug_'; then
  echo "cmake --install left symbols in bin/tarnwick" >&2
  exit 1
fi

rm -f build/tarnwick_*.deb
(cd build && cpack -G DEB >/dev/null)
debs=(build/tarnwick_*.deb)
# Root runs lintian too (CI does); its note about that is no finding.
lintian --fail-on error,warning "${debs[0]}" 2> >(grep -v 'running with root privileges' >&2)
echo "lintian: ${debs[0]} has no error and no warning"
