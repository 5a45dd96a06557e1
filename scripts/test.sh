#!/usr/bin/env bash
# Builds everything (installing missing packages) and runs every test.
# Extra arguments go to CMake, e.g.: scripts/test.sh -DTRIVANE_WERROR=ON
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/scripts/packages.sh"
"$root/scripts/ensure-packages.sh" "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"

build="${TRIVANE_BUILD_DIR:-$root/build-tests}"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DTRIVANE_BUILD_TESTS=ON "$@" >/dev/null
cmake --build "$build" -j "$(nproc)"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 300
