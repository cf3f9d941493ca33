#!/usr/bin/env bash
# Installs dependencies, builds and runs the whole test suite through ctest.
# ORVANE_TEST_PRESETS chooses the build presets to test (default: asan then tsan).
# Qt code builds and is tested in asan only (Debian's Qt is not built for ThreadSanitizer);
# tsan builds and tests everything else. The minutes each step took are printed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
presets=${ORVANE_TEST_PRESETS:-"asan tsan"}
jobs=$(nproc)
# One compile more than cores: a link or a file write leaves a core idle otherwise. The tests
# keep one per core, as some of them measure nothing but still wait on real sockets.
build_jobs=$((jobs + 1))
minutes() { awk -v s="$1" -v e="$(date +%s)" 'BEGIN { printf "%.1f", (e - s) / 60 }'; }
summary=""
for preset in $presets; do
  echo "=== preset $preset ==="
  start=$(date +%s)
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$build_jobs"
  built=$(minutes "$start")
  start=$(date +%s)
  ctest --preset "$preset" -j "$jobs"
  tested=$(minutes "$start")
  echo "=== preset $preset: build $built min, tests $tested min ==="
  summary+="$preset: build $built min, tests $tested min"$'\n'
done
printf '%s' "$summary"
