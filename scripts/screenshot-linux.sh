#!/usr/bin/env bash
# Takes docs/screenshot-linux.png: the dialog program under a virtual X display
# (no window manager, so no title bar) after one successful cycle with Verify
# ticked, on the simulated device.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = "--inside-display" ]; then
  work=$2 out=$3 build=$4
  "$build/orvalo-programmer" "$work/firmware.hex" &
  pid=$!
  trap 'kill $pid 2>/dev/null || true' EXIT
  wid=
  for _ in $(seq 100); do
    wid=$(xdotool search --name '^Orvalo Desktop Firmware Programmer$' 2>/dev/null | head -1 || true)
    [ -n "$wid" ] && break
    sleep 0.1
  done
  [ -n "$wid" ] || { echo "the dialog did not appear" >&2; exit 1; }
  sleep 0.5
  # Verify (60, 40) and Start (5, 38) in dialog units; the DejaVu Sans 8 pt
  # dialog font makes a unit 1.75 pixels wide and 1.625 high.
  xdotool mousemove --window "$wid" 112 71 click 1
  sleep 0.3
  xdotool mousemove --window "$wid" 30 72 click 1
  sleep 3  # a cycle on the virtual clock takes well under a second
  xdotool mousemove 600 380
  sleep 0.3
  import -window "$wid" "$out"
  exit 0
fi

source scripts/deps.sh
ensure_packages "${BASE_PACKAGES[@]}" "${SCREENSHOT_PACKAGES[@]}"
# ORVALO_BUILD_DIR: take the program from an existing build instead.
build=${ORVALO_BUILD_DIR:-}
if [ -z "$build" ]; then
  bash scripts/build.sh
  build=$PWD/build
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 700 "$work"
cp samples/firmware.hex "$work/"
mkdir -p docs
# A private runtime folder, so that a dialog the user has open elsewhere does
# not make this one end as a second copy.
XDG_RUNTIME_DIR="$work" XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=xcb \
ORVALO_SIM="serial=RV0058LK00000000000042,time=virtual" \
  xvfb-run -a -s "-screen 0 640x400x24" bash "$0" --inside-display "$work" "$PWD/docs/screenshot-linux.png" "$build"
echo "docs/screenshot-linux.png"
