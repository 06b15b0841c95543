#!/usr/bin/env bash
# Builds the publishing benchmark optimised and without sanitizers, then runs it.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
dir="$root/build/bench-native"
cmake -G Ninja -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DQH_SANITIZE=OFF >/dev/null
cmake --build "$dir" --target rtmp_publish_bench >/dev/null
mkdir -p "$dir/rtmp-bench"
"$dir/rtmp_publish_bench" "$root" "$dir/rtmp-bench" "${1:-5}"
