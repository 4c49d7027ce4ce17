#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer + UBSan) and runs each
# from its seed corpus for a bounded time. Any crash, sanitizer report or
# broken check fails the run; the input that caused it is kept in
# build-fuzz/findings/.
#   FUZZ_SECONDS=N   seconds per target (default 30)
# Long runs: see the README's "Reliability" section.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/deps.sh
ensure_packages "${BASE_PACKAGES[@]}" clang-14 libclang-rt-14-dev

seconds="${FUZZ_SECONDS:-30}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

mkdir -p build-fuzz/findings
for target in hex_passes frame_scan sim_config; do
  # New inputs go to a scratch folder; the seed corpus in the repository
  # stays as it is.
  work="build-fuzz/work/$target"
  rm -rf "$work" && mkdir -p "$work"
  log="build-fuzz/$target.log"
  echo "-- $target: $seconds s"
  if ! ./build-fuzz/fuzz/"$target"_fuzz -max_total_time="$seconds" -max_len=4096 -timeout=20 \
      -print_final_stats=1 -artifact_prefix=build-fuzz/findings/"$target"- \
      "$work" "fuzz/corpus/$target" >"$log" 2>&1; then
    tail -n 40 "$log"
    echo "fuzzing $target found a fault; the input is in build-fuzz/findings/" >&2
    exit 1
  fi
  grep -E "stat::number_of_executed_units|stat::average_exec_per_sec" "$log"
done
echo "-- $(basename "$0") done in ${SECONDS} s"
