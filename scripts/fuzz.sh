#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each one.
#   scripts/fuzz.sh [RUNS [SECONDS]]   RUNS inputs per target (default 1000000), each target
#                                      stopping after SECONDS at the latest (default: no limit)
set -euo pipefail
cd "$(dirname "$0")/.."

runs="${1:-1000000}"
seconds="${2:-0}"
bash scripts/install-deps.sh
cmake --preset fuzz
cmake --build --preset fuzz -j "$(nproc)" --target velmo_fuzzers

shopt -s nullglob
targets=(build/fuzz/fuzz/*/fuzz_*)
if [ "${#targets[@]}" -eq 0 ]; then
  echo "fuzz: no targets built"
  exit 0
fi
for target in "${targets[@]}"; do
  [ -f "$target" ] && [ -x "$target" ] || continue
  name="$(basename "$target")"
  corpus="build/fuzz/corpus/$name"
  mkdir -p "$corpus"
  # Committed seed inputs (fuzz/<library>/corpus/<target>/) are read, never written.
  seeds=(fuzz/*/corpus/"$name")
  echo "fuzz: $name ($runs runs)"
  "$target" -runs="$runs" -max_total_time="$seconds" -max_len=16384 -timeout=10 -rss_limit_mb=2048 "$corpus" "${seeds[@]}" \
    > "build/fuzz/$name.log" 2>&1 || { tail -n 40 "build/fuzz/$name.log"; exit 1; }
  tail -n 1 "build/fuzz/$name.log"
done
