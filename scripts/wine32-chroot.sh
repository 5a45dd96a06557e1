#!/usr/bin/env bash
# Runs the 32-bit Windows build's tests (CTest, in the build folder given) with
# Wine's 32-bit half from a Debian 12 i386 chroot, for a machine that has no
# wine32:i386 of its own. Debian's wine32:i386 must match the machine's amd64
# libraries version for version, which fails whenever the i386 index of an
# archive lags its amd64 one; a whole i386 system has no such skew.
#
#   scripts/wine32-chroot.sh BUILD_DIR [COMMAND ARGUMENTS...]
#
# With a command, that runs in the chroot instead (scripts/installer-check.sh
# runs the 32-bit installer so). Exit status 77: the kernel cannot run i386
# code, and nothing was run.
#
# Needs root. The chroot is made once (debootstrap, then Wine and CMake in it)
# in TRIVANE_I386_ROOT (default /var/tmp/trivane-debian-i386) and kept until
# the packages it needs change. The source tree (read-only) and the build
# folder appear in it at their own paths, mounted in a mount namespace of the
# run's own, so nothing stays mounted after it, however it ends.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:?the 32-bit build folder}" && pwd)"
shift
system="${TRIVANE_I386_ROOT:-/var/tmp/trivane-debian-i386}"
mirror="${TRIVANE_DEBIAN_MIRROR:-http://deb.debian.org/debian}"

if [ "$(id -u)" -ne 0 ]; then
  echo "The 32-bit tests need Wine's 32-bit half: as root, either" >&2
  echo "  dpkg --add-architecture i386 && apt-get update && apt-get install wine32:i386" >&2
  echo "or run this script, which uses an i386 chroot of its own." >&2
  exit 1
fi
source "$root/scripts/packages.sh"
"$root/scripts/ensure-packages.sh" debootstrap arch-test
# A kernel without i386 support fails debootstrap deep inside; say so first.
"$root/scripts/kernel-runs-i386.sh" || exit $?

# The marker names what was installed, so a changed list makes it anew.
marker="$system/.trivane-ready"
if [ "$(cat "$marker" 2>/dev/null)" != "${WINE32_CHROOT_PACKAGES[*]}" ]; then
  echo "== an i386 Debian 12 with Wine in $system (once)"
  rm -rf "$system"
  debootstrap --arch=i386 --variant=minbase bookworm "$system" "$mirror" >"$system.log" 2>&1 ||
    { tail -20 "$system.log" >&2; exit 1; }
  cp /etc/resolv.conf "$system/etc/resolv.conf"
  # The tests reach their own listeners as "localhost".
  printf '127.0.0.1\tlocalhost\n::1\t\tlocalhost ip6-localhost ip6-loopback\n' >"$system/etc/hosts"
  unshare --mount bash -c "mount -t proc proc '$system/proc' && mount --rbind /dev '$system/dev' &&
    chroot '$system' sh -c 'DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
      ${WINE32_CHROOT_PACKAGES[*]}'" >>"$system.log" 2>&1 || { tail -20 "$system.log" >&2; exit 1; }
  echo "${WINE32_CHROOT_PACKAGES[*]}" >"$marker"
fi

# Inside: the same CTest run as on a machine with wine32, in a Wine session of
# the build's own, unless a command was given. The command goes in as
# arguments, not as text to quote again.
if [ $# -eq 0 ]; then
  set -- /bin/bash -c "cd '$build' && build='$build' && source '$root/scripts/wine-session.sh' &&
    ctest --test-dir '$build' --output-on-failure --no-tests=error -j $(nproc) --timeout 300"
fi
# shellcheck disable=SC2016  # expanded by the inner shell, from its arguments
exec unshare --mount bash -c '
  set -e
  system="$1" root="$2" build="$3"
  shift 3
  mount -t proc proc "$system/proc"
  mount --rbind /dev "$system/dev"
  mkdir -p "$system$root" "$system$build"
  mount --bind "$root" "$system$root"
  mount -o remount,bind,ro "$system$root"
  mount --bind "$build" "$system$build"
  exec chroot "$system" "$@"' bash "$system" "$root" "$build" "$@"
