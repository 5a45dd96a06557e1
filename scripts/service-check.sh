#!/usr/bin/env bash
# Installs the Debian package on a clean Debian 12 and runs the service the way
# the README tells a new user to, under a real systemd: a fresh debootstrap
# booted with systemd-nspawn. It checks what only a service manager shows:
# readiness, the watchdog restarting a stalled relay, reload, the journal's
# priorities, the hardened unit still doing its work (daily files, chain
# server, metrics), an instance, an upgrade keeping the settings, and purge.
#
#   scripts/service-check.sh [DEB]      (default: build-package/trivane_*.deb)
#
# Needs root and the network to Debian's mirror (TRIVANE_DEBIAN_MIRROR).
# The container shares this machine's network, so ports 9100, 9101, 9488,
# 9998 and 9999 on loopback must be free. Exit status 77: this machine cannot
# boot a container (nothing about the package was learned).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/scripts/packages.sh"

leader=""
fail() {
  echo "service-check: $*" >&2
  if [ -n "$leader" ]; then
    echo "-- the relay's journal, last lines:" >&2
    nsenter -t "$leader" -a journalctl --no-pager -n 40 -u trivane >&2 || true
  fi
  exit 1
}

if [ "$(id -u)" -ne 0 ]; then fail "needs root, to debootstrap and boot a container"; fi
"$root/scripts/ensure-packages.sh" "${SERVICE_CHECK_PACKAGES[@]}"

deb="${1:-}"
if [ -z "$deb" ]; then
  debs=("$root"/build-package/trivane_*.deb)
  if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
    fail "no single build-package/trivane_*.deb: run scripts/package.sh or name one"
  fi
  deb="${debs[0]}"
fi
[ -f "$deb" ] || fail "$deb: no such file"
mirror="${TRIVANE_DEBIAN_MIRROR:-http://deb.debian.org/debian}"

work="$(mktemp -d /var/tmp/trivane-service-check.XXXXXX)"
machine="$work/debian12"
nspawn_pid=""
cleanup() {
  if [ -n "$nspawn_pid" ] && kill -0 "$nspawn_pid" 2>/dev/null; then
    kill "$nspawn_pid" 2>/dev/null || true
    for _ in $(seq 100); do kill -0 "$nspawn_pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$nspawn_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

echo "== a clean Debian 12 (debootstrap from $mirror)"
debootstrap --variant=minbase --include=systemd,systemd-sysv,dbus,curl,ca-certificates \
  bookworm "$machine" "$mirror" >"$work/debootstrap.log" 2>&1 ||
  { tail -20 "$work/debootstrap.log" >&2; fail "debootstrap failed"; }
cp "$deb" "$machine/root/"
deb_inside="/root/$(basename "$deb")"

echo "== boot it with systemd"
systemd-nspawn --quiet --register=no --keep-unit --console=passive -D "$machine" -b \
  >"$work/boot.log" 2>&1 &
nspawn_pid=$!
state=""
for _ in $(seq 600); do
  kill -0 "$nspawn_pid" 2>/dev/null || break
  [ -n "$leader" ] || leader="$(pgrep -P "$nspawn_pid" -x systemd || true)"
  if [ -n "$leader" ]; then
    state="$(nsenter -t "$leader" -a systemctl is-system-running 2>/dev/null || true)"
    case "$state" in running | degraded) break ;; esac
  fi
  sleep 0.1
done
case "$state" in
  running | degraded) ;;
  *)
    cat "$work/boot.log" >&2
    echo "service-check: SKIPPED: this machine cannot boot a container with systemd (state: ${state:-none})" >&2
    exit 77
    ;;
esac
echo "systemd is $state"

inside() { nsenter -t "$leader" -a "$@"; }
# Runs a shell line inside and fails the check with its output when it fails.
must() {
  local said
  said="$(inside sh -c "$1" 2>&1)" || fail "$1: $said"
  printf '%s' "$said"
}
# Waits up to $2 seconds for the shell line $1 to succeed inside.
await() {
  local line="$1" seconds="$2"
  for _ in $(seq $((seconds * 10))); do
    inside sh -c "$line" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  fail "not within ${seconds} s: $line"
}
property() { inside systemctl show -P "$2" "$1"; }
journal() { inside journalctl --no-pager -o cat "$@"; }

echo "== apt install ./$(basename "$deb")"
must "DEBIAN_FRONTEND=noninteractive apt-get install -y -q $deb_inside" >"$work/install.log"
must "getent passwd trivane | grep -q ':/usr/sbin/nologin$'" || fail "no system user trivane"
[ "$(must 'stat -c "%a %U:%G" /etc/trivane/trivane.ini')" = "640 root:trivane" ] ||
  fail "/etc/trivane/trivane.ini is not 0640 root:trivane"
[ "$(property trivane.service UnitFileState)" = "disabled" ] || fail "the package enabled the relay before its settings were edited"
[ "$(property trivane.service ActiveState)" = "inactive" ] || fail "the package started the relay"
must "test -f /usr/share/man/man1/trivane.1.gz && test -f /usr/share/man/man1/trivane-sim.1.gz"
echo "installed; the user, the settings' mode, nothing started"

echo "== the peers: two sources and a chain listener"
inside systemd-run --quiet --unit=check-source -p StandardOutput=file:/root/source.out \
  trivane-sim source --port 9100 --vl3-region 60,120 --repeat 0 --interval 1000
inside systemd-run --quiet --unit=check-source-2 -p StandardOutput=file:/root/source-2.out \
  trivane-sim source --port 9101 --vl3-region 30,90 --repeat 0 --interval 1000
await "grep -q listening /root/source.out && grep -q listening /root/source-2.out" 10

echo "== editor /etc/trivane/trivane.ini; systemctl enable --now trivane"
# Port 9 (discard) is closed here: its source stays in Error, which the
# journal must show at error priority.
must "sed -i 's|^;SrcIP=.*|SrcIP=127.0.0.1:9100|; s|^;SrcIP1=.*|SrcIP1=127.0.0.1:9|' /etc/trivane/trivane.ini"
must "systemctl enable --now trivane 2>&1" >/dev/null
# Type=notify: enable --now returns once the relay said READY.
[ "$(property trivane.service ActiveState)" = "active" ] || fail "trivane is not active after enable --now"
[ "$(property trivane.service StatusText)" = "Relaying" ] || fail "no readiness status from the relay"
first_pid="$(property trivane.service MainPID)"
inside systemd-run --quiet --unit=check-listen -p StandardOutput=file:/root/listen.out \
  trivane-sim listen --port 9999
await "grep -q '^UNIT' /root/listen.out" 10
await "grep -q '^In .*Size=60.0' /var/log/trivane/\$(date +%y-%m-%d).txt" 5
[ "$(must "stat -c %U /var/log/trivane/\$(date +%y-%m-%d).txt")" = "trivane" ] || fail "the daily file is not the relay user's"
echo "ready; the source's block reaches the chain peer and the daily file"

echo "== the journal"
journal -u trivane | grep -q "Program started" || fail "no event log in the journal"
journal -u trivane -p err | grep -q ">> ERROR <<" || fail "the closed source's error is not at error priority"
if journal -u trivane -p err | grep -qv ">> ERROR <<\|> Except <"; then
  fail "lines other than errors at error priority: $(journal -u trivane -p err)"
fi
echo "error lines at error priority, the rest at info"

echo "== metrics at 127.0.0.1:9488"
metrics="$(must "curl -sf http://127.0.0.1:9488/metrics")"
grep -q '^trivane_source_units_received_total{link="source1"} [1-9]' <<<"$metrics" ||
  fail "no units counted for source1: $(grep units_received <<<"$metrics")"
grep -q '^trivane_link_state{' <<<"$metrics" || fail "no link states"
echo "served, with the source's units"

echo "== the status page at 127.0.0.1:9488"
page="$(must "curl -sf -D - http://127.0.0.1:9488/")"
grep -qi '^Content-Security-Policy: default-src .none.' <<<"$page" || fail "the page has no strict policy"
grep -q '<section id="grid"' <<<"$page" || fail "/ is not the status page"
status="$(must "curl -sf http://127.0.0.1:9488/status.json")"
grep -q '"title":"Src IP 1","address":"127.0.0.1:9100","state":' <<<"$status" ||
  fail "/status.json lacks the first source: $status"
grep -q '"text":"Program started"' <<<"$status" || fail "/status.json lacks the log: $status"
echo "the page and its data, from the service"

echo "== systemctl reload trivane (the closed source becomes the second peer)"
must "sed -i 's|^SrcIP1=.*|SrcIP1=127.0.0.1:9101|' /etc/trivane/trivane.ini"
must "systemctl reload trivane"
await "journalctl -u trivane -o cat | grep -q 'Settings read again from /etc/trivane/trivane.ini'" 5
await "curl -sf http://127.0.0.1:9488/metrics | grep -q '^trivane_source_units_received_total{link=\"source2\"} [1-9]'" 10
[ "$(property trivane.service MainPID)" = "$first_pid" ] || fail "reload restarted the relay"
must "systemctl is-active check-listen" >/dev/null || fail "the chain peer was dropped by the reload"
echo "applied without a restart; the chain peer stayed"

echo "== a stalled tick: the watchdog restarts the relay"
must "kill -STOP $first_pid"
await "[ \"\$(systemctl show -P NRestarts trivane)\" = 1 ] && systemctl is-active -q trivane" 30
journal -u trivane | grep -q "Watchdog timeout" || fail "the restart was not the watchdog's"
[ "$(property trivane.service MainPID)" != "$first_pid" ] || fail "the same process still runs"
await "grep -c '^In .*Size=60.0' /var/log/trivane/\$(date +%y-%m-%d).txt | grep -qv '^[01]\$'" 5
echo "killed after the watchdog period and started again"

echo "== an instance: trivane@north"
must "install -m 0640 -g trivane /etc/trivane/trivane.ini /etc/trivane/north.ini"
must "sed -i 's|^ServerPort=.*|ServerPort=9998|' /etc/trivane/north.ini"
must "systemctl enable --now trivane@north 2>&1" >/dev/null
await "grep -q '^In ' /var/log/trivane/north/\$(date +%y-%m-%d).txt" 5
if inside systemctl start trivane@south >/dev/null 2>&1; then fail "an instance without its settings file started"; fi
echo "north relays into /var/log/trivane/north; south, without settings, does not start"

echo "== an upgrade keeps the edited settings and restarts the relays"
before="$(property trivane.service MainPID)"
must "DEBIAN_FRONTEND=noninteractive apt-get install -y -q --reinstall $deb_inside" >>"$work/install.log"
must "grep -qx 'SrcIP=127.0.0.1:9100' /etc/trivane/trivane.ini" || fail "the upgrade overwrote the settings"
await "systemctl is-active -q trivane && [ \"\$(systemctl show -P MainPID trivane)\" != $before ]" 20
echo "settings kept, relay restarted"

echo "== systemctl stop: the close ends with status 0"
must "systemctl stop trivane trivane@north"
[ "$(property trivane.service Result)" = "success" ] || fail "the stop was not clean: $(property trivane.service Result)"
[ "$(property trivane.service ExecMainStatus)" = "0" ] || fail "exit status $(property trivane.service ExecMainStatus)"
echo "stopped cleanly"

echo "== apt purge trivane"
must "DEBIAN_FRONTEND=noninteractive apt-get purge -y -q trivane" >>"$work/install.log"
for gone in /usr/bin/trivane /etc/trivane/trivane.ini /var/log/trivane; do
  if inside test -e "$gone"; then fail "$gone is left after purge"; fi
done
echo "the program, its settings and its logs are gone"

echo "== the package installs and runs as a service on a clean Debian 12"
