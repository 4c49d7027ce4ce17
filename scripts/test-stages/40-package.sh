#!/usr/bin/env bash
# The Debian package: built by cpack from the native build, its contents
# checked against the install rules and the list in tests/dist, installed,
# run and removed on this machine, and looked over by lintian (its findings
# are printed, not fatal).
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/deps.sh
# dpkg-dev: dpkg-shlibdeps, for the package's dependencies.
ensure_packages "${BASE_PACKAGES[@]}" dpkg-dev file lintian desktop-file-utils
started=$(date +%s)
root="$PWD"
bash scripts/build.sh
built=$(date +%s)

work="$(mktemp -d /tmp/orvalo-package.XXXXXX)"
trap 'rm -rf "$work"' EXIT
(cd build && cpack -G DEB -B "$work/deb" >/dev/null)
deb=$(ls "$work"/deb/*.deb)
name=$(dpkg-deb -f "$deb" Package)
version=$(dpkg-deb -f "$deb" Version)
fail() { echo "40-package: $*" >&2; exit 1; }

# 1. The package holds exactly what the install rules install, and that is
#    the expected list: a file dropped from, or slipped into, the install
#    rules shows here.
DESTDIR="$work/root" cmake --install build --prefix /usr >/dev/null
(cd "$work/root" && find . ! -type d | sed 's|^\.||' | sort) > "$work/install.list"
dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\.||' | sort > "$work/deb.list"
sort tests/dist/deb-contents.txt > "$work/expected.list"
diff -u "$work/install.list" "$work/deb.list" || fail "the package differs from the install rules"
diff -u "$work/expected.list" "$work/deb.list" || fail "the package differs from tests/dist/deb-contents.txt"
dpkg-deb --contents "$deb" | awk '$2 != "root/root" {print}' | grep . && fail "files not owned by root"
dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ && $6 ~ /^\.\/usr\/bin\// && $1 != "-rwxr-xr-x" {print}' | grep . \
  && fail "programs without mode 0755"
dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6' || fail "no Qt dependency computed: $(dpkg-deb -f "$deb" Depends)"
[ "$(dpkg-deb -f "$deb" Version)" = "$(cat build/generated/version/version.txt)" ] || fail "package version"
desktop-file-validate "$work/root/usr/share/applications/$name.desktop"

# 2. Installs, runs and removes cleanly. Its dependencies are installed
#    first, since dpkg does not fetch them (the first of each alternative).
deps=$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/|.*//; s/(.*)//; s/ //g' | grep .)
# shellcheck disable=SC2086
ensure_packages $deps
# Another job on this machine may hold dpkg's lock for a while.
dpkg_locked() {
  local tries=0
  until dpkg "$@" 2>"$work/dpkg.err"; do
    grep -q "lock" "$work/dpkg.err" && [ $tries -lt 120 ] || { cat "$work/dpkg.err" >&2; return 1; }
    tries=$((tries + 1))
    sleep 5
  done
  cat "$work/dpkg.err" >&2
}
dpkg_locked -i "$deb"
[ "$(orvalo-programmer-cli --version)" = "orvalo-programmer-cli $version" ] || fail "installed runner's --version"
while read -r f; do [ -e "$f" ] || fail "not installed: $f"; done < "$work/expected.list"
# dpkg -r keeps the conffiles (the operator's edits) until the purge.
dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles > "$work/conffiles" || : > "$work/conffiles"
dpkg_locked -r "$name"
while read -r f; do
  grep -qxF "$f" "$work/conffiles" && continue
  [ ! -e "$f" ] || fail "left behind by dpkg -r: $f"
done < "$work/expected.list"
dpkg-query -W -f='${Status}\n' "$name" 2>/dev/null | grep -q "^install" && fail "still installed after dpkg -r"
dpkg_locked -P "$name"
while read -r f; do [ ! -e "$f" ] || fail "left behind by dpkg -P: $f"; done < "$work/conffiles"

# 3. lintian: what Debian's checker says about the package.
echo "lintian findings:"
lintian --tag-display-limit 0 "$deb" 2>&1 | grep -v 'running with root privileges' | sed 's/^/  /' || true

finished=$(date +%s)
echo "Package stage: $(basename "$deb"), $(stat -c %s "$deb") bytes, installed $(dpkg-deb -f "$deb" Installed-Size) KiB;" \
  "build $((built - started)) s, package and checks $((finished - built)) s"
