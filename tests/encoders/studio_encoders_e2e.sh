#!/usr/bin/env bash
# The real studio under Wine with the test encoders: records both canvases to Matroska with a
# backup copy (Ctrl+R, 5 s, Ctrl+R), goes live to a local nginx (Ctrl+L, 5 s, Ctrl+L), closes
# politely, and every file it made is checked by ffprobe and mkvinfo. Also reports the studio's
# CPU while recording. Needs the prefix and display that scripts/test prepares.
# Usage: studio_encoders_e2e.sh <quillhaven.exe> <transforms dll> <studio_profile.exe> <artifacts>
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/encoder_prefix.sh"
exe=$1 dll=$2 profile_tool=$3 artifacts=$4
rm -rf "$artifacts"; mkdir -p "$artifacts"
work=$(mktemp -d "$artifacts/run.XXXXXX")
studio_pid="" nginx_pid=""
fail() { echo "studio_encoders_e2e: $*" >&2; exit 1; }
cleanup() {
  [ -z "$studio_pid" ] || kill "$studio_pid" 2>/dev/null
  [ -z "$nginx_pid" ] || { kill -QUIT "$nginx_pid" 2>/dev/null; wait "$nginx_pid" 2>/dev/null; }
}
trap cleanup EXIT
# wait_for <tenths of a second> <command...>: polls until the command succeeds.
wait_for() {
  local n=$1 i; shift
  for ((i = 0; i < n; i++)); do "$@" && return 0; sleep 0.1; done
  return 1
}
use_encoder_prefix "$dll" || exit 1

# nginx with the RTMP module, recording what is published.
port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
mkdir -p "$work/nginx/logs" "$work/nginx/rec"
chmod 0777 "$work/nginx/rec"
cat >"$work/nginx/nginx.conf" <<CONF
load_module /usr/lib/nginx/modules/ngx_rtmp_module.so;
daemon off;
master_process off;
pid $work/nginx/nginx.pid;
error_log $work/nginx/logs/error.log info;
events { worker_connections 64; }
rtmp { server { listen 127.0.0.1:$port; chunk_size 4096;
  application live { live on; record all; record_unique off; record_path $work/nginx/rec; } } }
CONF
/usr/sbin/nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" </dev/null >/dev/null 2>"$work/nginx/logs/stderr.log" &
nginx_pid=$!
wait_for 100 bash -c "exec 3<>/dev/tcp/127.0.0.1/$port" 2>/dev/null || fail "nginx did not open its port"

mkdir -p "$work/profile" "$work/main" "$work/backup"
wine "$profile_tool" "$(windows_path "$work/profile")" "$(windows_path "$work/main")" \
  "$(windows_path "$work/backup")" "rtmp://127.0.0.1:$port/live" "e2ekey" </dev/null 2>&1 | tr -d '\r'
[ "${PIPESTATUS[0]}" -eq 0 ] || fail "could not prepare the profile"

QUILLHAVEN_PROFILE=$(windows_path "$work/profile") wine "$exe" </dev/null >"$work/studio.log" 2>&1 &
studio_pid=$!
wid=""
find_window() { wid=$(xdotool search --onlyvisible --name '^Quillhaven$' 2>/dev/null | head -n1); [ -n "$wid" ]; }
wait_for 300 find_window || { cat "$work/studio.log"; fail "no window appeared"; }
drawn() {
  local v
  v=$(convert x:"$wid" -crop 1x1+120+30 -format '%[fx:round(255*r)] %[fx:round(255*g)] %[fx:round(255*b)]' info: 2>/dev/null)
  [ -n "$v" ] && [ "$v" != "0 0 0" ]
}
wait_for 300 drawn || fail "the window stayed black"
press() { xdotool windowfocus --sync "$wid" 2>/dev/null; xdotool key --clearmodifiers "$1"; }
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
press ctrl+r
wait_for 200 bash -c "[ \$(find '$work/main' -name '*.mkv' -size +0 | wc -l) -eq 2 ]" \
  || fail "recording did not start: $(ls "$work/main") $(tail -n 5 "$work/studio.log")"
threads >"$work/threads.start"
sleep 5  # the length of the recording
threads >"$work/threads.end"
press ctrl+r
awk -v hz="$(getconf CLK_TCK)" '
  FILENAME ~ /idle$/ { idle[$1] = 1; next }
  FILENAME ~ /start$/ { start[$1] = $2; next }
  { d = $2 - start[$1]; all += d; if (!($1 in idle)) enc += d }
  END { printf "studio_encoders_e2e: CPU while recording both canvases at 1080p30 with backups: %d%% of one core, of which the encoder threads %d%%\n", all * 100 / (5 * hz), enc * 100 / (5 * hz) }
' "$work/threads.idle" "$work/threads.start" "$work/threads.end"

# Going live to the local nginx.
press ctrl+l
wait_for 200 bash -c "[ -s '$work/nginx/rec/e2ekey.flv' ]" || fail "nothing reached nginx: $(tail -n 5 "$work/nginx/logs/error.log")"
sleep 5  # the length of the broadcast
press ctrl+l

# A polite close: the close button of the title bar.
width=$(xdotool getwindowgeometry "$wid" | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p')
xdotool mousemove --window "$wid" $((width - 23)) 28 click 1
wait_for 300 bash -c "! kill -0 $studio_pid 2>/dev/null" || fail "the studio did not close"
wait "$studio_pid"; code=$?; studio_pid=""
[ "$code" -eq 0 ] || fail "the studio exited with $code"
kill -QUIT "$nginx_pid"; wait "$nginx_pid"; nginx_pid=""

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
  # About 5 s: a loaded machine may see the second Ctrl+R a few frames late, never early.
  duration=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$f")
  awk -v d="$duration" 'BEGIN { exit !(d >= 4.5 && d <= 9) }' || fail "$f lasts $duration s, expected about 5"
  frames=$(ffprobe -v error -count_packets -select_streams v:0 -show_entries stream=nb_read_packets -of csv=p=0 "$f")
  errors=$(ffmpeg -v error -i "$f" -f null - 2>&1 | head -n 3)
  [ -z "$errors" ] || fail "$f does not decode cleanly: $errors"
  echo "studio_encoders_e2e: $(basename "$f"): $streams${duration} s, $frames frames"
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
echo "studio_encoders_e2e: nginx recording: $streams${duration} s"
