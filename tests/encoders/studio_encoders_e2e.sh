#!/usr/bin/env bash
# The real studio under Wine with the test encoders: records both canvases to Matroska with a
# backup copy (Ctrl+R, 5 s, Ctrl+R), goes live to a local nginx (Ctrl+L, 5 s, Ctrl+L), closes
# politely, and every file it made is checked by ffprobe and mkvinfo. The microphone is the
# monitor of the private PulseAudio's null sink: two seconds into the recording F1 shows a white
# layer and a 440 Hz tone starts playing into the sink, and each canvas's file must hold the tone
# with its onset in step with the flash. Also reports the studio's CPU while recording.
# Needs the prefix, display and PulseAudio that scripts/test prepares.
# Usage: studio_encoders_e2e.sh <quillhaven.exe> <transforms dll> <studio_profile.exe> <artifacts>
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/encoder_prefix.sh"
. "$here/live_studio.sh"
exe=$1 dll=$2 profile_tool=$3 artifacts=$4
rm -rf "$artifacts"; mkdir -p "$artifacts"
work=$(mktemp -d "$artifacts/run.XXXXXX")
pacat_pid="" tone_pid=""
fail() { echo "studio_encoders_e2e: $*" >&2; exit 1; }
# What the screen shows and what the machine had when a step did not happen: the studio tells
# the user why in its window, never on its output.
diagnose() {
  import -window root "$artifacts/failure.png" 2>/dev/null
  echo "studio_encoders_e2e: screen kept as $artifacts/failure.png; studio" \
    "$(kill -0 "$studio_pid" 2>/dev/null && echo running || echo gone)," \
    "keyboard focus on $(xdotool getwindowfocus 2>/dev/null) (studio $wid)," \
    "$(df -Pm "$work" | awk 'NR == 2 { print $4 }') MiB free; files: $(ls "$work/main" "$work/backup")" >&2
}
cleanup() {
  kill_studio
  stop_nginx
  [ -z "$tone_pid" ] || kill "$tone_pid" 2>/dev/null
  exec 3>&-
  [ -z "$pacat_pid" ] || kill "$pacat_pid" 2>/dev/null
}
trap cleanup EXIT
# nginx with the RTMP module, recording what is published.
prepare_live_check "$dll" "$profile_tool"

# The player waits on a pipe from the start, so that the tone reaches the sink as soon as it is
# written, with no connection to make at that moment; until then the sink plays silence. Its
# generous buffer fills at once, so it delays nothing and keeps a busy machine from starving it.
ffmpeg -v error -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=30" -ac 2 -f s16le -y \
  "$work/tone.raw" </dev/null || fail "could not make the tone"
mkfifo "$work/tone.pipe"
pacat --playback -d qhsink --format=s16le --rate=48000 --channels=2 --latency-msec=300 \
  <"$work/tone.pipe" 2>"$work/pacat.log" &
pacat_pid=$!
exec 3>"$work/tone.pipe"

start_studio "$exe" "$work/studio.log"
sizes() { stat -c %s "$work"/main/*.mkv "$work"/backup/*.mkv 2>/dev/null | tr '\n' ' '; }
# stopped_within <tenths>: true once the recordings have not grown for three seconds (a recording
# writes a cluster at least every second of video); sets "stopped" to the last time they grew.
stopped_within() {
  local n=$1 i last now same=0
  last=$(sizes); stopped=$(date +%s.%N)
  for ((i = 0; i < n; i++)); do
    sleep 0.1
    now=$(sizes)
    if [ "$now" = "$last" ]; then ((++same >= 30)) && return 0
    else same=0; last=$now; stopped=$(date +%s.%N); fi
  done
  return 1
}
# "thread-id cpu-ticks" for each thread of the studio's process.
threads() {
  local t
  for t in /proc/"$studio_pid"/task/*; do
    awk -v t="${t##*/}" '{ sub(/^.*\) /, ""); print t, $12 + $13 }' "$t/stat" 2>/dev/null
  done
}

# Recording: two canvases, each with a backup copy. The threads that appear with it are the
# encoders' workers (each test transform encodes on its caller's thread).
threads >"$work/threads.idle"
pressed=$(date +%s.%N)
press ctrl+r
wait_for 200 bash -c "[ \$(find '$work/main' -name '*.mkv' -size +0 | wc -l) -eq 2 ]" \
  || { diagnose; fail "recording did not start"; }
threads >"$work/threads.start"
sleep 2  # silence before the flash
# The flash and the beep together: the key is sent, then the tone goes into the waiting player.
press F1
cat "$work/tone.raw" >&3 &
tone_pid=$!
sleep 3  # the rest of the recording
threads >"$work/threads.end"
# What PulseAudio itself holds between the player and the capture, for the log.
pactl list sink-inputs | grep -i latency | sed 's/^[[:space:]]*/studio_encoders_e2e: player /'
pactl list source-outputs | grep -i latency | sed 's/^[[:space:]]*/studio_encoders_e2e: capture /'
press ctrl+r
stopped_within 300 || { diagnose; fail "recording did not stop"; }
awk -v hz="$(getconf CLK_TCK)" '
  FILENAME ~ /idle$/ { idle[$1] = 1; next }
  FILENAME ~ /start$/ { start[$1] = $2; next }
  { d = $2 - start[$1]; all += d; if (!($1 in idle)) enc += d }
  END { printf "studio_encoders_e2e: CPU while recording both canvases at 1080p30 with backups: %d%% of one core, of which the encoder threads %d%%\n", all * 100 / (5 * hz), enc * 100 / (5 * hz) }
' "$work/threads.idle" "$work/threads.start" "$work/threads.end"

# Going live to the local nginx.
press ctrl+l
wait_for 200 bash -c "[ -s '$work/nginx/rec/e2ekey.flv' ]" \
  || { diagnose; fail "nothing reached nginx: $(tail -n 5 "$work/nginx/logs/error.log")"; }
sleep 5  # the length of the broadcast
press ctrl+l

close_studio
[ "$closed_code" -eq 0 ] || fail "the studio exited with $closed_code"
stop_nginx

# The seconds of sound a file holds, from its AAC packets of 1024 samples at 48 kHz (ffprobe
# lists an AAC stream for its header alone). The microphone is captured from the start, so the
# sound lasts nearly the whole <duration>; a machine the four encoders keep saturated makes Wine's
# capture drop some of it (up to a sixth was seen), so half is required.
sound_in() {
  local n
  n=$(ffprobe -v error -count_packets -select_streams a:0 -show_entries stream=nb_read_packets \
    -of csv=p=0 "$1")
  awk -v n="${n:-0}" -v d="$2" \
    'BEGIN { s = n * 1024 / 48000; printf "%.2f", s; exit !(s >= 0.5 * d) }'
}
# The times of the third frame before the flash (0 when there is none), of the frame before it
# and of the first frame brighter than mid-grey.
flash_frames() {
  ffmpeg -v error -i "$1" -map 0:v:0 \
    -vf "signalstats,metadata=print:key=lavfi.signalstats.YAVG:file=-" -f null - </dev/null |
    awk '/pts_time:/ { sub(/.*pts_time:/, ""); t[n++] = $1 }
      /YAVG=/ { split($0, v, "="); if (v[2] + 0 <= 128) next
                if (n > 1) print (n > 3 ? t[n - 4] : 0), t[n - 2], t[n - 1]; exit }'
}
# The start of the first 5 ms of sound above -40 dBFS: the beep (the tone's RMS is -21 dBFS).
beep_at() {
  local rms=ametadata=print:key=lavfi.astats.Overall.RMS_level:file=-
  ffmpeg -v error -i "$1" -map 0:a:0 -af "asetnsamples=n=240,astats=metadata=1:reset=1,$rms" \
    -f null - </dev/null | awk '/pts_time:/ { sub(/.*pts_time:/, ""); t = $1 }
      /RMS_level=/ { split($0, v, "="); if (v[2] != "-inf" && v[2] + 0 > -40) { print t; exit } }'
}
# The frequency of one second of sound from <start> s on, from its zero crossings.
frequency_at() {
  ffmpeg -nostats -i "$1" -map 0:a:0 -af "atrim=start=$2:duration=1,astats" -f null - \
    </dev/null 2>&1 |
    awk '/Zero crossings rate/ { printf "%.1f", $NF * 48000 / 2; exit }'
}

# Four Matroska files of about 5 s each, H.264 at the canvas size and AAC.
files=("$work"/main/*.mkv "$work"/backup/*.mkv)
[ "${#files[@]}" -eq 4 ] || fail "expected 4 recordings, found: ${files[*]}"
for f in "${files[@]}"; do
  mkvinfo "$f" >"$work/mkvinfo.txt" 2>&1 || fail "mkvinfo refused $f: $(tail -n 3 "$work/mkvinfo.txt")"
  streams=$(ffprobe -v error -show_entries stream=codec_type,codec_name,width,height -of csv=p=0 "$f" | tr '\n' ' ')
  case "$streams" in
    "h264,video,1920,1080 aac,audio "|"h264,video,1080,1920 aac,audio ") ;;
    *) fail "$f: streams $streams" ;;
  esac
  # About 5 s: a saturated machine may take the second Ctrl+R late, never early; the files had
  # stopped growing by "stopped".
  duration=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$f")
  awk -v d="$duration" -v most="$(awk -v a="$pressed" -v b="$stopped" 'BEGIN { print b - a + 1 }')" \
    'BEGIN { exit !(d >= 4.5 && d <= most) }' || fail "$f lasts $duration s, expected about 5"
  frames=$(ffprobe -v error -count_packets -select_streams v:0 -show_entries stream=nb_read_packets -of csv=p=0 "$f")
  errors=$(ffmpeg -v error -i "$f" -f null - 2>&1 | head -n 3)
  [ -z "$errors" ] || fail "$f does not decode cleanly: $errors"
  sound=$(sound_in "$f" "$duration") || fail "$f holds $sound s of sound in $duration s"
  echo "studio_encoders_e2e: $(basename "$f"): $streams${duration} s, $frames frames," \
    "$sound s of sound"
done

# Each canvas's recording: the tone at 440 Hz, its onset with the flash. The studio reads the key
# at the start of a frame, before composing, and shows it from the next frame on; so the key was
# taken after the third frame before the first bright one and before the end of the frame before
# it, which is the bright frame's time (a starved machine composes fewer frames than the canvas's
# rate, so a frame can last far longer than 1/30 s). The beep must start in that span, give or
# take 67 ms for the sound's own way: PulseAudio's buffers (under 10 ms from the player to a
# capture client, measured), the capture's 10 ms packets and the 1024 samples (21 ms) an AAC
# encoder holds back at the start. Sound is timed by its sample count, so samples the capture lost
# on a starved machine (what the track lacks against the file's length) bring the beep earlier
# by as much; the check allows for that and says how much it was.
tolerance=0.0667
for f in "$work"/main/*.mkv; do
  read -r before last flash <<<"$(flash_frames "$f")"
  beep=$(beep_at "$f")
  duration=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$f")
  lost=$(awk -v d="$duration" -v s="$(sound_in "$f" "$duration")" \
    'BEGIN { l = d - s; printf "%.2f", (l > 0 ? l : 0) }')
  [ -n "$flash" ] || fail "$f: no flash in the video after its first frame"
  [ -n "$beep" ] || fail "$f: no beep in the sound $(cat "$work/pacat.log")"
  hz=$(frequency_at "$f" "$(awk -v b="$beep" 'BEGIN { print b + 0.5 }')")
  echo "studio_encoders_e2e: $(basename "$f"): key taken between $before s and $flash s," \
    "last dark frame at $last s, flash at $flash s, beep at $beep s, tone $hz Hz, $lost s of sound missing"
  awk -v h="$hz" 'BEGIN { exit !(h >= 438 && h <= 442) }' || fail "$f: the tone is at $hz Hz"
  awk -v a="$beep" -v b="$before" -v e="$flash" -v t="$tolerance" -v m="$lost" \
    'BEGIN { exit !(a >= b - t - m && a <= e + t) }' || fail "$f: the beep is out of step"
done

# nginx's recording of the broadcast: H.264 and AAC, a key frame first at 0.
flv="$work/nginx/rec/e2ekey.flv"
streams=$(ffprobe -v error -show_entries stream=codec_type,codec_name -of csv=p=0 "$flv" | sort | tr '\n' ' ')
[ "$streams" = "aac,audio h264,video " ] || fail "$flv: streams $streams"
first=$(ffprobe -v error -select_streams v:0 -show_entries packet=pts_time,flags -of csv=p=0 \
  -read_intervals '%+#1' "$flv")
case "$first" in 0.000000,K*) ;; *) fail "$flv: first video packet $first, expected a key frame at 0" ;; esac
errors=$(ffmpeg -v error -i "$flv" -f null - 2>&1 | head -n 3)
[ -z "$errors" ] || fail "$flv does not decode cleanly: $errors"
duration=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$flv")
sound=$(sound_in "$flv" "$duration") || fail "$flv holds $sound s of sound in $duration s"
echo "studio_encoders_e2e: nginx recording: $streams${duration} s, $sound s of sound"
