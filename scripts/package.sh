#!/usr/bin/env bash
# Builds the Debian package (installing missing packages) and checks it: the
# files it holds, lintian, and the systemd units as systemd reads them.
# Extra arguments go to CMake, e.g.: scripts/package.sh -DTRIVANE_QT=OFF
# The package lands in build-package/ (TRIVANE_PACKAGE_BUILD_DIR chooses another).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/scripts/packages.sh"
"$root/scripts/ensure-packages.sh" "${BUILD_PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}"

build="${TRIVANE_PACKAGE_BUILD_DIR:-$root/build-package}"
jobs="$(nproc)"

fail() {
  echo "package: $*" >&2
  exit 1
}

# The date in the changelog, and with it the package, follows the last commit.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH="$(git -C "$root" log -1 --format=%ct 2>/dev/null || date +%s)"
fi
export SOURCE_DATE_EPOCH

# Debian's hardening flags (fortify, stack protector, relro and bindnow), as
# a package built by the distribution has them.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags="$(dpkg-buildflags --get LDFLAGS)"

echo "== build (Release) in $build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTRIVANE_BUILD_TESTS=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
  "$@" >/dev/null
cmake --build "$build" -j "$jobs"

echo "== cpack -G DEB"
rm -f "$build"/trivane_*.deb
(cd "$build" && cpack -G DEB)
cached() { sed -n "s|^$1:[A-Z]*=||p" "$build/CMakeCache.txt"; }
unit_dir="$(cached TRIVANE_SYSTEMD_UNIT_DIR)"
sysusers_dir="$(cached TRIVANE_SYSUSERS_DIR)"
debs=("$build"/trivane_*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then fail "expected one trivane_*.deb in $build"; fi
deb="${debs[0]}"

echo "== contents of $(basename "$deb")"
contents="$(dpkg-deb -c "$deb" | awk '{ print $1, $NF }' | sed 's| \./| /|')"
expected=(
  "-rwxr-xr-x /usr/bin/trivane"
  "-rwxr-xr-x /usr/bin/trivane-sim"
  "-rw-r--r-- /usr/share/man/man1/trivane.1.gz"
  "-rw-r--r-- /usr/share/man/man1/trivane-sim.1.gz"
  "-rw-r--r-- /usr/share/doc/trivane/README.md"
  "-rw-r--r-- /usr/share/doc/trivane/copyright"
  "-rw-r--r-- /usr/share/doc/trivane/changelog.Debian.gz"
  "-rw-r--r-- $unit_dir/trivane.service"
  "-rw-r--r-- $unit_dir/trivane@.service"
  "-rw-r--r-- $sysusers_dir/trivane.conf"
  "-rw-r--r-- /etc/trivane/trivane.ini"
)
window_files=(
  "-rw-r--r-- /usr/share/applications/trivane.desktop"
  "-rw-r--r-- /usr/share/icons/hicolor/scalable/apps/trivane.svg"
)
missing=0
for entry in "${expected[@]}"; do
  grep -qxF -- "$entry" <<<"$contents" || { echo "missing: $entry" >&2; missing=1; }
done
# The desktop entry and the icon come with the window, and only with it; the
# program has the window when it needs Qt's widgets.
has_window=0
if readelf -d "$build/app/trivane" | grep -q 'NEEDED.*libQt6Widgets'; then has_window=1; fi
for entry in "${window_files[@]}"; do
  if [ "$has_window" -eq 1 ]; then
    grep -qxF -- "$entry" <<<"$contents" || { echo "missing: $entry" >&2; missing=1; }
  elif grep -qF -- "${entry#* }" <<<"$contents"; then
    echo "without the window, yet packaged: ${entry#* }" >&2
    missing=1
  fi
done
[ "$missing" -eq 0 ] || fail "the package lacks files (list above)"
dpkg-deb -f "$deb" Depends | grep -q 'libc6' || fail "no library dependencies: dpkg-shlibdeps did not run"
dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles | grep -qx /etc/trivane/trivane.ini ||
  fail "/etc/trivane/trivane.ini is not a conffile"
echo "every file is there"

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
dpkg-deb -x "$deb" "$scratch/root"

for program in trivane trivane-sim; do
  file "$scratch/root/usr/bin/$program" | grep -q ', stripped' || fail "/usr/bin/$program is not stripped"
done

echo "== manual pages"
for page in "$scratch"/root/usr/share/man/man1/*.1.gz; do
  # Any warning groff or man prints is a fault of the page.
  groff_says="$( { zcat "$page" | LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z; } 2>&1)"
  man_says="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)"
  [ -z "$groff_says$man_says" ] || fail "$(basename "$page"): $groff_says $man_says"
  lexgrog "$page" >/dev/null || fail "$(basename "$page"): lexgrog finds no NAME section"
done
echo "they render without warnings"

echo "== lintian"
lintian --allow-root --fail-on error --display-info "$deb"

echo "== systemd-analyze verify"
# Verify wants the program each unit starts to exist and its manual page to
# be found: both are taken from the package, the units' path pointed at it.
mkdir -p "$scratch/units"
for unit in trivane.service trivane@.service; do
  sed "s|/usr/bin/trivane|$scratch/root/usr/bin/trivane|g" \
    "$scratch/root$unit_dir/$unit" >"$scratch/units/$unit"
done
# It exits 0 on an unknown key or a value it cannot parse, naming it only:
# anything it prints is a failure.
verdict="$(cd "$scratch/units" && MANPATH="$scratch/root/usr/share/man" \
  systemd-analyze verify ./trivane.service ./trivane@example.service 2>&1)" ||
  fail "systemd-analyze verify: $verdict"
[ -z "$verdict" ] || fail "systemd-analyze verify: $verdict"
echo "the units are accepted"

echo "== $deb"
