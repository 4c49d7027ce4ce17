#!/usr/bin/env bash
# Takes docs/screenshot-linux-menu.png: the dialog program as the menu entry
# starts it for a new user, on the simulated device. The build is installed
# into a private tree standing in for the package; the user, with nothing but
# an empty home, copies the sample image into the per-user data folder as the
# README says and starts the entry's Exec line without a file. After one cycle
# with Verify the pointer rests on Start, whose tooltip names the file found.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/screenshot-common.sh

if [ "${1:-}" = "--inside-display" ]; then
  out=$2
  # The entry's command, with no file chosen (%f expands to nothing).
  exec_line=$(sed -n 's/^Exec=//p' "$ORVALO_INSTALL_ROOT/usr/share/applications/orvalo-programmer.desktop")
  ${exec_line//%f/} &
  pid=$!
  trap 'kill $pid 2>/dev/null || true' EXIT
  dialog_cycle
  # On Start's upper edge, so that its tooltip leaves the status line clear.
  xdotool mousemove --window "$wid" 40 64
  sleep 2  # the tooltip's delay
  import -window root -crop 600x130+0+0 "$out"
  exit 0
fi

# ORVALO_BUILD_DIR: take the program from an existing build instead.
screenshot_build
work=$(mktemp -d /tmp/orvalo-XXXX)
trap 'rm -rf "$work"' EXIT
chmod 700 "$work"
DESTDIR="$work/root" cmake --install "$build" --prefix /usr >/dev/null
mkdir -p "$work/home" "$work/run"
chmod 700 "$work/run"
mkdir -p docs
# A new user: an empty home and nothing else of this session's environment.
env -i HOME="$work/home" PATH="$work/root/usr/bin:/usr/bin:/bin" XDG_RUNTIME_DIR="$work/run" \
  ORVALO_INSTALL_ROOT="$work/root" QT_QPA_PLATFORM=xcb \
  ORVALO_SIM="serial=RV0058LK00000000000042,time=virtual" \
  bash -c 'mkdir -p ~/.local/share/orvalo-programmer &&
    cp "$ORVALO_INSTALL_ROOT"/usr/share/doc/orvalo-programmer/examples/firmware.hex ~/.local/share/orvalo-programmer/ &&
    exec xvfb-run -a -s "-screen 0 640x400x24" bash "$0" --inside-display "$1"' \
  "$0" "$PWD/docs/screenshot-linux-menu.png"
echo "docs/screenshot-linux-menu.png"
