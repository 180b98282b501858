#!/usr/bin/env bash
# Builds the checker window (default preset) and starts it; arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset default
cmake --build --preset default -j2 --target velmo
exec build/default/app/velmo "$@"
