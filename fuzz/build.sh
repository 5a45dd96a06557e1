#!/usr/bin/env bash
# Builds the fuzz targets with clang, libFuzzer and ASan/UBSan (installing
# missing packages) into build-fuzz/, or TRIVANE_FUZZ_BUILD_DIR.
# Extra arguments go to CMake.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/scripts/packages.sh"
"$root/scripts/ensure-packages.sh" "${BUILD_PACKAGES[@]}" "${FUZZ_PACKAGES[@]}"

build="${TRIVANE_FUZZ_BUILD_DIR:-$root/build-fuzz}"
targets=()
for source in "$root"/fuzz/fuzz_*.cpp; do targets+=("$(basename "$source" .cpp)"); done

cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTRIVANE_FUZZ=ON -DTRIVANE_BUILD_TESTS=OFF -DTRIVANE_WERROR=ON "$@" >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"
