#!/usr/bin/env bash
# x264 and libavcodec (its AAC encoder only), cross-built with mingw-w64 from Debian's source
# archives (named and fetched by scripts/setup) for the test-only encoder transforms of the
# Windows build. Built once into .deps/x264-mingw and .deps/ffmpeg-mingw; never linked into the
# product.
set -euo pipefail
root=$1 deps=$2

jobs=$(nproc)

# build <name> <archive> <sha> <pool> <configure args...>: unpacks, configures, builds and
# installs into .deps/<name>-mingw; the log stays in .deps/<name>-build.log.
build() {
  local name=$1 tar=$2 sha=$3 pool=$4; shift 4
  local out="$deps/$name-mingw" log="$deps/$name-build.log" tmp
  [ -f "$out/.built" ] && return 0
  echo "setup: cross-building $name for the test encoders (about a minute)"
  tmp=$(mktemp -d)
  fetch_source "$tar" "$sha" "$pool" "$tmp"
  tar -xf "$tmp/$tar" -C "$tmp"
  local srcdir; srcdir=$(find "$tmp" -mindepth 1 -maxdepth 1 -type d | head -n1)
  rm -rf "$out"
  if ! (cd "$srcdir" && ./configure --prefix="$out" "$@" && make -j"$jobs" && make install) >"$log" 2>&1; then
    echo "setup: building $name failed; the end of $log:" >&2
    tail -n 20 "$log" >&2
    rm -rf "$tmp"
    exit 1
  fi
  rm -rf "$tmp"
  touch "$out/.built"
}

build x264 "$x264_tar" "$x264_sha" "$x264_pool" \
  --host=x86_64-w64-mingw32 --cross-prefix=x86_64-w64-mingw32- --enable-static --disable-cli \
  --disable-opencl --disable-asm
build ffmpeg "$ffmpeg_tar" "$ffmpeg_sha" "$ffmpeg_pool" \
  --target-os=mingw32 --arch=x86_64 --cross-prefix=x86_64-w64-mingw32- --enable-static --disable-shared \
  --disable-everything --enable-encoder=aac --disable-programs --disable-doc --disable-network \
  --disable-autodetect --disable-avdevice --disable-avformat --disable-swscale --disable-swresample \
  --disable-postproc --disable-avfilter --disable-x86asm
