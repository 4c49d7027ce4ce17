#!/usr/bin/env bash
# Builds the programs and runs one real programming cycle, in real time, on the
# simulated device. The device's flash is kept in the user's data folder, so
# it keeps its serial number and firmware from run to run like a real one.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
data="${XDG_DATA_HOME:-$HOME/.local/share}/orvalo-programmer"
mkdir -p "$data"
export ORVALO_SIM="${ORVALO_SIM:-flash=$data/demo-device.bin,serial=RV0058LK00000000000042,time=real}"
exec ./build/orvalo-programmer-cli --verify samples/firmware.hex
