#!/usr/bin/env bash
# Starts and closes the studio many times under Wine, alternating a fresh profile and one whose
# project file is damaged, and counts the runs that did not end with exit code 0. A manual check
# (a few hundred cycles take minutes), for faults at exit that show once in many runs.
# Exit code 139 is a crash (SIGSEGV). 137 is a SIGKILL from Wine's server, which gives a process
# about half a second to finish its Linux side (the graphics driver's threads and libraries) once
# its last Windows thread has gone: a saturated machine can take longer after a clean save.
# Usage: start_close_cycles.sh <checkout> <cycles> [work folder]
# Uses the Windows build in <checkout>/build/windows; starts its own Xvfb and Wine prefix.
set -uo pipefail
root=$1 cycles=$2 work=${3:-$(mktemp -d)}
exe="$root/build/windows/src/app/quillhaven.exe"
[ -f "$exe" ] || { echo "cycles: $exe is missing" >&2; exit 2; }
mkdir -p "$work/home"
export HOME="$work/home" WINEPREFIX="$work/prefix" WINEDEBUG="${WINEDEBUG:--all}" WINEARCH=win64
export WINEDLLOVERRIDES="mscoree,mshtml="

numfile=$(mktemp)
Xvfb -displayfd 9 -screen 0 1600x1000x24 -nolisten tcp 9>"$numfile" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do num=$(tr -dc '0-9' <"$numfile"); [ -n "$num" ] && break; sleep 0.1; done
rm -f "$numfile"
export DISPLAY=":$num"
cleanup() { wineserver -k </dev/null >/dev/null 2>&1; kill "$xvfb" 2>/dev/null; }
trap cleanup EXIT
trap 'exit 130' INT TERM
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wine wineboot -i </dev/null >/dev/null 2>&1; wineserver -w </dev/null >/dev/null 2>&1
  wine winecfg -v win10 </dev/null >/dev/null 2>&1; wineserver -w </dev/null >/dev/null 2>&1
fi
wineserver -p </dev/null >/dev/null 2>&1
wine cmd /c exit </dev/null >/dev/null 2>&1

bad=0
for i in $(seq "$cycles"); do
  profile="$work/profile"
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
    cp "$work/run.log" "$work/run-$i.log"
  fi
  for _ in $(seq 100); do xdotool search --onlyvisible --name '^Quillhaven$' >/dev/null 2>&1 || break; sleep 0.05; done
  ((i % 25 == 0)) && echo "cycles: $i runs, $bad not clean"
done
echo "cycles: $bad of $cycles runs did not end cleanly"
((bad == 0))
