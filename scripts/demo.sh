#!/usr/bin/env bash
# Builds the programs and runs the simulated device, in real time: with a
# display, the dialog program (press Start); without one, one cycle of the
# headless runner. The device's flash is kept in the user's data folder, so
# it keeps its serial number and firmware from run to run like a real one.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
data="${XDG_DATA_HOME:-$HOME/.local/share}/orvalo-programmer"
mkdir -p "$data"
export ORVALO_SIM="${ORVALO_SIM:-flash=$data/demo-device.bin,serial=RV0058LK00000000000042,time=real}"
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec ./build/orvalo-programmer samples/firmware.hex
fi
exec ./build/orvalo-programmer-cli --verify samples/firmware.hex
