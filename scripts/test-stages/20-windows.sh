#!/usr/bin/env bash
# The Windows programs: cross-built with mingw-w64 into build-win/ and tested
# under Wine in a fresh prefix of their own, whose COM ports lead to /dev/null.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/deps.sh
ensure_packages cmake make mingw-w64 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 googletest \
  wine wine64 xvfb xauth fonts-dejavu-core
started=$(date +%s)
root="$PWD"
build="$root/build-win"
toolchain="$root/cmake/mingw-w64-x86_64.cmake"

# Debian's libgtest-dev is for Linux only: GoogleTest is built from its
# sources with the same toolchain, once per build folder.
gtest="$build/gtest"
if [ ! -f "$gtest/lib/cmake/GTest/GTestConfig.cmake" ]; then
  cmake -S /usr/src/googletest -B "$build/googletest" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON -DCMAKE_INSTALL_PREFIX="$gtest" >/dev/null
  cmake --build "$build/googletest" -j2 >/dev/null
  cmake --install "$build/googletest" >/dev/null
fi

# The preset mingw-w64 (CMakePresets.json) builds into $build and finds
# GoogleTest in $gtest.
cmake --preset mingw-w64 >/dev/null
cmake --build --preset mingw-w64
built=$(date +%s)

prefix="$(mktemp -d /tmp/orvalo-wine.XXXXXX)"
cleanup() {
  WINEPREFIX="$prefix/wine" wineserver -k 2>/dev/null || true
  rm -rf "$prefix"
}
trap cleanup EXIT
bash scripts/wine-prefix.sh "$prefix/wine"
export WINEPREFIX="$prefix/wine" WINEDEBUG=-all
unset DISPLAY  # no test needs a display: the prefix draws with the null driver
(cd "$build" && ctest --output-on-failure -j2 --timeout 300)
finished=$(date +%s)
echo "Windows stage: build $((built - started)) s, Wine prefix and tests $((finished - built)) s"
