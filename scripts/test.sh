#!/usr/bin/env bash
# Installs dependencies, builds and runs the whole test suite through ctest.
# ORVANE_TEST_PRESETS chooses the build presets to test (default: asan then tsan).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
presets=${ORVANE_TEST_PRESETS:-"asan tsan"}
jobs=$(nproc)
for preset in $presets; do
  echo "=== preset $preset ==="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done
