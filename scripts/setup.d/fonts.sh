#!/usr/bin/env bash
# Fonts embedded in the studio program: Inter Regular and Semi Bold from
# Debian's fonts-inter, and the Phosphor icon font from the npm package
# @phosphor-icons/web. Kept in .deps/fonts, never committed.
set -euo pipefail
trap 'echo "setup (fonts): failed (exit $?) at line $LINENO: $BASH_COMMAND" >&2' ERR
root=$1 deps=$2
out="$deps/fonts"
mkdir -p "$out"

if [ ! -f "$out/Inter-Regular.otf" ] || [ ! -f "$out/Inter-SemiBold.otf" ]; then
  src=/usr/share/fonts/opentype/inter
  tmp=$(mktemp -d)
  if [ ! -f "$src/Inter-Regular.otf" ]; then
    (cd "$tmp" && apt-get download fonts-inter >"$tmp/apt.log" 2>&1 && dpkg -x fonts-inter_*.deb x) || {
      echo "setup: could not fetch fonts-inter; the end of apt's output:" >&2
      tail -n 20 "$tmp/apt.log" >&2
      rm -rf "$tmp"
      exit 1
    }
    src="$tmp/x/usr/share/fonts/opentype/inter"
  fi
  cp "$src/Inter-Regular.otf" "$src/Inter-SemiBold.otf" "$out/"
  rm -rf "$tmp"
fi

icons_version=2.1.2
icons_sha=40e3096099ca818c047979cece6a3764944d5200c67b64092f7bcd8bcd1d2b08
if [ ! -f "$out/Phosphor.ttf" ]; then
  fetch_npm_file "@phosphor-icons/web@$icons_version" "$icons_sha" src/regular/Phosphor.ttf \
    "$out/Phosphor.ttf"
fi
