#!/usr/bin/env bash
# Installs dependencies, builds the release preset and runs the program's main job.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
exec build/release/bin/orvane-selfcheck "$@"
