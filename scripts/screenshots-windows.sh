#!/usr/bin/env bash
# Pictures of the Windows window for docs/images: the main window with links
# in every state and a few log lines, and the settings dialog. Runs
# trivane.exe under Wine with its X11 driver on a virtual X display of its
# own, with simulated peers (trivane-sim.exe) on loopback.
# Usage: scripts/screenshots-windows.sh [BUILD_DIR]
#   Without BUILD_DIR it cross-builds trivane.exe and trivane-sim.exe into
#   build-windows-x86_64/ first.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/scripts/packages.sh"

if [[ "${1:-}" != --on-display ]]; then
  "$root/scripts/ensure-packages.sh" "${WINDOWS_PACKAGES[@]}" xvfb xauth xdotool imagemagick
  build="${1:-$root/build-windows-x86_64}"
  if [[ $# -eq 0 ]]; then
    cmake -S "$root" -B "$build" \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/x86_64-w64-mingw32.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$build" --target trivane trivane-sim -j "$(nproc)" >&2
  fi
  build="$(cd "$build" && pwd)"
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" --on-display "$build"
fi

build="$2"
out="$root/docs/images"
work="$(mktemp -d)"
# A prefix of its own with Wine's X11 driver: the tests' prefix draws nothing.
export WINEPREFIX="$build/wine-x11-prefix"
export WINEDEBUG=-all
if [ ! -f "$WINEPREFIX/.decorated" ]; then
  wineboot -i >/dev/null 2>&1
  # No window manager runs on the virtual display: Wine draws the frames and
  # captions itself, as Windows would.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.decorated"
fi
wineserver -p >/dev/null 2>&1
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wineserver -k >/dev/null 2>&1 || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
wine cmd /c exit >"$work/warm-up.log" 2>&1 || true

# Starts a simulated peer in the background; its output goes to $work/NAME.
peer() {
  local name=$1
  shift
  wine "$build/tools/trivane-sim.exe" "$@" >"$work/$name" 2>&1 &
  pids+=($!)
}
port_of() {
  for _ in $(seq 100); do
    grep -aom1 'listening 127.0.0.1:[0-9]*' "$work/$1" | cut -d: -f2 && return
    sleep 0.1
  done
  echo "trivane-sim.exe $1 did not start" >&2
  return 1
}
closed_port() {
  python3 -c '
import random, socket
while True:
    port, s = random.randint(20000, 32767), socket.socket()
    try:
        s.bind(("127.0.0.1", port))
        print(port)
        break
    except OSError:
        pass
    finally:
        s.close()'
}
window() {
  timeout 30 xdotool search --sync --onlyvisible --name "^$1\$" | head -n1
}
# Wine's windows are drawn on the root window; a picture of the window alone
# is cut from it (import -window renders some of them black).
shoot() {
  xdotool windowraise "$1"
  sleep 1
  local geometry
  geometry="$(xdotool getwindowgeometry --shell "$1")"
  local X Y WIDTH HEIGHT
  eval "$geometry"
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$2"
  echo "wrote $2"
}

# The same links as the Linux pictures: source 1 sends blocks, source 2 stays
# silent, source 3 refuses; the chain server has a listener; the online
# server's port is closed.
peer talker source --port 0 --vl3-region 60,120 --vl3-notice M,30,Morning\ news --hold
peer silent source --port 0 --hold
server_port="$(closed_port)"
printf '[Settings]\r\nSrcMode=1\r\nDstMode=6\r\nSrcIP=127.0.0.1:%s\r\nSrcIP1=127.0.0.1:%s\r\nSrcIP2=127.0.0.1:%s\r\nServerPort=%s\r\nOnlineIP=127.0.0.1:%s:secret\r\n' \
  "$(port_of talker)" "$(port_of silent)" "$(closed_port)" "$server_port" "$(closed_port)" \
  >"$work/relay.ini"
wine "$build/app/trivane.exe" --ini "$(winepath -w "$work/relay.ini")" \
  --log-dir "$(winepath -w "$work/Log")" >"$work/relay.out" 2>&1 &
pids+=($!)
main="$(window 'Veltora Trivane \(ver\..*')"
peer chain listen --port "$server_port"
sleep 3

mkdir -p "$out"
shoot "$main" "$out/windows-main-window.png"

# The Settings button sits in its group at the right end of the status panel
# (below the caption Wine draws).
width="$(xdotool getwindowgeometry "$main" | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p')"
xdotool mousemove --window "$main" $((width - 56)) 56 click 1
shoot "$(window Settings)" "$out/windows-settings-dialog.png"
