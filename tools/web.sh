#!/usr/bin/env bash
# Builds the web page (the core as WebAssembly and the page's files) into
# build-web/site/ and serves that folder on http://127.0.0.1:8000/ (PORT
# for another port). Any static file server serves the folder as well.
#   tools/web.sh            build, then serve
#   tools/web.sh --build    build only
# Warnings are errors when TARNWICK_WERROR=ON is in the environment (CI).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh emscripten python3
# em++ runs Node scripts that need the packages Debian's emscripten
# depends on (acorn); a Node that is not Debian's does not look there.
export NODE_PATH=/usr/share/nodejs
emcmake cmake -S . -B build-web -DCMAKE_BUILD_TYPE=Release -DTARNWICK_WERROR="${TARNWICK_WERROR:-OFF}" >/dev/null
cmake --build build-web -j"$(nproc)" --target tarnwick_web
[ "${1:-}" = "--build" ] && exit 0
echo "serving build-web/site on http://127.0.0.1:${PORT:-8000}/ (Ctrl-C ends)"
exec python3 -m http.server --bind 127.0.0.1 --directory build-web/site "${PORT:-8000}"
