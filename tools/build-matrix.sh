#!/usr/bin/env bash
# Builds every target (the tool, the library, the tests, make_samples,
# make_bench_images) with GCC and Clang, each in Debug, Release and
# RelWithDebInfo, with Debian's hardening flags and warnings as errors, one
# configuration after the other, each in its own folder under build-matrix/;
# then runs every test of the GCC Release build.
#
#   tools/build-matrix.sh              the whole matrix and the tests
#   tools/build-matrix.sh gcc-debug …  only the configurations named (tests
#                                      run when gcc-release is among them)
#
# The flags are dpkg-buildflags' with DEB_BUILD_MAINT_OPTIONS=hardening=+all
# (-O2 -D_FORTIFY_SOURCE=2 -fstack-protector-strong -Wformat
# -Werror=format-security ..., linked with -z relro -z now), as a Debian
# package build passes them; the build type's own flags come after them
# (Release: -O3 -DNDEBUG, RelWithDebInfo: -O2 -g -DNDEBUG, Debug: -g, so
# the Debug build keeps the -O2 and its assertions). A configuration fails
# on any compiler warning (-DTARNWICK_WERROR=ON) and on any warning the
# linker prints (the build goes on past a failed file, so one run shows
# every error); its full output is in build-matrix/NAME.log.
set -euo pipefail
cd "$(dirname "$0")/.."

all_configs=(gcc-debug gcc-release gcc-relwithdebinfo clang-debug clang-release clang-relwithdebinfo)
configs=("$@")
[ ${#configs[@]} -gt 0 ] || configs=("${all_configs[@]}")
for c in "${configs[@]}"; do
  case " ${all_configs[*]} " in
    *" $c "*) ;;
    *) echo "unknown configuration '$c' (configurations: ${all_configs[*]})" >&2; exit 2 ;;
  esac
done

bash tools/install-deps.sh clang dpkg-dev
jobs=$(nproc)
[ "$jobs" -le 2 ] || jobs=2

# CMake does not read CPPFLAGS: the preprocessor's flags go with the compiler's.
flags=$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get CPPFLAGS)
flags="$flags $(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get CXXFLAGS)"
ldflags=$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get LDFLAGS)
echo "CXXFLAGS: $flags"
echo "LDFLAGS:  $ldflags"

mkdir -p build-matrix
status=0
for c in "${configs[@]}"; do
  compiler=${c%%-*}
  case ${c#*-} in
    debug) type=Debug ;;
    release) type=Release ;;
    relwithdebinfo) type=RelWithDebInfo ;;
  esac
  if [ "$compiler" = gcc ]; then cc=gcc cxx=g++; else cc=clang cxx=clang++; fi
  dir=build-matrix/$c
  log=build-matrix/$c.log
  start=$SECONDS
  result=ok
  if ! CC=$cc CXX=$cxx cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE="$type" -DTARNWICK_WERROR=ON \
         -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >"$log" 2>&1 ||
     ! cmake --build "$dir" -j"$jobs" -- -k >>"$log" 2>&1; then
    result=FAILED
  elif grep -E -q 'warning:|CMake Warning' "$log"; then
    result="FAILED (warnings)"
  fi
  echo "$c: $result, $((SECONDS - start)) s"
  if [ "$result" != ok ]; then
    status=1
    grep -E -A3 'warning:|error:|CMake Warning|CMake Error' "$log" | head -60 >&2 || true
    echo "  full log: $log" >&2
  fi
done

if [ $status -eq 0 ] && [[ " ${configs[*]} " == *" gcc-release "* ]]; then
  start=$SECONDS
  ctest --test-dir build-matrix/gcc-release --output-on-failure -j"$jobs" || status=$?
  echo "gcc-release tests: $((SECONDS - start)) s"
fi
exit $status
