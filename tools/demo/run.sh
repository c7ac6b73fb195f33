#!/usr/bin/env bash
# Runs the demo upload against the built tree given as $1.
set -euo pipefail
build=${1:-build/release}
exe="$build/app/quendalour"
if [ ! -x "$exe" ]; then
  echo "demo: $exe not built yet" >&2
  exit 1
fi
out=$(mktemp -d)
"$exe" /Q "/F$out/run.log" || rc=$?
cat "$out/run.log" 2>/dev/null || true
exit "${rc:-0}"
