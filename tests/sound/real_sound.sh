#!/usr/bin/env bash
# The studio's audio input against real endpoints: Wine over the private PulseAudio that
# scripts/test starts (QH_PULSE_RUNTIME_DIR), a 440 Hz tone played into its null sink "qhsink",
# and an extra sink that is unplugged while the studio captures from it.
# Usage: real_sound.sh <real_sound_test.exe> <results xml> <work folder>
set -uo pipefail
exe=$1 xml=$2 work=$3
fail() { echo "real_sound: $*" >&2; exit 1; }
[ -n "${QH_PULSE_RUNTIME_DIR:-}" ] || fail "no PulseAudio to play into; run through scripts/test"
export XDG_RUNTIME_DIR=$QH_PULSE_RUNTIME_DIR
windows_path() { echo "Z:${1//\//\\}"; }
rm -rf "$work"; mkdir -p "$work"
tone_pids=() module=""
cleanup() {
  ((${#tone_pids[@]})) && kill "${tone_pids[@]}" 2>/dev/null
  [ -z "$module" ] || pactl unload-module "$module" 2>/dev/null
}
trap cleanup EXIT

module=$(pactl load-module module-null-sink sink_name=unplug sink_properties=device.description=Unplug) \
  || fail "could not load the sink to unplug"
# The tone from a file with a generous playback buffer, so that a busy machine never starves the
# sink: every gap found is one of the capture path.
ffmpeg -v error -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=30" -ac 2 -f s16le -y "$work/tone.raw" \
  </dev/null || fail "could not make the tone"
pacat --playback -d qhsink --format=s16le --rate=44100 --channels=2 --latency-msec=300 "$work/tone.raw" &
tone_pids+=($!)

(QH_SOUND_SIGNALS=$(windows_path "$work") wine "$exe" "--gtest_output=xml:$(windows_path "$xml")" \
  --gtest_filter=-RealMicrophone.UnpluggedInTheNextRun </dev/null 2>&1 | tr -d '\r') &
tests=$!
# The sink goes once the test captures from it (or never, when the tests end before).
while kill -0 "$tests" 2>/dev/null && [ ! -e "$work/capturing" ]; do sleep 0.1; done
if [ -e "$work/capturing" ]; then
  pactl unload-module "$module" || fail "could not unload the sink"
  module=""
fi
wait "$tests" || fail "the endpoint tests failed"
[ -z "$module" ] || fail "the sink to unplug was never captured from"

QH_UNPLUGGED_ID=$(cat "$work/unplug-id") wine "$exe" --gtest_filter=RealMicrophone.UnpluggedInTheNextRun \
  </dev/null 2>&1 | tr -d '\r' | grep -E '^\[ +(OK|FAILED|SKIPPED) +\]|Failure|Which is|Expected'
[ "${PIPESTATUS[0]}" -eq 0 ] || fail "an unplugged microphone was not reported as unplugged"
