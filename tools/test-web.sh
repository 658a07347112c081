#!/usr/bin/env bash
# Builds the web page and runs its tests: the core as WebAssembly under
# Node, and the page in headless Chromium driven by playwright-core (which
# downloads no browser: Debian's chromium is used).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh chromium
# Node and npm from Debian unless the machine has them already (a Node of
# its own brings its npm).
command -v npm >/dev/null || bash tools/install-deps.sh nodejs npm
(cd web && npm ci --no-audit --no-fund --loglevel=error)
bash tools/web.sh --build
cd web && node --test tests/
