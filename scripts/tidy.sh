#!/usr/bin/env bash
# Runs clang-tidy (checks in .clang-tidy) over every source of the product and
# the tools, installing what is missing; any finding fails.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/scripts/packages.sh"
"$root/scripts/ensure-packages.sh" "${BUILD_PACKAGES[@]}" "${TIDY_PACKAGES[@]}"

build="${TRIVANE_TIDY_BUILD_DIR:-$root/build-tidy}"
# Configured with clang so the compile commands carry no g++-only flags; only
# the configure step runs, which also writes the generated version header.
cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DTRIVANE_BUILD_TESTS=OFF >/dev/null
# Qt's generated sources (moc) are not ours to check.
grep -o '"file": *"[^"]*"' "$build/compile_commands.json" | sed 's/.*"\([^"]*\)"$/\1/' |
  grep -v '_autogen/' | sort -u |
  xargs -P "$(nproc)" -n 4 clang-tidy -p "$build" --quiet --warnings-as-errors='*' 2>/dev/null
