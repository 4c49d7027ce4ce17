#!/usr/bin/env bash
# Mutation check, not part of CI: applies small operator-made faults (a pause
# length, a line operation deleted or its level flipped, a named constant, a
# comparison, a result code, two adjacent steps swapped, one character of a
# text) one at a time to a copy of the sources in build-mutation/, rebuilds
# incrementally, runs the native test programs that can see the mutated file
# and reports killed and surviving mutants (build-mutation/report.txt).
#
#   bash scripts/mutation.sh                 # src/isp src/cycle src/image src/app and the POSIX port
#   bash scripts/mutation.sh src/isp         # one area
#   bash scripts/mutation.sh --list src/isp  # the mutants, without running them
#
# Runs at the lowest priority: the machine is shared.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
ensure_packages "${BASE_PACKAGES[@]}"
exec nice -n 19 python3 scripts/mutation.py "$@"
