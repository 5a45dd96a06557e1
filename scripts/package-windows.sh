#!/usr/bin/env bash
# The Windows packages: a zip and an installer (NSIS) holding trivane.exe,
# trivane-sim.exe and the README, built in the tree of scripts/test-windows.sh
# (building it when it is not there) and checked for their files.
# TRIVANE_WINDOWS_ARCH=i686 packages the 32-bit programs.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/scripts/packages.sh"
"$root/scripts/ensure-packages.sh" "${WINDOWS_PACKAGES[@]}" unzip

arch="${TRIVANE_WINDOWS_ARCH:-x86_64}"
build="${TRIVANE_WINDOWS_BUILD_DIR:-$root/build-windows-$arch}"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/$arch-w64-mingw32.cmake" \
  -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
cmake --build "$build" -j "$(nproc)" --target trivane trivane-sim
(cd "$build" && cpack -G "ZIP;NSIS" >/dev/null)

version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
name="trivane-$version-windows-$arch"
zip="$build/$name.zip"
installer="$build/$name.exe"
listing="$(unzip -Z1 "$zip")"
for file in trivane.exe trivane-sim.exe README.md; do
  if ! grep -qx "$name/$file" <<<"$listing"; then
    echo "$zip lacks $file:" >&2
    echo "$listing" >&2
    exit 1
  fi
done
[ -s "$installer" ] || { echo "no installer at $installer" >&2; exit 1; }
echo "== $zip"
echo "$listing"
echo "== $installer"
