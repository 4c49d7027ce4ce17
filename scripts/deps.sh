# Installs the Debian packages named as arguments when any is missing.
# Sourced by the other scripts: ensure_packages PKG...
ensure_packages() {
  local missing=()
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends -o DPkg::Lock::Timeout=600 "${missing[@]}"
}

# What every build needs.
# fonts-dejavu-core: without a font Qt draws every glyph as a box.
# libftdi1-dev, libusb-1.0-0-dev: the headers of the FTDI chip backend and of
# the test's stand-in for libusb; libftdi1-2: the library the tests load.
BASE_PACKAGES=(cmake make g++ libgtest-dev qt6-base-dev fonts-dejavu-core libftdi1-2 libftdi1-dev libusb-1.0-0-dev)
# What the screenshot of the dialog under a virtual X display needs.
SCREENSHOT_PACKAGES=(xvfb xauth imagemagick xdotool)
