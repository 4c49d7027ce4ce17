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

# What the Windows cross build needs, and its GoogleTest: Debian's
# libgtest-dev is for Linux only, so GoogleTest is built from its sources
# with the same toolchain, once per build folder (into BUILD/gtest, where the
# mingw-w64 preset finds it). Run from the source root: ensure_windows_build BUILD [PKG...]
ensure_windows_build() {
  local build=$1
  shift
  ensure_packages "${BASE_PACKAGES[@]}" mingw-w64 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 googletest \
    wine wine64 "$@"
  local gtest="$build/gtest"
  [ -f "$gtest/lib/cmake/GTest/GTestConfig.cmake" ] && return 0
  cmake -S /usr/src/googletest -B "$build/googletest" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON -DCMAKE_INSTALL_PREFIX="$gtest" >/dev/null
  cmake --build "$build/googletest" -j2 >/dev/null
  cmake --install "$build/googletest" >/dev/null
}
