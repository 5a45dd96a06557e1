#!/usr/bin/env bash
# Cross-builds the relay, the simulator and the unit tests for Windows with
# mingw-w64 (installing what is missing) and runs the tests under Wine.
# TRIVANE_WINDOWS_ARCH=i686 builds for 32-bit Windows; its tests run with
# Debian's wine32:i386 when installed, else in an i386 chroot (as root; see
# scripts/wine32-chroot.sh). Where the kernel cannot run i386 code they are
# built but not run, and the script says SKIPPED and exits with status 77.
# Extra arguments go to CMake.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/scripts/packages.sh"
"$root/scripts/ensure-packages.sh" "${WINDOWS_PACKAGES[@]}"

arch="${TRIVANE_WINDOWS_ARCH:-x86_64}"
build="${TRIVANE_WINDOWS_BUILD_DIR:-$root/build-windows-$arch}"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/$arch-w64-mingw32.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DTRIVANE_BUILD_TESTS=ON "$@" >/dev/null
cmake --build "$build" -j "$(nproc)"

# Without Wine's 32-bit half a 32-bit test would "pass" having run nothing:
# without wine32:i386 here, the tests run in an i386 chroot with its own.
if [[ "$arch" == i686 ]]; then
  "$root/scripts/kernel-runs-i386.sh" || exit $?
  if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q installed; then
    exec "$root/scripts/wine32-chroot.sh" "$build"
  fi
fi

source "$root/scripts/wine-session.sh"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 300
