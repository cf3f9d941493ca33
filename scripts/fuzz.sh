#!/usr/bin/env bash
# Builds every fuzz target with clang and libFuzzer and runs each for a bounded time over a
# scratch copy of its committed corpus. Usage: scripts/fuzz.sh [seconds-per-target]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
scripts/deps.sh clang libclang-rt-14-dev
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"
list=build/fuzz/fuzz-targets.txt
# Crash inputs go here rather than into the working directory (the repository root).
artifacts=build/fuzz/artifacts
mkdir -p "$artifacts"
status=0
while IFS='|' read -r name corpus; do
  [ -n "$name" ] || continue
  work=$(mktemp -d)
  cp -r "$corpus"/. "$work"/ 2>/dev/null || true
  echo "=== $name (${seconds}s) ==="
  if ! build/fuzz/bin/"$name" -max_total_time="$seconds" -rss_limit_mb=2048 \
    -artifact_prefix="$artifacts/$name-" "$work" "$corpus" </dev/null; then
    status=1
  fi
  rm -rf "$work"
done <"$list"
exit $status
