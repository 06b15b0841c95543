#!/usr/bin/env bash
# The npm package `ws`, a WebSocket client no one here wrote, for the remote
# control's real-peer tests. Kept in .deps/node, never committed.
set -euo pipefail
trap 'echo "setup (ws): failed (exit $?) at line $LINENO: $BASH_COMMAND" >&2' ERR
root=$1 deps=$2
ws_version=8.18.3
out="$deps/node"
if [ ! -f "$out/node_modules/ws/package.json" ] ||
   ! grep -q "\"version\": \"$ws_version\"" "$out/node_modules/ws/package.json"; then
  ensure_npm
  mkdir -p "$out"
  npm install --no-audit --no-fund --prefix "$out" "ws@$ws_version" >"$deps/npm-ws.log" 2>&1 || {
    echo "setup: could not install ws@$ws_version from npm; the end of $deps/npm-ws.log:" >&2
    tail -n 20 "$deps/npm-ws.log" >&2
    exit 1
  }
fi
