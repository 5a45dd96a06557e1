#!/usr/bin/env bash
# Cross-builds the relay, the simulator and the unit tests for Windows with
# mingw-w64 (installing what is missing) and runs the tests under Wine.
# TRIVANE_WINDOWS_ARCH=i686 builds for 32-bit Windows; its tests need
# Debian's i386 architecture and wine32:i386 (see README).
# Extra arguments go to CMake.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/scripts/packages.sh"
"$root/scripts/ensure-packages.sh" "${WINDOWS_PACKAGES[@]}"

arch="${TRIVANE_WINDOWS_ARCH:-x86_64}"
# Without wine32 every 32-bit test would fail on a program Wine never started.
if [[ "$arch" == i686 ]] && ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q installed; then
  echo "The 32-bit tests need Wine's 32-bit half:" >&2
  echo "  dpkg --add-architecture i386 && apt-get update && apt-get install wine32:i386" >&2
  exit 1
fi
build="${TRIVANE_WINDOWS_BUILD_DIR:-$root/build-windows-$arch}"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/$arch-w64-mingw32.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DTRIVANE_BUILD_TESTS=ON "$@" >/dev/null
cmake --build "$build" -j "$(nproc)"

source "$root/scripts/wine-session.sh"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 300
