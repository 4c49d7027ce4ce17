#!/usr/bin/env bash
# The Windows chip backend's benchmark (bench/d2xx_path.cpp): cross-built with
# mingw-w64 into build-win/ with the tests (the test ftd2xx.dll is one of
# them) and run under Wine in a fresh prefix whose COM ports both lead to
# /dev/null. Prints the table the README's hardware section shows. Not part
# of scripts/test.sh: it measures, it does not test.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
ensure_packages "${BASE_PACKAGES[@]}" mingw-w64 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 googletest wine wine64
build="$PWD/build-win"
gtest="$build/gtest"
if [ ! -f "$gtest/lib/cmake/GTest/GTestConfig.cmake" ]; then
  cmake -S /usr/src/googletest -B "$build/googletest" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON -DCMAKE_INSTALL_PREFIX="$gtest" >/dev/null
  cmake --build "$build/googletest" -j2 >/dev/null
  cmake --install "$build/googletest" >/dev/null
fi
cmake --preset mingw-w64 -DORVALO_BUILD_BENCH=ON >/dev/null
cmake --build build-win -j2 --target bench_d2xx_path

prefix="$(mktemp -d /tmp/orvalo-bench-wine.XXXXXX)"
cleanup() {
  WINEPREFIX="$prefix/wine" wineserver -k 2>/dev/null || true
  rm -rf "$prefix"
}
trap cleanup EXIT
bash scripts/wine-prefix.sh "$prefix/wine"
export WINEPREFIX="$prefix/wine" WINEDEBUG=-all
unset ORVALO_SIM DISPLAY
bash cmake/wine-run.sh "$build/bench/bench_d2xx_path.exe"
