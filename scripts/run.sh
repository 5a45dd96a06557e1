#!/usr/bin/env bash
# Builds the relay (installing missing build packages) and runs it.
# Arguments go to the program, e.g.: scripts/run.sh --headless --ini my.ini
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/scripts/packages.sh"
"$root/scripts/ensure-packages.sh" "${BUILD_PACKAGES[@]}"

build="${TRIVANE_BUILD_DIR:-$root/build}"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTRIVANE_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target trivane -j "$(nproc)" >&2
exec "$build/app/trivane" "$@"
