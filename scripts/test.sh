#!/usr/bin/env bash
# Builds Velmo and runs every test.
#   scripts/test.sh            installs dependencies, builds the default preset, runs ctest
#   scripts/test.sh asan       the same with AddressSanitizer + UndefinedBehaviorSanitizer
#   scripts/test.sh tsan       the same with ThreadSanitizer
set -euo pipefail
cd "$(dirname "$0")/.."

preset="${1:-default}"
bash scripts/install-deps.sh

jobs="$(nproc)"
cmake --preset "$preset"
cmake --build --preset "$preset" -j "$jobs"
ctest --preset "$preset" -j "$jobs"
