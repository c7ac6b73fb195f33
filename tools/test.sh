#!/usr/bin/env bash
# Installs what is missing, builds the release and the sanitizer presets and
# runs every test in both. Fails at the first failing step.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh
jobs=$(nproc)
# Clones in other folders share the compiler cache.
export CCACHE_BASEDIR="$PWD"
# The test programs reuse a precompiled GoogleTest header (tests/CMakeLists.txt).
export CCACHE_SLOPPINESS=pch_defines,time_macros

export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export ASAN_OPTIONS="detect_leaks=1:strict_string_checks=1"

for preset in release asan; do
  echo "=== configure + build: $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "=== test: $preset"
  # GUI smoke tests need a display: run the whole suite under Xvfb.
  xvfb-run -a -s "-screen 0 1280x1024x24" \
    ctest --preset "$preset" -j "$jobs"
done

if [ "${QL_FUZZ_SECONDS:-10}" -gt 0 ]; then
  echo "=== fuzz smoke (${QL_FUZZ_SECONDS:-10}s per target)"
  bash tools/fuzz.sh "${QL_FUZZ_SECONDS:-10}"
fi
echo "=== all tests passed"
