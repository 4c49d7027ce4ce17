#!/usr/bin/env bash
# Creates a Wine prefix for the Windows tests and checks it: the COM ports lead
# to /dev/null (Wine otherwise maps COM1 to the first real serial device, which can be this
# machine's console), dialogs can be created without a display, and the
# prefix's wineserver is left running for the caller (stop it with
# `WINEPREFIX=... wineserver -k`).
#   scripts/wine-prefix.sh DIR [PTY]
# With PTY (a pseudo-terminal slave such as orvalo-emulated-port prints), COM1
# leads there instead, to the emulated serial device; nothing else is allowed.
set -euo pipefail
prefix="$1"
emulated="${2:-}"
com1=/dev/null
if [ -n "$emulated" ]; then
  # A pseudo-terminal slave: character device, major number 136 to 143.
  major=$((16#$(stat -L -c %t "$emulated")))
  if [ ! -c "$emulated" ] || [ "$major" -lt 136 ] || [ "$major" -gt 143 ]; then
    echo "wine-prefix.sh: $emulated is not a pseudo-terminal" >&2
    exit 1
  fi
  com1="$emulated"
fi
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEARCH=win64
# No Mono or Gecko: nothing here needs them and their installers only ask.
export WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$prefix"
wineserver -p
wineboot -i >/dev/null 2>&1
cat >"$prefix/orvalo.reg" <<REG
REGEDIT4

[HKEY_LOCAL_MACHINE\Software\Wine\Ports]
"COM1"="$com1"
"COM2"="/dev/null"

[HKEY_CURRENT_USER\Software\Wine\Drivers]
"Graphics"="x11,null"
REG
/usr/lib/wine/wine64 regedit /S "$prefix/orvalo.reg"
# The port links are made again from the registry when the server restarts.
wineserver -k || true
wineserver -w
wineserver -p
wineboot >/dev/null 2>&1
for port in com1 com2; do
  allowed=/dev/null
  [ "$port" = com1 ] && allowed="$com1"
  link="$prefix/dosdevices/$port"
  if [ -e "$link" ] || [ -L "$link" ]; then
    target="$(readlink -f "$link")"
    if [ "$target" != "$allowed" ]; then
      echo "wine-prefix.sh: $port leads to $target, not $allowed" >&2
      exit 1
    fi
  elif [ "$allowed" != /dev/null ]; then
    echo "wine-prefix.sh: $port does not lead to $allowed" >&2
    exit 1
  fi
done
touch "$prefix/.orvalo-test-prefix"
