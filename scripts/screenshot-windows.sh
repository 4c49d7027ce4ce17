#!/usr/bin/env bash
# Takes docs/screenshot-windows.png: the Windows dialog program under Wine on a
# virtual X display (no window manager) after one successful cycle with Verify
# ticked, on the simulated device.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = "--inside-display" ]; then
  program=$2 work=$3 out=$4
  (cd "$work" && /usr/lib/wine/wine64 "$program" firmware.hex) &
  pid=$!
  trap 'kill $pid 2>/dev/null || true' EXIT
  wid=
  for _ in $(seq 300); do
    wid=$(xdotool search --onlyvisible --name '^Orvalo Desktop Firmware Programmer$' 2>/dev/null | head -1 || true)
    [ -n "$wid" ] && break
    sleep 0.1
  done
  [ -n "$wid" ] || { echo "the dialog did not appear" >&2; exit 1; }
  sleep 1
  xdotool windowactivate --sync "$wid" 2>/dev/null || xdotool windowfocus --sync "$wid" || true
  # The mnemonics of "&Verify" and "&Start".
  xdotool key --window "$wid" alt+v
  sleep 0.3
  xdotool key --window "$wid" alt+s
  sleep 4  # a cycle on the virtual clock takes well under a second
  xdotool mousemove 600 380
  sleep 0.3
  import -window "$wid" "$out"
  exit 0
fi

source scripts/deps.sh
ensure_packages cmake make mingw-w64 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 \
  wine wine64 xvfb xauth imagemagick xdotool fonts-dejavu-core
# ORVALO_WIN_BUILD_DIR: take the program from an existing cross build.
build=${ORVALO_WIN_BUILD_DIR:-}
if [ -z "$build" ]; then
  build=$PWD/build-win-shot
  cmake --preset mingw-w64 -B "$build" -DORVALO_BUILD_TESTS=OFF >/dev/null
  cmake --build "$build" -j2 --target orvalo-programmer
fi
program="$build/src/ui/win32/orvalo-programmer.exe"
work=$(mktemp -d /tmp/orvalo-shot.XXXXXX)
cleanup() {
  WINEPREFIX="$work/wine" wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
bash scripts/wine-prefix.sh "$work/wine"
# Wine's desktop process must start on the virtual display, not before it.
WINEPREFIX="$work/wine" wineserver -k
WINEPREFIX="$work/wine" wineserver -w
cp samples/firmware.hex "$work/"
mkdir -p docs
WINEPREFIX="$work/wine" WINEDEBUG=-all \
ORVALO_SIM="serial=RV0058LK00000000000042,time=virtual" \
  xvfb-run -a -s "-screen 0 640x400x24" bash "$0" --inside-display "$program" "$work" "$PWD/docs/screenshot-windows.png"
echo "docs/screenshot-windows.png"
