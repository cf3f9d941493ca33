#!/usr/bin/env bash
# Installs dependencies, builds the release preset and runs the main job: the program orvane
# talking to the reference server on loopback. A server already answering on the port is
# used as it is; otherwise one is started for the session and stopped afterwards.
#
# Without a display (no DISPLAY or WAYLAND_DISPLAY) the windows cannot be shown: the script
# says so and runs the kernel console logged in to the same server as a demo user instead
# (type calls such as "RequestBuddyTree", "quit" to end).
# ORVANE_PORT picks the port (default 9999, the program's own default gateway).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
cmake --preset release >/dev/null
# Only what the main job runs: the tests and benchmarks are scripts/test.sh's business.
cmake --build --preset release -j "$(nproc)" --target orvane orvane-server orvane-console

bin=build/release/bin
port=${ORVANE_PORT:-9999}

# A server answers when a handshake gets its reply.
server_answers() {
  printf 'sleep 1500\nquit\n' |
    timeout 10 "$bin/orvane-console" --server "127.0.0.1:$port" 2>/dev/null |
    grep -q '^event OnHandshakeServerReply [0-9]* 0 '
}

server=""
cleanup() {
  if [ -n "$server" ]; then
    kill "$server" 2>/dev/null || true
    wait "$server" 2>/dev/null || true
  fi
}
trap cleanup EXIT

if server_answers; then
  echo "using the server that answers on 127.0.0.1:$port" >&2
else
  "$bin/orvane-server" --listen "127.0.0.1:$port" &
  server=$!
  for _ in $(seq 1 50); do
    server_answers && break
    kill -0 "$server" 2>/dev/null || { echo "the server did not start (is port $port free?)" >&2; exit 1; }
  done
  echo "started the reference server on 127.0.0.1:$port" >&2
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "no display here (DISPLAY and WAYLAND_DISPLAY are unset): running the kernel console" \
       "instead, logged in as demo on 127.0.0.1:$port; one call per line, quit to end" >&2
  "$bin/orvane-console" --server "127.0.0.1:$port" --register demo:demo --login demo:demo --decode
  exit 0
fi

"$bin/orvane" --server "127.0.0.1:$port"
