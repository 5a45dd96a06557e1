#!/usr/bin/env bash
# Runs clang-tidy (checks in .clang-tidy) over every source of the product and
# the tools, and over the Windows side of platform/ as the cross build
# compiles it, installing what is missing; any finding fails.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/scripts/packages.sh"
"$root/scripts/ensure-packages.sh" "${BUILD_PACKAGES[@]}" "${TIDY_PACKAGES[@]}" \
  "${WINDOWS_PACKAGES[@]}"

build="${TRIVANE_TIDY_BUILD_DIR:-$root/build-tidy}"
# Configured with clang so the compile commands carry no g++-only flags; only
# the configure step runs, which also writes the generated version header.
cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DTRIVANE_BUILD_TESTS=OFF >/dev/null
# Qt's generated sources (moc) are not ours to check.
grep -o '"file": *"[^"]*"' "$build/compile_commands.json" | sed 's/.*"\([^"]*\)"$/\1/' |
  grep -v '_autogen/' | sort -u |
  xargs -P "$(nproc)" -n 4 clang-tidy -p "$build" --quiet --warnings-as-errors='*' 2>/dev/null

# The Windows sources (platform/'s Windows side and the native window), with
# the mingw-w64 build's commands: clang is told the
# target and given the cross compiler's C++ library, which it does not find
# beside a -posix compiler by itself.
windows_build="$build-windows"
cmake -S "$root" -B "$windows_build" \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/x86_64-w64-mingw32.cmake" \
  -DTRIVANE_BUILD_TESTS=OFF >/dev/null
cxx="$(ls -d /usr/lib/gcc/x86_64-w64-mingw32/*-posix | sort -V | tail -1)/include/c++"
ls "$root"/platform/windows/*.cpp "$root"/wingui/*.cpp |
  xargs -P "$(nproc)" -n 4 clang-tidy -p "$windows_build" --quiet --warnings-as-errors='*' \
    --extra-arg=--target=x86_64-w64-mingw32 --extra-arg=-Wno-unknown-warning-option \
    --extra-arg=-isystem"$cxx" --extra-arg=-isystem"$cxx/x86_64-w64-mingw32" 2>/dev/null
