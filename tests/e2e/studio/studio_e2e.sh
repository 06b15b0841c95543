#!/usr/bin/env bash
# Starts the studio with scripts/run and a fresh profile, looks at it, closes it
# with its own close button and checks what it leaves behind. Needs the Wine
# prefix and X display that scripts/test prepares.
set -uo pipefail
root=$1 artifacts=$2
mkdir -p "$artifacts"
work=$(mktemp -d "$artifacts/run.XXXXXX")
fail() { echo "studio_e2e: $*" >&2; exit 1; }

. "$(dirname "$0")/studio_window.sh"

# Starts the studio, waits for its window, runs the optional action with the
# window id, screenshots it into $1.png, clicks the close caption button and
# returns the exit code in $code.
run_once() {
  local name=$1 profile=$2 words=${3:-} action=${4:-}
  local start end
  start=$(date +%s%N)
  studio_start "$name" "$profile" "$words"
  end=$(date +%s%N)
  echo "studio_e2e: $name: first frame on screen about $(( (end - start) / 1000000 )) ms after start"
  # Over the empty foot of the sidebar (the last run's close click left it on the close
  # button), so that nothing shows as hovered.
  xdotool mousemove --window "$studio_wid" 130 $((studio_h - 60))
  sleep 0.5
  if [ -n "$action" ]; then "$action" "$studio_wid" || fail "$name: $action failed"; fi
  import -window root "$artifacts/$name.png" || fail "$name: screenshot failed"
  studio_close "$name"
  code=$studio_code
}

pixel() { convert "$1" -format "%[fx:round(255*p{$2,$3}.r)] %[fx:round(255*p{$2,$3}.g)] %[fx:round(255*p{$2,$3}.b)]" info:; }
# near "r g b" "r g b" [TOLERANCE]: every channel within the tolerance (2).
near() {
  local a=($1) b=($2) t=${3:-2} i
  for i in 0 1 2; do
    local d=$(( ${a[$i]:-999} - ${b[$i]} ))
    ((d >= -t && d <= t)) || return 1
  done
}
# check NAME X Y "r g b"
check() {
  local got; got=$(pixel "$artifacts/$1.png" "$2" "$3")
  near "$got" "$4" || fail "$1: pixel $2,$3 is $got, expected $4"
}

# 1. First run in the default theme.
profile="$work/profile one"
run_once default "$profile"
[ "$code" = 0 ] || fail "default: exit code $code"
[ -f "$profile/project.txt" ] || fail "default: no project.txt"
[ -f "$profile/imgui.ini" ] || fail "default: no imgui.ini"
head -n1 "$profile/project.txt" | grep -q '^quillhaven' || fail "default: project.txt has no magic line"
# Dark "Studio": title bar 1C1C1E, sidebar 232325.
check default 120 30 "28 28 30"
check default 120 400 "35 35 37"
check default 300 800 "28 28 30"
# The preview shows the horizontal canvas: the default scene's background 121217.
check default 700 400 "18 18 23"

# 2. The same profile in the light "Sketchbook" theme, with the settings window
#    asked for by QUILLHAVEN_UI: below the title bar the studio is dimmed.
python3 - "$profile/project.txt" <<'PY' || fail "could not edit project.txt"
import sys
path = sys.argv[1]
lines = open(path, encoding="utf-8", newline="\n").read().split("\n")
for i, line in enumerate(lines):
    f = line.split("\t")
    if f[0] == "P" and len(f) > 9:
        f[7] = "0"
        f[9] = "Sketchbook"
        lines[i] = "\t".join(f)
open(path, "w", encoding="utf-8", newline="\n").write("\n".join(lines))
PY
run_once sketchbook "$profile" "settings2"
[ "$code" = 0 ] || fail "sketchbook: exit code $code"
# Light "Sketchbook": title bar FDFBF7 undimmed; sidebar F3F0E8 under black at alpha 40.
check sketchbook 120 30 "253 251 247"
check sketchbook 120 400 "205 202 196"
grep -P '^P\t' "$profile/project.txt" | grep -q 'Sketchbook' || fail "sketchbook: theme not kept"

# 3. The panels that the start-up words open, in a dark and a light theme, each
#    from a copy of one profile that has two channels (so the popups have rows).
base="$work/base"
mkdir -p "$base"
cp "$profile/project.txt" "$base/project.txt"
set_theme() {  # set_theme FILE DARK NAME
  python3 - "$@" <<'PY' || fail "could not edit project.txt"
import sys
path, dark, name = sys.argv[1], sys.argv[2], sys.argv[3]
lines = [l for l in open(path, encoding="utf-8", newline="\n").read().split("\n") if not l.startswith("D\t")]
for i, line in enumerate(lines):
    f = line.split("\t")
    if f[0] == "P" and len(f) > 9:
        f[7], f[9] = dark, name
        lines[i] = "\t".join(f)
at = next(i for i, l in enumerate(lines) if l.startswith("P\t")) + 1
lines[at:at] = ["D\tyt\tYouTube\trtmp://a.rtmp.youtube.com/live2\t0\t6000\t1\t0\t",
                "D\tbackup\tBackup server\trtmps://live.example.net:443/app\t1\t4500\t1\t720\t"]
open(path, "w", encoding="utf-8", newline="\n").write("\n".join(lines))
PY
}
for theme in "dark 1 Studio" "light 0 Sketchbook"; do
  set -- $theme
  for words in golive mixer prompter showcase livedemo select0 "golive showcase"; do
    name="$1-${words// /-}"
    p="$work/$name"
    mkdir -p "$p"
    cp "$base/project.txt" "$p/project.txt"
    set_theme "$p/project.txt" "$2" "$3"
    run_once "$name" "$p" "$words"
    [ "$code" = 0 ] || fail "$name: exit code $code"
  done
done

# 4. A click on the second scene of the sidebar switches scenes, and the saved
#    project keeps it. Scene rows are 34 high from y=113 (title bar 56, padding,
#    the "Scenes" header), one pixel apart.
click_second_scene() {
  xdotool mousemove --window "$1" 130 165 click 1
  sleep 0.5
}
p="$work/scene-click"
mkdir -p "$p"
cp "$base/project.txt" "$p/project.txt"
run_once scene-click "$p" "" click_second_scene
[ "$code" = 0 ] || fail "scene-click: exit code $code"
active=$(grep -P '^P\t' "$p/project.txt" | cut -f5)
[ "$active" = 1 ] || fail "scene-click: active scene saved as '$active', expected 1"

# 5. Ctrl+R without an H.264 encoder (none under Wine) shows why in the window: the notice
#    pill at the bottom centre of the preview (x 260 + (1440 - 260) / 2, its top 64 above
#    the bottom of the 900-high window). Over that region the window must change from the
#    picture before the key, in the shape of a pill, in the pill's colour. The run is in
#    the light "Sketchbook" theme, where the dark pill stands out from the background.
notice_region=600x80+550+816
crop_notice() { convert x:"$1" -crop "$notice_region" +repage "$2" 2>/dev/null; }
# changed_pixels A B: pixels that differ by more than a faint shadow's step.
changed_pixels() { compare -metric AE -fuzz 10% "$1" "$2" null: 2>&1 | cut -d' ' -f1; }
press_record() {
  local changed=0
  # A click on the preview beside the canvas gives the window the keyboard (Xvfb has no
  # window manager) without selecting a layer, which would move the notice.
  xdotool mousemove --window "$1" 1200 100 click 1
  sleep 0.3
  xdotool mousemove --window "$1" 130 $((studio_h - 60))
  sleep 0.3
  crop_notice "$1" "$work/notice-before.png" || return 1
  xdotool key --clearmodifiers ctrl+r
  for _ in $(seq 100); do
    crop_notice "$1" "$work/notice.png" && changed=$(changed_pixels "$work/notice.png" "$work/notice-before.png")
    ((${changed:-0} > 2000)) && break
    sleep 0.1
  done
  ((${changed:-0} > 2000)) || { echo "studio_e2e: no notice appeared ($changed pixels changed)" >&2; return 1; }
  # The box of what changed strongly (not the soft shadow): one line of text in a pill,
  # centred on the preview.
  local box w h x y
  box=$(convert "$work/notice.png" "$work/notice-before.png" -compose difference -composite \
    -colorspace gray -threshold 25% -format '%@' info:)
  read -r w h x y <<<"${box//[x+]/ }"
  local off_centre=$((x + w / 2 - 300))
  if ((w < 200 || h < 24 || h > 70 || off_centre < -40 || off_centre > 40)); then
    echo "studio_e2e: the changed area $box is not the notice's pill" >&2
    return 1
  fi
  # In the pill's round left end, before its text: 2A2828 at alpha 240 gives 41 39 39 over
  # black and 55 53 53 over white.
  local at="p{$((x + 8)),$((y + h / 2))}" c
  c=$(convert "$work/notice.png" -format "%[fx:round(255*$at.r)] %[fx:round(255*$at.g)] %[fx:round(255*$at.b)]" info:)
  near "$c" "48 46 46" 9 || { echo "studio_e2e: the notice's pill is $c, expected near 48 46 46" >&2; return 1; }
}
p="$work/record-refused"
mkdir -p "$p"
cp "$base/project.txt" "$p/project.txt"
run_once record-refused "$p" "" press_record
[ "$code" = 0 ] || fail "record-refused: exit code $code"
echo "studio_e2e: screenshots in $artifacts"
rm -rf "$work"
