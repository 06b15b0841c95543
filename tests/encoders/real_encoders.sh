#!/usr/bin/env bash
# The studio's encoders against the test transforms, then ffprobe over what they produced.
# Usage: real_encoders.sh <transforms dll> <real_encoders_test.exe> <results xml> <artifacts dir>
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/encoder_prefix.sh"
dll=$1 exe=$2 xml=$3 out=$4
fail() { echo "real_encoders: $*" >&2; exit 1; }
rm -rf "$out"; mkdir -p "$out"
use_encoder_prefix "$dll" || exit 1

QH_ENCODER_OUT=$(windows_path "$out") wine "$exe" "--gtest_output=xml:$(windows_path "$xml")" </dev/null 2>&1 \
  | tr -d '\r'
[ "${PIPESTATUS[0]}" -eq 0 ] || fail "the encoder tests failed"

# Every packet decodes: 300 frames of 640x360 H.264, and AAC at 48 kHz stereo.
frames=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=codec_name,width,height,nb_read_frames \
  -of csv=p=0 "$out/video.h264") || fail "ffprobe refused video.h264"
[ "$frames" = "h264,640,360,300" ] || fail "video.h264: $frames, expected h264,640,360,300"
errors=$(ffmpeg -v error -i "$out/video.h264" -f null - 2>&1)
[ -z "$errors" ] || fail "video.h264 does not decode cleanly: $errors"
audio=$(ffprobe -v error -select_streams a:0 -show_entries stream=codec_name,profile,sample_rate,channels \
  -of csv=p=0 "$out/audio.aac") || fail "ffprobe refused audio.aac"
[ "$audio" = "aac,LC,48000,2" ] || fail "audio.aac: $audio, expected aac,LC,48000,2"
errors=$(ffmpeg -v error -i "$out/audio.aac" -f null - 2>&1)
[ -z "$errors" ] || fail "audio.aac does not decode cleanly: $errors"
echo "real_encoders: $frames; $audio"
