#!/usr/bin/env bash
# The set-up's download path finds Debian's archive in whichever apt source files a machine has
# (Debian 12 has no sources.list, only deb822 .sources files), and a step that fails says why
# instead of ending silently. The archive named below refuses connections, so each run stops at
# its first download.
# Usage: setup_mirror_test.sh <checkout>
set -uo pipefail
setup="$1/scripts/setup"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
archive="http://127.0.0.1:1/debian"  # nothing listens on port 1
failures=0

# Runs the download check with apt's folder <dir> and expects it to fail saying <text>.
expect_failure() {
  local dir=$1 text=$2 out code
  out=$(QH_APT_DIR="$work/$dir" bash "$setup" --download-check 2>&1 </dev/null)
  code=$?
  if [ "$code" = 0 ] || [[ "$out" != *"$text"* ]]; then
    echo "FAIL $dir: exit $code, no \"$text\" in:"
    echo "$out" | sed 's/^/  /'
    failures=$((failures + 1))
  else
    echo "ok   $dir"
  fi
}

# One-line form only; the commented and the security archive come first and are passed over.
mkdir -p "$work/one-line/sources.list.d"
cat >"$work/one-line/sources.list.d/debian.list" <<EOF
# deb http://127.0.0.1:2/debian bookworm main
deb http://127.0.0.1:2/debian-security bookworm-security main
deb [arch=amd64 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $archive bookworm main
EOF
# deb822 form only, as a fresh Debian 12 has it.
mkdir -p "$work/deb822/sources.list.d"
cat >"$work/deb822/sources.list.d/debian.sources" <<EOF
Types: deb
URIs: http://127.0.0.1:2/debian-security
Suites: bookworm-security
Components: main

Types: deb
# http://127.0.0.1:2/debian
URIs: $archive
Suites: bookworm bookworm-updates
Components: main
EOF
# Neither: no source file at all.
mkdir -p "$work/neither"

expect_failure one-line "setup: could not download $archive/pool/"
expect_failure deb822 "setup: could not download $archive/pool/"
expect_failure neither "setup: no Debian archive in $work/neither/sources.list"
((failures == 0))
