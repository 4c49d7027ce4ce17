#!/usr/bin/env bash
# Takes docs/screenshot-linux.png: the dialog program under a virtual X display
# (no window manager, so no title bar) after one successful cycle with Verify
# ticked, on the simulated device.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/screenshot-common.sh

if [ "${1:-}" = "--inside-display" ]; then
  work=$2 out=$3 build=$4
  "$build/orvalo-programmer" "$work/firmware.hex" &
  pid=$!
  trap 'kill $pid 2>/dev/null || true' EXIT
  dialog_cycle
  xdotool mousemove 600 380
  sleep 0.3
  import -window "$wid" "$out"
  exit 0
fi

# ORVALO_BUILD_DIR: take the program from an existing build instead.
screenshot_build
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
