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
build="${TRIVANE_WINDOWS_BUILD_DIR:-$root/build-windows-$arch}"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/$arch-w64-mingw32.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DTRIVANE_BUILD_TESTS=ON "$@" >/dev/null
cmake --build "$build" -j "$(nproc)"

source "$root/scripts/wine-session.sh"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 300
