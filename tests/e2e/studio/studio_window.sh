# Shared by the studio's end-to-end scripts (sourced): starts the studio under Wine
# and closes it the way a person does. Callers set $root, $work and a fail function.

studio_pid="" studio_wid="" studio_w=0 studio_h=0

# studio_window_of PID: the studio's main window, shown by the Wine process that scripts/run
# (PID) started. Found by its process rather than by its title alone, so that neither a window
# left by an earlier run nor the studio's own message box (also titled "Quillhaven") is taken
# for it: the main window is never narrower than 1000 pixels.
studio_window_of() {
  local w p
  for w in $(xdotool search --onlyvisible --name '^Quillhaven$' 2>/dev/null); do
    p=$(xdotool getwindowpid "$w" 2>/dev/null) || continue
    [ "$p" = "$1" ] || [ "$(ps -o ppid= -p "$p" 2>/dev/null | tr -d ' ')" = "$1" ] || continue
    [ "$(xdotool getwindowgeometry "$w" | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p')" -ge 1000 ] \
      2>/dev/null || continue
    echo "$w"
    return 0
  done
  return 1
}

# studio_kill: ends a studio that did not close, its Wine process as well as scripts/run.
studio_kill() {
  pkill -P "$studio_pid" 2>/dev/null
  kill "$studio_pid" 2>/dev/null
}

# studio_start NAME PROFILE WORDS: starts the studio with scripts/run and waits until
# its window shows a drawn title bar; sets studio_pid, studio_wid, studio_w, studio_h.
studio_start() {
  local name=$1 profile=$2 words=${3:-} i
  # A studio window of an earlier run must be gone, or it would be taken for this one's.
  for i in $(seq 100); do
    xdotool search --onlyvisible --name '^Quillhaven$' >/dev/null 2>&1 || break
    ((i < 100)) || fail "$name: a studio window of an earlier run is still open"
    sleep 0.1
  done
  QUILLHAVEN_PROFILE="$profile" QUILLHAVEN_UI="$words" "$root/scripts/run" --no-setup --no-build \
    >"$work/$name.log" 2>&1 &
  studio_pid=$!
  studio_wid=""
  for _ in $(seq 300); do
    studio_wid=$(studio_window_of "$studio_pid")
    [ -n "$studio_wid" ] && break
    kill -0 "$studio_pid" 2>/dev/null || break
    sleep 0.1
  done
  if [ -z "$studio_wid" ]; then
    cat "$work/$name.log"
    if kill -0 "$studio_pid" 2>/dev/null; then
      studio_kill
      fail "$name: no window appeared within 30 s"
    fi
    wait "$studio_pid"
    fail "$name: the studio ended with exit code $? before its window appeared"
  fi
  # The window is shown before its first frame is presented: wait for a drawn title bar.
  local v=""
  for _ in $(seq 200); do
    v=$(convert x:"$studio_wid" -crop 1x1+120+30 -format '%[fx:round(255*r)] %[fx:round(255*g)] %[fx:round(255*b)]' info: 2>/dev/null)
    [ -n "$v" ] && [ "$v" != "0 0 0" ] && break
    sleep 0.1
  done
  [ -n "$v" ] && [ "$v" != "0 0 0" ] || fail "$name: the window stayed black"
  local geometry
  geometry=$(xdotool getwindowgeometry "$studio_wid")
  studio_w=$(echo "$geometry" | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p')
  studio_h=$(echo "$geometry" | sed -n 's/.*Geometry: [0-9]*x\([0-9]*\).*/\1/p')
}

# studio_close NAME: clicks the close caption button (the last 46 pixels of the 56-pixel
# title bar), waits for the process and returns its exit code in studio_code.
studio_close() {
  local name=$1
  xdotool mousemove --window "$studio_wid" $((studio_w - 23)) 28 click 1
  # An open popup takes the first click outside it for itself, as it should.
  for _ in $(seq 20); do
    kill -0 "$studio_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$studio_pid" 2>/dev/null && xdotool mousemove --window "$studio_wid" $((studio_w - 23)) 28 click 1
  for _ in $(seq 150); do
    kill -0 "$studio_pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$studio_pid" 2>/dev/null; then
    studio_kill
    fail "$name: still running after the close click"
  fi
  wait "$studio_pid"
  studio_code=$?
  # Let the window go before the next run looks for one.
  for _ in $(seq 100); do
    xdotool search --onlyvisible --name '^Quillhaven$' >/dev/null 2>&1 || break
    sleep 0.1
  done
}
