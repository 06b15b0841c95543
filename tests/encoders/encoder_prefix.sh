# Sourced by the scripts that need the test encoder transforms. `use_encoder_prefix <dll>` points
# WINEPREFIX at a prefix of its own beside the test prefix, made on first use, with the
# transforms registered; every other test keeps seeing Wine without encoders. scripts/test stops
# its server at the end.
use_encoder_prefix() {
  local dll=$1 base=${WINEPREFIX:?the Wine test prefix is prepared by scripts/test}
  export WINEPREFIX="$base-encoders"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      wine wineboot -i </dev/null >/dev/null 2>&1 9>&-
      wineserver -w </dev/null >/dev/null 2>&1 9>&-
      wine winecfg -v win10 </dev/null >/dev/null 2>&1 9>&-
      wineserver -w </dev/null >/dev/null 2>&1 9>&-
    fi
    # A persistent server whose helpers are started by a console program with no pipe attached
    # (as scripts/test does), so that none of them holds a caller's output open.
    wineserver -p </dev/null >/dev/null 2>&1 9>&-
    wine cmd /c exit </dev/null >/dev/null 2>&1 9>&-
    wine regsvr32 /s "$(winepath -w "$dll")" </dev/null >/dev/null 2>&1 9>&-
  ) 9>"$WINEPREFIX.lock" || { echo "could not register the test encoders in $WINEPREFIX" >&2; return 1; }
}

# A Unix path in the form Windows programs take (drive Z: is the root).
windows_path() { echo "Z:${1//\//\\}"; }
