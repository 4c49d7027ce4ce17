#!/usr/bin/env bash
# Builds everything and runs every test; the README's test command.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
(cd build && ctest --output-on-failure -j2 --timeout 300)
# Further stages (each installs what it needs and fails the run on a failure).
for stage in scripts/test-stages/*.sh; do
  [ -e "$stage" ] || continue
  echo "== $(basename "$stage")"
  bash "$stage"
done
