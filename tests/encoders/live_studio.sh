# Sourced by the checks that run the real studio in the encoders' prefix (encoder_prefix.sh) and
# go live from it to a local nginx with the RTMP module. Callers set $work and a fail function;
# their cleanup calls kill_studio and stop_nginx.

studio_pid="" wid="" nginx_pid="" nginx_port=""

# wait_for <tenths of a second> <command...>: polls until the command succeeds.
wait_for() {
  local n=$1 i; shift
  for ((i = 0; i < n; i++)); do "$@" && return 0; sleep 0.1; done
  return 1
}

# start_nginx: nginx with the RTMP module in $work/nginx, recording what is published to the
# application "live" in $work/nginx/rec; sets nginx_pid and nginx_port.
start_nginx() {
  nginx_port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  mkdir -p "$work/nginx/logs" "$work/nginx/rec"
  chmod 0777 "$work/nginx/rec"
  cat >"$work/nginx/nginx.conf" <<CONF
load_module /usr/lib/nginx/modules/ngx_rtmp_module.so;
daemon off;
master_process off;
pid $work/nginx/nginx.pid;
error_log $work/nginx/logs/error.log info;
events { worker_connections 64; }
rtmp { server { listen 127.0.0.1:$nginx_port; chunk_size 4096;
  application live { live on; record all; record_unique off; record_path $work/nginx/rec; } } }
CONF
  /usr/sbin/nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" </dev/null >/dev/null \
    2>"$work/nginx/logs/stderr.log" &
  nginx_pid=$!
  wait_for 100 bash -c "exec 3<>/dev/tcp/127.0.0.1/$nginx_port" 2>/dev/null || fail "nginx did not open its port"
}

# stop_nginx: ends nginx, also one that was stopped with SIGSTOP, and waits for it.
stop_nginx() {
  [ -n "$nginx_pid" ] || return 0
  kill -CONT "$nginx_pid" 2>/dev/null
  kill -QUIT "$nginx_pid" 2>/dev/null
  wait "$nginx_pid" 2>/dev/null
  nginx_pid=""
}

# The bytes nginx has not read yet, one line per connection to it; nothing when there is none.
unread_at_nginx() { ss -Htn state established "( sport = :$nginx_port )" | awk '{ print $1 }'; }
no_connection() { [ -z "$(unread_at_nginx)" ]; }
unread_data() { unread_at_nginx | awk '$1 > 0 { found = 1 } END { exit !found }'; }
# Media of the stream under the key e2ekey, not only the header nginx writes as publishing starts.
media_arrived() { [ "$(stat -c %s "$work/nginx/rec/e2ekey.flv" 2>/dev/null || echo 0)" -gt 65536 ]; }

# prepare_live_check <transforms dll> <studio_profile.exe>: the encoders' prefix, the private
# PulseAudio's null sink behind the studio's microphone, nginx, and a profile in $work/profile
# that records to $work/main with backups in $work/backup and goes live to nginx under the key
# e2ekey.
prepare_live_check() {
  [ -n "${QH_PULSE_RUNTIME_DIR:-}" ] || fail "no PulseAudio for the microphone; run through scripts/test"
  export XDG_RUNTIME_DIR=$QH_PULSE_RUNTIME_DIR
  use_encoder_prefix "$1" || exit 1
  start_nginx
  mkdir -p "$work/profile" "$work/main" "$work/backup"
  wine "$2" "$(windows_path "$work/profile")" "$(windows_path "$work/main")" \
    "$(windows_path "$work/backup")" "rtmp://127.0.0.1:$nginx_port/live" e2ekey </dev/null 2>&1 | tr -d '\r'
  [ "${PIPESTATUS[0]}" -eq 0 ] || fail "could not prepare the profile"
}

# A studio window of the run before must be gone, or it would be taken for this one's.
no_window() { ! xdotool search --onlyvisible --name '^Quillhaven$' >/dev/null 2>&1; }
# The studio's own window: shown by its process (Wine marks each window with it) and as wide as
# the main window, never a message box of the same title.
find_window() {
  local w
  for w in $(xdotool search --all --onlyvisible --pid "$studio_pid" --name '^Quillhaven$' 2>/dev/null); do
    [ "$(xdotool getwindowgeometry "$w" | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p')" -ge 1000 ] \
      2>/dev/null && { wid=$w; return 0; }
  done
  return 1
}
drawn() {
  local v
  v=$(convert x:"$wid" -crop 1x1+120+30 -format '%[fx:round(255*r)] %[fx:round(255*g)] %[fx:round(255*b)]' info: 2>/dev/null)
  [ -n "$v" ] && [ "$v" != "0 0 0" ]
}

# start_studio <quillhaven.exe> <log>: starts the studio on $work/profile, waits for its drawn
# window and gives it the keyboard; sets studio_pid and wid.
start_studio() {
  wait_for 100 no_window || fail "a studio window of an earlier run is still open"
  QUILLHAVEN_PROFILE=$(windows_path "$work/profile") wine "$1" </dev/null >"$2" 2>&1 &
  studio_pid=$!
  wid=""
  wait_for 300 find_window || fail "no window appeared"
  wait_for 300 drawn || fail "the window stayed black"
  # Without a window manager a window gets the keyboard from Wine only once it is clicked: a
  # click on the empty preview does that (its layers are below the point).
  xdotool mousemove --window "$wid" 700 500 click 1
}

press() { xdotool windowfocus --sync "$wid" 2>/dev/null; xdotool key --clearmodifiers "$1"; }

# close_studio: a polite close with the close button of the title bar, waiting up to 30 s for
# the studio to end; sets closed_code and closed_in, the seconds from the click to its end.
close_studio() {
  local width start i
  width=$(xdotool getwindowgeometry "$wid" | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p')
  start=$(date +%s.%N)
  xdotool mousemove --window "$wid" $((width - 23)) 28 click 1
  # Small steps: how long the close takes is measured.
  for ((i = 0; i < 1500; i++)); do kill -0 "$studio_pid" 2>/dev/null || break; sleep 0.02; done
  kill -0 "$studio_pid" 2>/dev/null && fail "the studio did not close"
  wait "$studio_pid"; closed_code=$?; studio_pid=""
  closed_in=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.2f", b - a }')
}

# live_close <quillhaven.exe> <healthy|stalled> <log>: starts the studio, goes live with Ctrl+L
# until media reaches nginx, stalls nginx first when asked (SIGSTOP: it stops reading, so the
# link stalls) and closes politely; sets closed_code and closed_in. nginx goes on afterwards.
live_close() {
  # nginx has let the last stream go, or it would refuse this one as already publishing.
  wait_for 300 no_connection || fail "nginx still holds the last connection"
  rm -f "$work/nginx/rec/e2ekey.flv"
  start_studio "$1" "$3"
  press ctrl+l
  wait_for 300 media_arrived || fail "nothing reached nginx: $(tail -n 5 "$work/nginx/logs/error.log")"
  if [ "$2" = stalled ]; then
    kill -STOP "$nginx_pid"
    wait_for 100 unread_data || fail "no data waits for the stalled nginx"
  fi
  close_studio
  kill -CONT "$nginx_pid"
}

# kill_studio: the studio runs in the encoders' prefix of its own: ending its server ends every
# process of it, so that no window of a failed run is left for the next check to find.
kill_studio() {
  [ -n "$studio_pid" ] || return 0
  kill "$studio_pid" 2>/dev/null
  wineserver -k </dev/null >/dev/null 2>&1
  studio_pid=""
}
