#!/usr/bin/env bash
# Starts and closes the studio many times under Wine, alternating a fresh profile and one whose
# project file is damaged, and counts the runs that did not end with exit code 0. A manual check
# (a few hundred cycles take minutes), for faults at exit that show once in many runs.
# With --live each run goes live to a local nginx before the close (with the test encoders of
# the Windows build), and every other run stalls nginx first (SIGSTOP), so that the close cuts
# off a goodbye the server does not read; about 10 s a run.
# Exit code 139 is a crash (SIGSEGV). 137 is a SIGKILL from Wine's server, which gives a process
# about half a second to finish its Linux side (the graphics driver's threads and libraries) once
# its last Windows thread has gone: a saturated machine can take longer after a clean save.
# The log of a run that did not end cleanly is kept in the work folder as run-N.log, beside the
# core file of a crashed Wine process where the system writes cores to the working folder
# (core_pattern "core"); WINEDEBUG=+seh adds Wine's exception trace to the log.
# Usage: start_close_cycles.sh [--live] <checkout> <cycles> [work folder]
# Uses the Windows build in <checkout>/build/windows; starts its own Xvfb, Wine prefix and, with
# --live, PulseAudio with a null sink and nginx.
set -uo pipefail
live=0
[ "${1:-}" = --live ] && { live=1; shift; }
root=$1 cycles=$2 work=${3:-$(mktemp -d)}
exe="$root/build/windows/src/app/quillhaven.exe"
[ -f "$exe" ] || { echo "cycles: $exe is missing" >&2; exit 2; }
mkdir -p "$work/home"
cd "$work" || exit 2
ulimit -c unlimited
export HOME="$work/home" WINEPREFIX="$work/prefix" WINEDEBUG="${WINEDEBUG:--all}" WINEARCH=win64
export WINEDLLOVERRIDES="mscoree,mshtml="

numfile=$(mktemp)
Xvfb -displayfd 9 -screen 0 1600x1000x24 -nolisten tcp 9>"$numfile" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do num=$(tr -dc '0-9' <"$numfile"); [ -n "$num" ] && break; sleep 0.1; done
rm -f "$numfile"
export DISPLAY=":$num"
pulse=""
cleanup() {
  if ((live)); then kill_studio; stop_nginx; fi
  [ -z "$pulse" ] || XDG_RUNTIME_DIR=$pulse pulseaudio --kill </dev/null >/dev/null 2>&1
  wineserver -k </dev/null >/dev/null 2>&1
  kill "$xvfb" 2>/dev/null
}
trap cleanup EXIT
trap 'exit 130' INT TERM
fail() { echo "cycles: $*" >&2; exit 1; }
if ((live)); then
  encoders="$root/build/windows/tests/encoders"
  . "$root/tests/encoders/encoder_prefix.sh"
  . "$root/tests/encoders/live_studio.sh"
  pulse="$work/pulse"
  mkdir -p -m 700 "$pulse"
  XDG_RUNTIME_DIR=$pulse pulseaudio --daemonize=yes --exit-idle-time=-1 --system=false -n \
    --load=module-native-protocol-unix --load="module-null-sink sink_name=qhsink" \
    --load=module-always-sink </dev/null >"$work/pulseaudio.log" 2>&1 || fail "could not start PulseAudio"
  export QH_PULSE_RUNTIME_DIR=$pulse
  # Makes the encoders' prefix beside $WINEPREFIX and points WINEPREFIX at it.
  prepare_live_check "$encoders/quillhaven_test_transforms.dll" "$encoders/studio_profile.exe"
else
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wine wineboot -i </dev/null >/dev/null 2>&1; wineserver -w </dev/null >/dev/null 2>&1
    wine winecfg -v win10 </dev/null >/dev/null 2>&1; wineserver -w </dev/null >/dev/null 2>&1
  fi
  wineserver -p </dev/null >/dev/null 2>&1
  wine cmd /c exit </dev/null >/dev/null 2>&1
fi

# One live run, in a subshell so that a step that fails ends the run and not the loop: its exit
# status is the studio's, or 254 with the reason in $work/why. Also prints the close's time.
live_run() {
  fail() { echo "$*" >"$work/why"; kill -CONT "$nginx_pid"; kill_studio; exit 254; }
  live_close "$exe" "$1" "$work/run.log"
  echo "$closed_in" >"$work/closed_in"
  exit "$closed_code"
}

# keep_run N: the log and any core file of run N, under its number.
keep_run() {
  local core
  cp "$work/run.log" "$work/run-$1.log"
  for core in "$work"/core*; do [ -f "$core" ] && mv "$core" "$work/run-$1.${core##*/}"; done
}

bad=0
for i in $(seq "$cycles"); do
  profile="$work/profile"
  if ((live)); then
    kind=healthy
    ((i % 2)) || kind=stalled
    rm -f "$work/why" "$work/closed_in"
    (live_run "$kind"); code=$?
    why=""
    [ "$code" != 254 ] || why=$(cat "$work/why")
    echo "cycles: run $i, $kind link: exit code $code${why:+ ($why)}, closed in $(cat "$work/closed_in" 2>/dev/null) s"
    [ -f "$profile/project.txt" ] || why="${why:-no project.txt}"
    if [ "$code" != 0 ] || [ -n "$why" ]; then
      bad=$((bad + 1))
      keep_run "$i"
    fi
    ((i % 25 == 0)) && echo "cycles: $i runs, $bad not clean"
    continue
  fi
  rm -rf "$profile"; mkdir -p "$profile"
  if ((i % 2 == 0)); then
    # A project cut mid-line beside a backup that is no project either.
    printf 'quillhaven\t2\nC\t0\t1920\t1080\t30\t12000\nS\tMain\t-1\nL\tBack' >"$profile/project.txt"
    printf 'garbage' >"$profile/project.txt.bak"
  fi
  QUILLHAVEN_PROFILE="Z:${profile//\//\\}" wine "$exe" </dev/null >"$work/run.log" 2>&1 &
  pid=$!
  # Generous waits: a loaded machine can take many seconds to start a Windows program.
  wid="" why=""
  for _ in $(seq 1200); do
    wid=$(xdotool search --onlyvisible --name '^Quillhaven$' 2>/dev/null | head -n1)
    [ -n "$wid" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  [ -n "$wid" ] || why="no window"
  if [ -n "$wid" ]; then
    width=$(xdotool getwindowgeometry "$wid" | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p')
    # A few frames drawn, then the close button of the title bar.
    sleep 0.3
    xdotool mousemove --window "$wid" $((width - 23)) 28 click 1
  fi
  for _ in $(seq 1200); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$pid" 2>/dev/null; then why="${why:-still running after the close click}"; kill -9 "$pid"; fi
  wait "$pid"; code=$?
  [ -f "$profile/project.txt" ] || why="${why:-no project.txt}"
  if [ "$code" != 0 ] || [ -n "$why" ]; then
    bad=$((bad + 1))
    echo "cycles: run $i ended with $code ${why:+($why)}; log in $work/run-$i.log"
    keep_run "$i"
  fi
  for _ in $(seq 100); do xdotool search --onlyvisible --name '^Quillhaven$' >/dev/null 2>&1 || break; sleep 0.05; done
  ((i % 25 == 0)) && echo "cycles: $i runs, $bad not clean"
done
echo "cycles: $bad of $cycles runs did not end cleanly"
((bad == 0))
