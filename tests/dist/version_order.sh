#!/usr/bin/env bash
# Builds' versions sort as dpkg sorts them, in the order the builds were made:
# a scratch repository walks through development before a release, the
# release tag, commits after it (past nine, where a text order would break),
# the next version's preparation and its release.
set -euo pipefail
stamp="$1"
repo="$(mktemp -d)"
trap 'rm -rf "$repo"' EXIT
git -C "$repo" init -q
git -C "$repo" config user.email t@example.invalid
git -C "$repo" config user.name t
prev=""
check() {  # base, expected shape (a regular expression)
  rm -rf "$repo/.out"
  cmake -DBASE="$1" -DSOURCE_DIR="$repo" -DOUT_DIR="$repo/.out" -P "$stamp"
  local v
  v=$(cat "$repo/.out/version.txt")
  [[ "$v" =~ ^$2$ ]] || { echo "version $v for base $1 is not of the form $2"; exit 1; }
  if [ -n "$prev" ] && ! dpkg --compare-versions "$prev" lt "$v"; then
    echo "version $v does not sort above the earlier build's $prev"; exit 1
  fi
  echo "$v"
  prev="$v"
}
commit() { echo "$RANDOM" >> "$repo/f"; git -C "$repo" add f; git -C "$repo" commit -qm c; }

commit; check 1.0.0 '1\.0\.0~1\.g[0-9a-f]+'
commit; check 1.0.0 '1\.0\.0~2\.g[0-9a-f]+'
git -C "$repo" tag v1.0.0; check 1.0.0 '1\.0\.0'
for n in $(seq 1 11); do commit; check 1.0.0 "1\\.0\\.0\\+$n\\.g[0-9a-f]+"; done
echo x >> "$repo/f"; check 1.0.0 '1\.0\.0\+11\.g[0-9a-f]+\.dirty'
git -C "$repo" checkout -q f
commit; check 1.1.0 '1\.1\.0~12\.g[0-9a-f]+'
git -C "$repo" tag 1.1.0; check 1.1.0 '1\.1\.0'
commit; check 1.1.0 '1\.1\.0\+1\.g[0-9a-f]+'
