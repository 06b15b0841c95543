#!/usr/bin/env bash
# With the settings window open, everything of the studio behind it is dimmed
# below the title bar: the panels' rows, tiles and cards as much as the
# backgrounds between them. The studio is shot with the window closed and open,
# and regions of the panels must come out as the closed picture under black at
# the theme's strength. Needs the Wine prefix and X display that
# scripts/test prepares.
set -uo pipefail
root=$1 artifacts=$2
mkdir -p "$artifacts"
work=$(mktemp -d "$artifacts/dim.XXXXXX")
fail() { echo "settings_dim_e2e: $*" >&2; exit 1; }

. "$(dirname "$0")/studio_window.sh"

# shot NAME PROFILE WORDS: the studio started with the words, the mouse on the empty foot
# of the sidebar, the window shot into $artifacts/NAME.png, closed again.
shot() {
  studio_start "$1" "$2" "$3"
  xdotool mousemove --window "$studio_wid" 130 $((studio_h - 60))
  sleep 0.7
  local x y
  eval "$(xdotool getwindowgeometry --shell "$studio_wid" | sed -n 's/^\(X\|Y\)=/\1=/p')"
  x=$X y=$Y
  import -window root -crop "${studio_w}x${studio_h}+$x+$y" +repage "$artifacts/$1.png" \
    || fail "$1: screenshot failed"
  studio_close "$1"
  [ "$studio_code" = 0 ] || fail "$1: exit code $studio_code"
}

# dimmed THEME REGION WHAT ALPHA: the region of the open shot is the closed shot's under
# black at that alpha, pixel for pixel; and the region is no flat fill (it holds the text
# or picture that an undimmed panel would show bright).
dimmed() {
  local theme=$1 region=$2 what=$3 alpha=$4 closed="$artifacts/$1-closed.png" open="$artifacts/$1-open.png"
  convert "$closed" -crop "$region" +repage "$work/closed.png" || fail "$theme: crop of $what"
  convert "$open" -crop "$region" +repage "$work/open.png" || fail "$theme: crop of $what"
  local colours
  colours=$(convert "$work/closed.png" -format '%k' info:)
  ((colours > 8)) || fail "$theme: the $what region $region is a flat fill ($colours colours)"
  convert "$work/closed.png" -evaluate multiply "$(awk "BEGIN { print (255 - $alpha) / 255 }")" \
    "$work/expected.png"
  local wrong
  wrong=$(compare -metric AE -fuzz 2% "$work/open.png" "$work/expected.png" null: 2>&1 | cut -d' ' -f1)
  ((${wrong:-1} == 0)) || fail "$theme: $wrong pixels of the $what ($region) are not dimmed"
}

# A new profile's project has the dark Studio theme, whose dim is black at alpha 110.
profile="$work/profile"
shot dark-closed "$profile" "select0"
shot dark-open "$profile" "select0 settings2"
dimmed dark 200x30+20+116 "first scene row" 110
dimmed dark 300x60+260+830 "layout gallery" 110
dimmed dark 280x120+1140+120 "inspector" 110
echo "settings_dim_e2e: screenshots in $artifacts"
rm -rf "$work"
