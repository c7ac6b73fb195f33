#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for N seconds
# (default 10) over its seed corpus in fuzz/<target>/corpus, if any.
set -euo pipefail
cd "$(dirname "$0")/.."
secs=${1:-10}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)" --target fuzzers
shopt -s nullglob
ran=0
for bin in build/fuzz/fuzz/*/fuzz_*; do
  [ -x "$bin" ] || continue
  name=$(basename "$bin")
  dir=fuzz/$(basename "$(dirname "$bin")")
  work=$(mktemp -d)
  seeds=()
  [ -d "$dir/corpus" ] && seeds=("$dir/corpus")
  echo "--- $name"
  "$bin" -max_total_time="$secs" -print_final_stats=0 -close_fd_mask=3 "$work" "${seeds[@]}" >/dev/null 2>"$work.log" || {
    cat "$work.log"; echo "fuzz target $name failed"; exit 1; }
  rm -rf "$work" "$work.log"
  ran=$((ran + 1))
done
echo "fuzz: $ran targets clean"
