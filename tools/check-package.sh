#!/usr/bin/env bash
# Checks what installing gives: `cmake --install` installs a stripped
# binary, and the Debian package that cpack makes passes lintian with no
# error and no warning, and without the informational tags of a binary built
# without the hardening flags (hardening-no-bindnow,
# hardening-no-fortify-functions, ...). lintian is installed when missing.
# The package is built as a packager builds it: in its own folder, build-deb/,
# RelWithDebInfo with the flags dpkg-buildflags gives with every hardening
# feature on (DEB_BUILD_MAINT_OPTIONS=hardening=+all), without the tests.
# Warnings are errors when TARNWICK_WERROR=ON is in the environment (CI).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh lintian binutils dpkg-dev

# CMake does not read CPPFLAGS: the preprocessor's flags go with the compiler's.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
cmake -S . -B build-deb -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNWICK_TESTS=OFF \
  -DTARNWICK_WERROR="${TARNWICK_WERROR:-OFF}" \
  -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >/dev/null
stage=$(mktemp -d)
log=$(mktemp)
trap 'rm -rf "$stage" "$log"' EXIT
cmake --build build-deb -j"$(nproc)"
cmake --install build-deb --prefix "$stage" >/dev/null
if readelf -SW "$stage/bin/tarnwick" | grep -E -q '\.symtab|\.debug_'; then
  echo "cmake --install left symbols in bin/tarnwick" >&2
  exit 1
fi

rm -f build-deb/tarnwick_*.deb
(cd build-deb && cpack -G DEB >/dev/null)
debs=(build-deb/tarnwick_*.deb)
# Root runs lintian too (CI does); its note about that is no finding.
status=0
lintian --display-info --fail-on error,warning "${debs[0]}" \
  2> >(grep -v 'running with root privileges' >&2) | tee "$log" || status=$?
if grep -E -q '^[EWI]: [^ ]+: hardening-' "$log"; then
  echo "lintian: ${debs[0]} is built without the hardening flags" >&2
  exit 1
fi
if [ $status -ne 0 ]; then
  exit $status
fi
echo "lintian: ${debs[0]} has no error, no warning and no hardening tag"
