#!/usr/bin/env bash
# docs/layout.md names every folder at the top of the source tree (as
# `name/`) and every folder in src/ (as `src/name`); build folders aside.
#   layout_test.sh SOURCE_DIR
set -euo pipefail
cd "$1"
missing=""
for d in */ .ci/ src/*/; do
  case $d in build*/ | src/) continue ;; src/*) d=${d%/} ;; esac
  grep -qF "\`$d\`" docs/layout.md || missing+=" $d"
done
[ -z "$missing" ] || { echo "docs/layout.md does not name:$missing" >&2; exit 1; }
