#!/usr/bin/env bash
# Installs what is missing, builds the release preset and runs one unattended
# upload of the demo tables into a scratch database; prints the run log.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
exec bash tools/demo/run.sh build/release
