#!/usr/bin/env bash
# Builds everything (installing missing packages) and runs every test: the
# Linux build's, then the Windows build's under Wine.
# Extra arguments go to CMake, e.g.: scripts/test.sh -DTRIVANE_WERROR=ON
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/scripts/packages.sh"
"$root/scripts/ensure-packages.sh" "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"

build="${TRIVANE_BUILD_DIR:-$root/build-tests}"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DTRIVANE_BUILD_TESTS=ON "$@" >/dev/null
cmake --build "$build" -j "$(nproc)"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 300

# Every test includes the Windows build's, cross-built and run under Wine
# (scripts/test-windows.sh, with the same CMake arguments);
# TRIVANE_WINDOWS_TESTS=0 leaves them out.
if [ "${TRIVANE_WINDOWS_TESTS:-1}" != 0 ]; then
  "$root/scripts/test-windows.sh" "$@"
fi
