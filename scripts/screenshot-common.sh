# Sourced by the Linux screenshot scripts.

# What a screenshot needs, and the build to take the program from: an
# existing one named by ORVALO_BUILD_DIR, or a fresh one (left in $build).
screenshot_build() {
  source scripts/deps.sh
  ensure_packages "${BASE_PACKAGES[@]}" "${SCREENSHOT_PACKAGES[@]}"
  build=${ORVALO_BUILD_DIR:-}
  if [ -z "$build" ]; then
    bash scripts/build.sh
    build=$PWD/build
  fi
}

# Inside the virtual display: waits for the dialog's window (its id left in
# $wid), ticks Verify, presses Start and lets the cycle end.
dialog_cycle() {
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
}
