#!/usr/bin/env bash
# Installs dependencies, builds the release preset and runs the main job: the reference
# server on loopback and the kernel console logged in to it as a demo user. Type calls such
# as "RequestBuddyTree" or "SendToUser 10001 1 19760112 0 \"hi\"" and "quit" to end.
# ORVANE_PORT picks the port (default 9999).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"

bin=build/release/bin
port=${ORVANE_PORT:-9999}
"$bin/orvane-server" --listen "127.0.0.1:$port" &
server=$!
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null || true' EXIT
sleep 0.5
kill -0 $server 2>/dev/null || { echo "the server did not start (is port $port free?)" >&2; exit 1; }

echo "orvane-console: logged in as demo on 127.0.0.1:$port; one call per line, quit to end" >&2
"$bin/orvane-console" --server "127.0.0.1:$port" --register demo:demo --login demo:demo --decode
