#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for N seconds
# (default 10) over its seed corpus in fuzz/<target>/corpus, if any. The
# targets run side by side, as many at once as there are processors
# (QL_FUZZ_JOBS overrides); every failing target's log is printed.
set -euo pipefail
cd "$(dirname "$0")/.."
secs=${1:-10}
jobs=${QL_FUZZ_JOBS:-$(nproc)}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)" --target fuzzers

# run_one BIN: one target for $secs seconds; prints its log when it fails.
run_one() {
  local bin=$1 name dir work rc=0
  name=$(basename "$bin")
  dir=fuzz/$(basename "$(dirname "$bin")")
  work=$(mktemp -d)
  local seeds=()
  [ -d "$dir/corpus" ] && seeds=("$dir/corpus")
  "$bin" -max_total_time="$secs" -print_final_stats=0 -close_fd_mask=3 "$work" "${seeds[@]}" \
    >/dev/null 2>"$work.log" || rc=$?
  if [ "$rc" -ne 0 ]; then
    cat "$work.log"
    echo "fuzz target $name failed"
  else
    echo "--- $name clean"
  fi
  rm -rf "$work" "$work.log"
  return "$rc"
}
export -f run_one
export secs

shopt -s nullglob
bins=()
for bin in build/fuzz/fuzz/*/fuzz_*; do
  [ -x "$bin" ] && bins+=("$bin")
done
printf '%s\0' "${bins[@]}" | xargs -0 -n 1 -P "$jobs" bash -c 'run_one "$0"' || {
  echo "fuzz: a target failed"; exit 1; }
echo "fuzz: ${#bins[@]} targets clean"
