#!/usr/bin/env bash
# Configures and builds the native programs and tests into build/.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
ensure_packages "${BASE_PACKAGES[@]}"
cmake --preset native >/dev/null
cmake --build --preset native
