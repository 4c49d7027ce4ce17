#!/usr/bin/env bash
# Builds the library, the headless runner and the non-GUI tests with clang
# under AddressSanitizer + UndefinedBehaviorSanitizer and under
# ThreadSanitizer, and runs every test in both. Any finding fails the run.
# Usage: scripts/test-stages/10-sanitizers.sh [asan|tsan]...   (default: both)
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/deps.sh
ensure_packages "${BASE_PACKAGES[@]}" clang-14 libclang-rt-14-dev

kinds=("$@")
[ ${#kinds[@]} -gt 0 ] || kinds=(asan tsan)

for kind in "${kinds[@]}"; do
  case "$kind" in
    asan|tsan) ;;
    *) echo "unknown sanitizer build: $kind" >&2; exit 2 ;;
  esac
  # The presets of the same names (CMakePresets.json) hold the flags.
  dir="build-$kind"
  echo "-- $kind: building into $dir"
  cmake --preset "$kind" >/dev/null
  cmake --build --preset "$kind"
  echo "-- $kind: running the tests"
  # halt_on_error: a report ends the process, so ctest sees the failure.
  ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:abort_on_error=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    ctest --test-dir "$dir" --output-on-failure -j2 --timeout 600
done
echo "-- $(basename "$0") done in ${SECONDS} s"
