#!/usr/bin/env bash
# The Windows chip backend's benchmark (bench/d2xx_path.cpp): cross-built with
# mingw-w64 into build-win/ with the tests (the test ftd2xx.dll is one of
# them) and run under Wine in a fresh prefix whose COM ports both lead to
# /dev/null. Prints the table the README's hardware section shows. Not part
# of scripts/test.sh: it measures, it does not test.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
build="$PWD/build-win"
ensure_windows_build "$build"
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
