#!/usr/bin/env bash
# Pictures of the real window for docs/images: the main window with links in
# every state and a few log lines, and the settings dialog. Runs the relay on
# a virtual X display of its own, with simulated peers on loopback.
# Usage: scripts/screenshots.sh [BUILD_DIR]
#   Without BUILD_DIR it builds trivane and trivane-sim into build/ first.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/scripts/packages.sh"

if [[ "${1:-}" != --on-display ]]; then
  "$root/scripts/ensure-packages.sh" xvfb xauth xdotool imagemagick
  build="${1:-${TRIVANE_BUILD_DIR:-$root/build}}"
  if [[ $# -eq 0 ]]; then
    "$root/scripts/ensure-packages.sh" "${BUILD_PACKAGES[@]}"
    cmake -S "$root" -B "$build" -DTRIVANE_QT=ON >/dev/null
    cmake --build "$build" --target trivane trivane-sim -j "$(nproc)" >&2
  fi
  build="$(cd "$build" && pwd)"
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" --on-display "$build"
fi

build="$2"
sim="$build/tools/trivane-sim"
out="$root/docs/images"
work="$(mktemp -d)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Starts a simulated peer in the background; its output goes to $work/NAME.
peer() {
  local name=$1
  shift
  "$sim" "$@" >"$work/$name" 2>&1 &
  pids+=($!)
}
# The port a simulated peer printed it listens on.
port_of() {
  for _ in $(seq 50); do
    grep -om1 'listening 127.0.0.1:[0-9]*' "$work/$1" | cut -d: -f2 && return
    sleep 0.1
  done
  echo "trivane-sim $1 did not start" >&2
  return 1
}
# A loopback port nobody listens on, in the range the settings dialog takes
# for the server and online ports (the kernel's own picks lie above it).
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
# The id of the visible window whose whole title is $1, within 15 s.
window() {
  timeout 15 xdotool search --sync --onlyvisible --name "^$1\$" | head -n1
}
shoot() {
  # Nothing stacks windows without a window manager: bring this one to the top.
  xdotool windowraise "$1"
  sleep 0.5
  import -window "$1" "$2"
  echo "wrote $2"
}

# Source 1 sends blocks, source 2 stays silent (Connected), source 3 refuses
# (Error); the studio has no program to talk to (Wait), the chain server has a
# listener, and the online server's port is closed (Error).
peer talker source --port 0 --vl3-region 60,120 --vl3-notice M,30,Morning\ news --hold
peer silent source --port 0 --hold
server_port="$(closed_port)"
cat >"$work/relay.ini" <<EOF
[Settings]
SrcMode=1
DstMode=7
SrcIP=127.0.0.1:$(port_of talker)
SrcIP1=127.0.0.1:$(port_of silent)
SrcIP2=127.0.0.1:$(closed_port)
ServerPort=$server_port
OnlineIP=127.0.0.1:$(closed_port):secret
EOF
"$build/app/trivane" --ini "$work/relay.ini" --log-dir "$work/Log" >"$work/relay.out" 2>&1 &
pids+=($!)
main="$(window 'Veltora Trivane \(ver\..*')"
peer chain listen --port "$server_port"
sleep 2

mkdir -p "$out"
shoot "$main" "$out/main-window.png"

# The Settings button sits in its group at the right end of the status panel.
width="$(xdotool getwindowgeometry "$main" | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p')"
xdotool mousemove --window "$main" $((width - 54)) 42 click 1
shoot "$(window Settings)" "$out/settings-dialog.png"
