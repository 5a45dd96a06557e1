# Sourced: a Wine prefix of the build's own, headless (the null graphics
# driver, set before the server that runs the programs starts), and one
# persistent wineserver for the whole run, stopped when the caller exits.
# Needs $build.
export WINEPREFIX="$build/wine-prefix"
export WINEDEBUG=-all
if [ ! -f "$WINEPREFIX/.headless" ]; then
  wineboot -i >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.headless"
fi
wineserver -p >/dev/null 2>&1
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
# The first program starts Wine's own services, which inherit its output and
# hold a pipe open for good: it writes to a file, and the tests come after.
wine cmd /c exit >"$build/wine-warm-up.log" 2>&1 || true
