#!/usr/bin/env bash
# Runs a Windows program under Wine for ctest and GoogleTest discovery.
# Wine ends lines with CR LF; the discovery parser expects LF, so CRs are
# dropped from standard output. The program's exit status is kept.
set -o pipefail
# Only a prefix whose COM ports were pointed away from real devices will do
# (scripts/wine-prefix.sh makes one); the user's default prefix maps COM1 to
# /dev/ttyS0.
if [ -z "${WINEPREFIX:-}" ] || [ ! -f "$WINEPREFIX/.orvalo-test-prefix" ]; then
  echo "wine-run.sh: WINEPREFIX must be a test prefix made by scripts/wine-prefix.sh" >&2
  exit 125
fi
export WINEDEBUG="${WINEDEBUG:--all}"
# The serial emulator of the Wine stage goes into the Windows programs only
# (not into ctest or cmake around them).
if [ -n "${ORVALO_EMU_LIB:-}" ]; then
  export LD_PRELOAD="$ORVALO_EMU_LIB${LD_PRELOAD:+:$LD_PRELOAD}"
fi
loader=/usr/lib/wine/wine64
[ -x "$loader" ] || loader=wine
"$loader" "$@" | tr -d '\r'
