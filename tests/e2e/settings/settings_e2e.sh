#!/usr/bin/env bash
# The settings window and the inspector as a person meets them under Wine:
# screenshots of every tab in a dark and a light theme, a stream key typed and
# saved through the Destinations tab and read back from the Credential
# Manager, and .cube files chosen in the Filters tab, accepted or refused as
# ffmpeg's lut3d filter accepts or refuses them. Needs the Wine prefix and X
# display that scripts/test prepares.
# Usage: settings_e2e.sh <source root> <artifacts> <read_secret.exe>
set -uo pipefail
root=$1 artifacts=$2 reader=$3
mkdir -p "$artifacts"
work=$(mktemp -d "$artifacts/run.XXXXXX")
fail() { echo "settings_e2e: $*" >&2; exit 1; }
. "$root/tests/e2e/studio/studio_window.sh"
wid="" wx=0 wy=0 ww=0 wh=0 runs=0

# start PROFILE WORDS: starts the studio and waits for its first drawn frame.
start() {
  runs=$((runs + 1))
  studio_start "run$runs" "$1" "$2"
  wid=$studio_wid ww=$studio_w wh=$studio_h
  eval "$(xdotool getwindowgeometry --shell "$wid" | sed -n 's/^\(X\|Y\)=/g_\1=/p')"
  wx=$g_X wy=$g_Y
  # Over the empty foot of the sidebar, so that nothing shows as hovered.
  xdotool mousemove --window "$wid" 130 $((wh - 60))
  sleep 0.7
}

# click X Y: a click at window coordinates.
click() { xdotool mousemove --window "$wid" "$1" "$2" click 1; }

# stop: the close caption button; the studio must end cleanly.
stop() {
  studio_close "run$runs"
  [ "$studio_code" = 0 ] || fail "the studio exited with $studio_code"
}

shot() { import -window root -crop "${ww}x${wh}+${wx}+${wy}" +repage "$artifacts/$1.png" || fail "screenshot $1"; }

# set_field PROFILE TAG FIELD VALUE: one field of every record with that tag.
set_field() {
  python3 - "$1/project.txt" "$2" "$3" "$4" <<'PY' || fail "could not edit project.txt"
import sys
path, tag, index, value = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
lines = open(path, encoding="utf-8", newline="\n").read().split("\n")
for i, line in enumerate(lines):
    f = line.split("\t")
    if f[0] == tag and len(f) > index:
        f[index] = value
        lines[i] = "\t".join(f)
open(path, "w", encoding="utf-8", newline="\n").write("\n".join(lines))
PY
}

# wait_for DESCRIPTION COMMAND...: polls the command for up to 60 s.
wait_for() {
  local what=$1; shift
  for _ in $(seq 600); do
    "$@" && return 0
    sleep 0.1
  done
  fail "timed out waiting for $what"
}

# pixel X Y: "r g b" of a window pixel on screen now.
pixel() {
  convert x:"$wid" -crop "1x1+$1+$2" -format '%[fx:round(255*r)] %[fx:round(255*g)] %[fx:round(255*b)]' info: 2>/dev/null
}
# green X Y: the pixel is a switched-on toggle's green.
green() { local c=($(pixel "$1" "$2")); ((${c[1]:-0} > ${c[0]:-0} + 60 && ${c[1]:-0} > ${c[2]:-0} + 60)); }
# hint_differs [PICTURE]: the key field's hint area no longer looks as it did unkeyed
# (nor as in PICTURE, when given).
hint_differs() {
  import -window root -crop "$hint" +repage "$work/hint.png" 2>/dev/null || return 1
  local was d
  for was in "$work/unkeyed.png" "$@"; do
    d=$(compare -metric AE "$work/hint.png" "$was" null: 2>&1)
    ((${d%% *} > 40)) || return 1
  done
}
# hint_settled: the hint area looks the same twice half a second apart (every typed
# character has arrived); kept as typed.png.
hint_settled() {
  import -window root -crop "$hint" +repage "$work/typed.png" 2>/dev/null || return 1
  sleep 0.5
  import -window root -crop "$hint" +repage "$work/hint.png" 2>/dev/null || return 1
  local d; d=$(compare -metric AE "$work/hint.png" "$work/typed.png" null: 2>&1)
  ((${d%% *} <= 40))
}
# key_field_empty: "Save" is disabled again (no accent blue 0A84FF left on it) and the
# field shows neither the typed key nor the unkeyed hint: the key has left the field.
key_field_empty() {
  import -window root -crop "$save" +repage "$work/save.png" 2>/dev/null || return 1
  local blue; blue=$(convert "$work/save.png" -fx '(b > 0.9 && r < 0.15 && g > 0.4 && g < 0.6) ? 1 : 0' \
    -format '%[fx:round(mean*w*h)]' info:)
  ((blue < 10)) && hint_differs "$work/typed.png"
}
# The settings window: 460 x 560, centred in the studio.
settings_crop() { echo "460x560+$((wx + ww / 2 - 230))+$((wy + wh / 2 - 280))"; }
# red_pixels: how many pixels of the settings window show the theme's danger red (dark
# "Studio": FF453A, also where a glyph covers most of a pixel), the colour of a refused
# URL's note, and not the warning's orange (FF9F0A); red_note: more than a few glyphs'.
red_pixels() {
  import -window root -crop "$(settings_crop)" +repage "$work/settings.png" 2>/dev/null || { echo 0; return; }
  convert "$work/settings.png" -fx '(r > 0.6 && g < 0.43 && b < 0.4 && r - g > 0.4) ? 1 : 0' \
    -format '%[fx:round(mean*w*h)]' info:
}
red_note() { (($(red_pixels) > 40)); }
no_red() { (($(red_pixels) == 0)); }
# scroll_tab up|down: the tab's content to its start or its end, with the mouse wheel.
scroll_tab() {
  xdotool mousemove --window "$wid" $((sx + 120)) $((sy + 420)) click --repeat 25 --delay 20 \
    "$([ "$1" = up ] && echo 4 || echo 5)"
  sleep 0.5
}
no_window() { ! xdotool search --onlyvisible --name "$1" >/dev/null 2>&1; }
dialog() { dlg=$(xdotool search --onlyvisible --name '^Open$' 2>/dev/null | head -n1); [ -n "$dlg" ]; }

# 1. Screenshots: the five tabs and the inspector's two tabs, dark then light.
#    The inspector looks at the second scene, whose first layer has filters.
for theme in dark light; do
  profile="$work/shots-$theme"
  start "$profile" ""
  stop
  set_field "$profile" P 4 1
  if [ "$theme" = light ]; then set_field "$profile" P 7 0; set_field "$profile" P 9 Sketchbook; fi
  for words in settings0 settings1 settings2 settings3 settings4 "select0 inspect0" "select0 inspect1"; do
    start "$profile" "$words"
    shot "$theme-${words// /-}"
    stop
  done
done

# 2. A stream key typed into the Destinations tab and saved: the Credential
#    Manager holds it, and the destination shows as keyed from then on (the
#    key field's hint changes). On the way, a refused server URL shows its red
#    note. Positions are those of the 460 x 560 settings window centred in the
#    studio.
profile="$work/keys"
key="qh-e2e-$RANDOM$RANDOM"
start "$profile" settings3
sx=$((ww / 2 - 230)) sy=$((wh / 2 - 280))
hint="150x18+$((wx + sx + 190))+$((wy + sy + 339))"
save="56x20+$((wx + sx + 365))+$((wy + sy + 338))"
click $((sx + 332)) $((sy + 156))                     # "Custom"
wait_for "the new destination's card" green $((sx + 398)) $((sy + 156))
import -window root -crop "$hint" +repage "$work/unkeyed.png"
# A URL the server-URL parser refuses: the note under the card (below the fold) turns red.
scroll_tab down
no_red || fail "red in the Destinations tab before any URL was typed"
scroll_tab up
click $((sx + 300)) $((sy + 284))                     # Server URL
xdotool type --delay 15 "http://127.0.0.1:1935/live"
scroll_tab down
wait_for "the refused URL's red note" red_note
shot url-refused
scroll_tab up
click $((sx + 300)) $((sy + 284))
xdotool key --clearmodifiers ctrl+a
xdotool type --delay 15 "rtmp://127.0.0.1:1935/live"
scroll_tab down
wait_for "the red note to go with the refused URL" no_red
scroll_tab up
click $((sx + 265)) $((sy + 348))                     # Stream key
xdotool type --delay 15 "$key"
wait_for "the typed key to arrive" hint_settled
click $((sx + 393)) $((sy + 348))                     # Save
wait_for "the key field to empty" key_field_empty
shot key-saved
stop
id=$(grep -P '^D\t' "$profile/project.txt" | head -n1 | cut -f2)
[ -n "$id" ] || fail "no destination in project.txt"
grep -qF -- "$key" "$profile/project.txt" && fail "the stream key went into project.txt"
stored=$(wine "$reader" "dest/$id" </dev/null 2>/dev/null)
[ "$stored" = "$key" ] || fail "Credential Manager holds '$stored' for dest/$id, typed '$key'"
start "$profile" settings3
wait_for "the destination's card" green $((sx + 398)) $((sy + 156))
hint_differs || fail "the destination does not show as keyed"
shot keyed
stop
echo "settings_e2e: the key of $id is in the Credential Manager and the destination shows as keyed"

# 3. .cube files chosen in the Filters tab through the open-file dialog: each is
#    taken exactly when ffmpeg's lut3d filter takes it.
lutdir="$work/luts"
mkdir -p "$lutdir"
printf 'LUT_3D_SIZE 2\n0 0 0\n1 0 0\n0 1 0\n1 1 0\n0 0 1\n1 0 1\n0 1 1\n1 1 1\n' >"$lutdir/good.cube"
printf 'LUT_3D_SIZE 2\n0 0 0\n1 0 0\n' >"$lutdir/short.cube"
printf 'LUT_3D_SIZE 2\n0 0 0\n1 0 0\n0 1 0\n1 1 0\n0 0 1\n1 0 1\n0 1 1\nnot numbers\n' >"$lutdir/junk.cube"
printf 'LUT_3D_SIZE 300\n0 0 0\n' >"$lutdir/huge.cube"
base="$work/lut-base"
start "$base" ""
stop
set_field "$base" P 4 1
for name in good short junk huge; do
  file="$lutdir/$name.cube"
  if ffmpeg -v error -f lavfi -i color=c=gray:s=16x16 -frames:v 1 -vf "lut3d=file=$file" -f null - \
      </dev/null >/dev/null 2>&1; then ffmpeg_takes=1; else ffmpeg_takes=0; fi
  profile="$work/lut-$name"
  rm -rf "$profile"; cp -r "$base" "$profile"
  start "$profile" "select0 inspect1"
  click $((ww - 320 + 257)) 807                       # "Choose…" of the LUT card
  wait_for "the open-file dialog" dialog
  xdotool mousemove --window "$dlg" 239 189 click 1   # its file name box
  xdotool type --delay 15 "Z:${file//\//\\}"
  xdotool key Return
  wait_for "the dialog to close" no_window '^Open$'
  xdotool mousemove --window "$wid" 130 $((wh - 60))  # off the sidebar row the dialog was over
  sleep 0.5
  shot "lut-$name"
  stop
  if grep -P '^L\t' "$profile/project.txt" | grep -qF "$name.cube"; then taken=1; else taken=0; fi
  [ "$taken" = "$ffmpeg_takes" ] || fail "$name.cube: taken $taken, ffmpeg's lut3d $ffmpeg_takes"
  echo "settings_e2e: $name.cube taken=$taken as ffmpeg's lut3d"
done
echo "settings_e2e: screenshots in $artifacts"
rm -rf "$work"
