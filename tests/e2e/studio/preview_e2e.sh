#!/usr/bin/env bash
# Works the preview as a person would: both canvases side by side, a layer dragged
# with the mouse, a layout tile clicked, in the dark and in a light theme. Checks the
# saved project.txt after each run. Needs the Wine prefix and X display that
# scripts/test prepares.
set -uo pipefail
root=$1 artifacts=$2
mkdir -p "$artifacts"
work=$(mktemp -d "$artifacts/preview.XXXXXX")
fail() { echo "preview_e2e: $*" >&2; exit 1; }
py=/usr/bin/python3

. "$(dirname "$0")/studio_window.sh"

# start NAME PROFILE WORDS: the studio up, with its window's id and size in wid, W, H.
start() {
  studio_start "$@"
  wid=$studio_wid W=$studio_w H=$studio_h
  # The first frames animate the canvas tabs into place.
  sleep 0.5
}

# at X Y: the colour of one pixel of the studio window.
at() { convert x:"$wid" -crop "1x1+$1+$2" -format '%[fx:round(255*r)] %[fx:round(255*g)] %[fx:round(255*b)]' info:; }

shot() { sleep 0.3; import -window root "$artifacts/$1.png" || fail "$1: screenshot failed"; }

# Closes the studio with its close button; the studio saves on the way out.
finish() {
  studio_close "$1"
  [ "$studio_code" = 0 ] || fail "$1: exit code $studio_code"
}

# canvas_centre INSPECTOR_WIDTH: the horizontal canvas's centre and scale in the "Both"
# view (1:1 UI scale): sidebar 260, title bar 56, tabs to 98, layout strip 84 high.
canvas_centre() {
  "$py" - "$W" "$H" "$1" <<'PY'
import sys
W, H, iw = (float(v) for v in sys.argv[1:4])
area_w = int((W - 260 - iw) * 0.7)
band_top, band_h = 98, H - 84 - 98
d = area_w - 40
e = d * 9 / 16
if e > band_h - 68:
    e = band_h - 68
    d = e * 16 / 9
x = 260 + (area_w - d) / 2
y = band_top + (band_h - e - 28) / 2
print(round(x + d / 2), round(y + e / 2), d / 1920)
PY
}

# field PROFILE SCENE LAYER INDEX: a field of a layer's L record (or of the S record
# when LAYER is empty) in the saved project.
field() {
  "$py" - "$@" <<'PY'
import sys
path, scene, layer, index = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
current = None
for line in open(path + "/project.txt", encoding="utf-8"):
    f = line.rstrip("\n").split("\t")
    if f[0] == "S":
        current = f[1]
        if current == scene and not layer:
            print(f[index]); break
    elif f[0] == "Y":
        current = None
    elif f[0] == "L" and current == scene and f[1] == layer:
        print(f[index]); break
PY
}

# set_project PROFILE FIELD VALUE: rewrites one field of the P record.
set_project() {
  "$py" - "$@" <<'PY' || fail "could not edit project.txt"
import sys
path, index, value = sys.argv[1] + "/project.txt", int(sys.argv[2]), sys.argv[3]
lines = open(path, encoding="utf-8", newline="\n").read().split("\n")
for i, line in enumerate(lines):
    f = line.split("\t")
    if f[0] == "P" and len(f) > 9:
        f[index] = value
        lines[i] = "\t".join(f)
open(path, "w", encoding="utf-8", newline="\n").write("\n".join(lines))
PY
}

profile="$work/profile"

# 1. Both canvases in the dark theme; the title of the first scene dragged 120 px right
#    and 40 px down. Selecting it opens the inspector, which narrows the preview.
start both "$profile" both
shot both
read -r cx cy _ < <(canvas_centre 0)
inspector=$(at $((W - 160)) 300)
xdotool mousemove --window "$wid" "$cx" "$cy" click 1
for _ in $(seq 100); do
  [ "$(at $((W - 160)) 300)" != "$inspector" ] && break
  sleep 0.1
done
[ "$(at $((W - 160)) 300)" != "$inspector" ] || fail "select: no inspector after a click on the title"
read -r cx cy k < <(canvas_centre 320)
xdotool mousemove --window "$wid" "$cx" "$cy" mousedown 1
sleep 0.3
for step in 1 2 3 4; do
  xdotool mousemove --window "$wid" $((cx + 30 * step)) $((cy + 10 * step))
  sleep 0.15
done
sleep 0.3
xdotool mouseup 1
shot both-dragged
finish both
[ -f "$profile/project.txt" ] || fail "both: no project.txt"
x=$(field "$profile" Main Title 3) y=$(field "$profile" Main Title 4)
w=$(field "$profile" Main Title 5) h=$(field "$profile" Main Title 6)
"$py" - "$x" "$y" "$w" "$h" "$k" <<'PY' || fail "drag: the title is at $x,$y ($w x $h), not moved by 120,40 px at scale $k"
import sys
x, y, w, h, k = (float(v) for v in sys.argv[1:6])
# Measured about the centre (960, 540) before the drag.
dx, dy = x - (960 - w / 2), y - (540 - h / 2)
assert w > 0 and h > 0
assert abs(dx - 120 / k) < 12 / k and abs(dy - 40 / k) < 12 / k, (dx, dy)
PY
echo "preview_e2e: title dragged to $x,$y"

# 2. The second scene in the light "Sketchbook" theme: a click on the "Side by side"
#    tile arranges it, and the saved rectangles say so.
set_project "$profile" 4 1
set_project "$profile" 7 0
set_project "$profile" 9 Sketchbook
before=$(field "$profile" "Screen + Camera" Camera 3)
[ "$(field "$profile" "Screen + Camera" "" 2)" = "-1" ] || fail "the second scene is not arranged by hand"
start light "$profile" both
shot light
# Tiles: 16 in from the strip's left, 84 wide, 10 apart, "Custom" first; 8 + 31 down.
tile=5
xdotool mousemove --window "$wid" $((260 + 16 + 94 * (tile + 1) + 42)) $((H - 84 + 8 + 31)) click 1
sleep 0.3
xdotool mousemove --window "$wid" $((W / 2)) 120
shot light-preset
finish light
[ "$(field "$profile" "Screen + Camera" "" 2)" = "$tile" ] || fail "preset: the scene's layout is not $tile"
after=$(field "$profile" "Screen + Camera" Camera 3)
[ "$before" != "$after" ] || fail "preset: the camera did not move ($before)"
echo "preview_e2e: camera moved from x=$before to x=$after; screenshots in $artifacts"
rm -rf "$work"
