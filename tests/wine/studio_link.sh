#!/usr/bin/env bash
# End to end under Wine: trivane.exe (headless, then its window) and
# trivane-sim.exe under one Wine, the studio link over real window messages,
# TCP on the loopback, and the close by WM_CLOSE. Run by CTest in the Windows build, with WINEPREFIX
# set up by scripts/wine-session.sh.
#   studio_link.sh TRIVANE_EXE TRIVANE_SIM_EXE
set -uo pipefail
relay_exe="$1"
sim_exe="$2"
work="$(mktemp -d)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
check() {  # check WHAT FILE PATTERN: the pattern is in the file
  if grep -qF -- "$3" "$2"; then
    echo "ok: $1"
  else
    echo "FAILED: $1 (no \"$3\" in $(basename "$2")):"
    sed 's/^/    /' "$2"
    failures=$((failures + 1))
  fi
}
wait_for() {  # wait_for FILE PATTERN SECONDS
  local until=$((SECONDS + $3))
  while [ $SECONDS -lt $until ]; do
    grep -qF -- "$2" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}
windows_path() { echo "Z:${1//\//\\}"; }
port() { echo $((20000 + RANDOM % 20000)); }
# Ends the relay as Windows would, by WM_CLOSE to its windows, and gives its
# exit status.
close_relay() {
  wine taskkill /im "$(basename "$relay_exe")" >/dev/null 2>&1
  local status=0
  wait "$1" || status=$?
  return $status
}

# 1. The studio as source: identity, hello, a region block logged, written to
#    the daily file and routed to a chain peer on Linux's loopback; a studio
#    that vanishes costs nothing; WM_CLOSE ends the relay with status 0.
server_port=$(port)
printf '[Settings]\r\nPID=77\r\nSrcMode=0\r\nDstMode=2\r\nServerPort=%s\r\n' "$server_port" \
  >"$work/source.ini"
wine "$relay_exe" --headless --ini "$(windows_path "$work/source.ini")" \
  --log-dir "$(windows_path "$work/Log")" >"$work/relay.log" 2>&1 &
relay=$!
pids+=("$relay")
wait_for "$work/relay.log" "Program started" 20 || echo "the relay did not start"
wine "$sim_exe" listen --port "$server_port" >"$work/chain.log" 2>&1 &
pids+=($!)
wait_for "$work/chain.log" "connected" 20
wine "$sim_exe" studio --vanish >"$work/vanished.log" 2>&1
timeout 30 wine "$sim_exe" studio --pid-query --region 60,120 >"$work/studio.log" 2>&1
check "the identity query is answered with the PID" "$work/studio.log" " 77"
check "the studio is admitted" "$work/studio.log" "sent "
check "and says goodbye" "$work/studio.log" "goodbye "
wait_for "$work/relay.log" "REGION" 10
check "the region block is logged" "$work/relay.log" "--> REGION <---: 60.000, Over: 120.000"
wait_for "$work/chain.log" "ROUTE" 10
check "and reaches the chain peer" "$work/chain.log" "ROUTE type=1 num=1"
check "a studio that vanished said hello before (the next one is served)" "$work/vanished.log" "hello "
close_relay "$relay"
status=$?
echo "relay exit status: $status"
[ "$status" -eq 0 ] || failures=$((failures + 1))
cat "$work"/Log/*.txt >"$work/daily.log" 2>/dev/null
check "the daily file holds the block" "$work/daily.log" "Size=60.0 (01:00.0), Over=120.0 (02:00.0)"

# 2. The studio as destination: a TCP source's block delivered by WM_COPYDATA,
#    and the relay's goodbye when it closes. The settings file is the one
#    beside the program, and the log directory "Log" beside it.
source_port=$(port)
mkdir -p "$work/beside"
cp "$relay_exe" "$work/beside/trivane.exe"
printf '[Settings]\r\nSrcMode=1\r\nDstMode=1\r\nSrcIP=127.0.0.1:%s\r\n' "$source_port" \
  >"$work/beside/trivane.ini"
wine "$sim_exe" source --port "$source_port" --vl3-region 30,90 --repeat 0 --interval 300 \
  >"$work/source.log" 2>&1 &
pids+=($!)
wait_for "$work/source.log" "listening" 20
wine "$work/beside/trivane.exe" --headless >"$work/relay2.log" 2>&1 &
relay=$!
pids+=("$relay")
wait_for "$work/relay2.log" "Program started" 20
wine "$sim_exe" studio --receive 30 >"$work/receiver.log" 2>&1 &
receiver=$!
pids+=("$receiver")
wait_for "$work/receiver.log" "COPYDATA" 20
close_relay "$relay"
status=$?
wait_for "$work/receiver.log" "goodbye from" 10
kill "$receiver" 2>/dev/null
check "a TCP source's block reaches the studio" "$work/receiver.log" "COPYDATA from="
check "with its size" "$work/receiver.log" "size=30000"
check "the relay says goodbye as it closes" "$work/receiver.log" "goodbye from"
check "the settings file beside the program is read" "$work/relay2.log" \
  "$(windows_path "$work/beside/trivane.ini")"
echo "relay exit status: $status"
[ "$status" -eq 0 ] || failures=$((failures + 1))
if ls "$work"/beside/Log/*.txt >/dev/null 2>&1; then
  echo "ok: the daily file is in Log beside the program"
else
  echo "FAILED: no daily file in Log beside the program"
  failures=$((failures + 1))
fi

# 3. The same studio against the window instead of the console relay: the
#    window is the one the studio finds (no hidden one beside it), its block
#    reaches the chain peer and the daily file, and closing the window ends
#    the program with status 0.
server_port=$(port)
printf '[Settings]\r\nPID=78\r\nSrcMode=0\r\nDstMode=2\r\nServerPort=%s\r\n' "$server_port" \
  >"$work/window.ini"
wine "$relay_exe" --ini "$(windows_path "$work/window.ini")" \
  --log-dir "$(windows_path "$work/WindowLog")" >"$work/window.log" 2>&1 &
relay=$!
pids+=("$relay")
# The window prints no log lines: its chain server listening says it runs.
until=$((SECONDS + 30))
until (exec 3<>"/dev/tcp/127.0.0.1/$server_port") 2>/dev/null || [ $SECONDS -ge $until ]; do
  sleep 0.2
done
wine "$sim_exe" listen --port "$server_port" >"$work/window-chain.log" 2>&1 &
pids+=($!)
wait_for "$work/window-chain.log" "connected" 30 || echo "the window's chain server did not listen"
timeout 30 wine "$sim_exe" studio --pid-query --region 45,90 >"$work/window-studio.log" 2>&1
check "the window answers the identity query with the PID" "$work/window-studio.log" " 78"
check "the window admits the studio" "$work/window-studio.log" "sent "
wait_for "$work/window-chain.log" "ROUTE" 10
check "the window's block reaches the chain peer" "$work/window-chain.log" "ROUTE type=1 num=1"
close_relay "$relay"
status=$?
echo "window exit status: $status"
[ "$status" -eq 0 ] || failures=$((failures + 1))
cat "$work"/WindowLog/*.txt >"$work/window-daily.log" 2>/dev/null
check "the window's daily file holds the block" "$work/window-daily.log" "Size=45.0 (00:45.0)"

echo "$failures failed"
[ "$failures" -eq 0 ]
