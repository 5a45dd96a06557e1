#!/usr/bin/env bash
# Runs a Windows installer of scripts/package-windows.sh under Wine as a user
# would, in a Wine prefix of its own, and checks what the README promises:
#
#   - a silent install (/S) puts trivane.exe, trivane-sim.exe, the README and
#     the uninstaller in %LOCALAPPDATA%\Programs\Veltora Trivane and nothing
#     anywhere else, "Veltora Trivane" in the user's Start menu pointing at
#     that trivane.exe, and an uninstall entry in HKCU;
#   - the installed trivane.exe --version names the build's version;
#   - the uninstaller removes all of it: files, folder, Start-menu entry and
#     registry keys;
#   - installing over an install keeps the user's trivane.ini and Log
#     folder, and uninstalling then leaves them (and only them) behind.
#
#   scripts/installer-check.sh INSTALLER
#
# The installer's width must be that of its programs (a 64-bit installer for
# the -x86_64 package). A 32-bit one runs with Wine's 32-bit half: Debian's
# wine32:i386 if installed, else in the i386 chroot of scripts/wine32-chroot.sh.
# Exit status 77: the kernel cannot run 32-bit code (nothing was checked).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

here=0
if [ "${1:-}" = --here ]; then  # inside the chroot: its Wine is the one to use
  here=1
  shift
fi
installer="$(realpath "${1:?the installer (.exe) to check}")"
build="$(dirname "$installer")"
[ -f "$installer" ] || { echo "installer-check: no installer at $installer" >&2; exit 1; }

fail() {
  echo "installer-check: FAILED: $*" >&2
  exit 1
}
ok() { echo "ok: $*"; }

# The machine a PE file is built for, from its COFF header.
pe_machine() {
  local offset
  offset="$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')"
  case "$(od -An -tx2 -j$((offset + 4)) -N2 "$1" | tr -d ' ')" in
    8664) echo x86_64 ;;
    014c) echo i686 ;;
    *) echo unknown ;;
  esac
}

case "$installer" in
  *-windows-x86_64.exe) arch=x86_64 ;;
  *-windows-i686.exe) arch=i686 ;;
  *) fail "$installer: not named trivane-VERSION-windows-ARCH.exe" ;;
esac

if [ "$here" -eq 0 ]; then
  source "$root/scripts/packages.sh"
  "$root/scripts/ensure-packages.sh" "${WINDOWS_PACKAGES[@]}"
  echo "== $installer"
  width="$(pe_machine "$installer")"
  [ "$width" = "$arch" ] || fail "the installer is built for $width, its programs for $arch"
  ok "the installer is an $arch program, as its programs are"
  if [ "$arch" = i686 ]; then
    "$root/scripts/kernel-runs-i386.sh" || exit $?
    if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q installed; then
      exec "$root/scripts/wine32-chroot.sh" "$build" bash "$root/scripts/installer-check.sh" --here "$installer"
    fi
  fi
fi

version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
[ -n "$version" ] || fail "no CMAKE_PROJECT_VERSION in $build/CMakeCache.txt"
case "$installer" in
  */trivane-"$version"-windows-$arch.exe) ;;
  *) fail "$installer does not carry the build's version $version" ;;
esac

# A prefix of its own, new each time, headless; winemenubuilder off so that
# the Start-menu entry does not become a menu entry of this machine's desktop.
# No persistent wineserver: the uninstaller copies itself away and returns at
# once, and the end of the server (wineserver -w) is the end of its copy.
work="$build/installer-check"
rm -rf "$work"
mkdir -p "$work"
export WINEPREFIX="$work/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
wineboot -i >"$work/wineboot.log" 2>&1
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >"$work/reg-add.log" 2>&1
timeout 120 wineserver -w

# Wine's programs write to files only: the first one starts Wine's services,
# which inherit its output and would hold a pipe open for good.
run_wine() {  # OUTPUT_FILE PROGRAM ARGS...
  local output="$1"
  shift
  wine "$@" >"$output" 2>&1
}
windows_variable() {
  run_wine "$work/variable.txt" cmd /c echo "%$1%"
  tr -d '\r\n' <"$work/variable.txt"
}
unix_path() {  # through dosdevices/c: to drive_c, as find names it
  run_wine "$work/path.txt" winepath -u "$1"
  realpath -m "$(tr -d '\r\n' <"$work/path.txt")"
}

dir_windows="$(windows_variable LOCALAPPDATA)\\Programs\\Veltora Trivane"
menu_windows="$(windows_variable APPDATA)\\Microsoft\\Windows\\Start Menu\\Programs\\Veltora Trivane"
dir="$(unix_path "$dir_windows")"
menu="$(unix_path "$menu_windows")"
if [ -z "$dir" ] || [ -z "$menu" ]; then fail "Wine gave no paths for %LOCALAPPDATA% and %APPDATA%"; fi
drive_c="$WINEPREFIX/drive_c"
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Veltora Trivane'
product_key='HKCU\Software\Veltora'

# Every path on drive C: whose name has "trivane" in it, to see that the
# installer put nothing where it should not and its uninstaller left nothing.
trivane_paths() {
  find "$drive_c" -iname '*trivane*' -not -path "$drive_c/users/*/Temp/*" | sort
}
expect_listing() {  # WHAT FOLDER NAME...
  local what="$1" folder="$2" listing
  shift 2
  [ -d "$folder" ] || fail "$what: there is no $folder"
  listing="$(cd "$folder" && find . -mindepth 1 | sed 's|^\./||' | sort)"
  [ "$listing" = "$(printf '%s\n' "$@" | sort)" ] ||
    fail "$what: $folder holds"$'\n'"$listing"$'\n'"and should hold only: $*"
}
registry_value() {  # KEY NAME: the value's data, or nothing
  run_wine "$work/reg.txt" reg query "$1" /v "$2" || return 0
  tr -d '\r' <"$work/reg.txt" | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
}
key_exists() {
  run_wine "$work/reg.txt" reg query "$1"
}

install_silently() {  # WHAT
  local status=0
  run_wine "$work/install.log" "$installer" /S || status=$?
  [ "$status" -eq 0 ] || fail "$1: the installer exited with status $status: $(cat "$work/install.log")"
}

check_installed() {  # WHAT EXTRA_FILE...
  local what="$1"
  shift
  expect_listing "$what" "$dir" README.md Uninstall.exe trivane-sim.exe trivane.exe "$@"
  ok "$what: $dir_windows holds trivane.exe, trivane-sim.exe, README.md, Uninstall.exe${*:+ and $*}"
  cmp -s "$dir/README.md" "$root/README.md" || fail "$what: the installed README.md is not the tree's"
  local program
  for program in trivane.exe trivane-sim.exe Uninstall.exe; do
    [ "$(pe_machine "$dir/$program")" = "$arch" ] || fail "$what: the installed $program is no $arch program"
  done

  expect_listing "$what" "$menu" "Veltora Trivane.lnk"
  # A shell link keeps its target's path (in the link info, in the ANSI code
  # page, or as UTF-16 further on): the installed program's full path.
  local target="$dir_windows\\trivane.exe"
  if ! grep -qaF "$target" "$menu/Veltora Trivane.lnk" &&
    ! iconv -f UTF-16LE -t UTF-8 <"$menu/Veltora Trivane.lnk" 2>/dev/null | grep -qaF "$target"; then
    fail "$what: the Start-menu entry does not point at $target"
  fi
  ok "$what: the Start menu's \"Veltora Trivane\" points at $target"

  local unexpected
  unexpected="$(trivane_paths | grep -vxF -e "$dir" -e "$menu" -e "$menu/Veltora Trivane.lnk" \
    -e "$dir/trivane.exe" -e "$dir/trivane-sim.exe" -e "$dir/trivane.ini" || true)"
  [ -z "$unexpected" ] || fail "$what: the installer also made"$'\n'"$unexpected"
  ok "$what: nothing of it anywhere else on drive C: (not for all users, not in Documents)"

  [ "$(registry_value "$uninstall_key" DisplayName)" = "Veltora Trivane" ] ||
    fail "$what: no uninstall entry \"Veltora Trivane\" in $uninstall_key"
  [ "$(registry_value "$uninstall_key" DisplayVersion)" = "$version" ] ||
    fail "$what: the uninstall entry's DisplayVersion is not $version"
  [ "$(registry_value "$uninstall_key" UninstallString)" = "\"$dir_windows\\Uninstall.exe\"" ] ||
    fail "$what: the uninstall entry does not name $dir_windows\\Uninstall.exe"
  if key_exists 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Veltora Trivane'; then
    fail "$what: an uninstall entry in HKLM, where a user's installer may not write"
  fi
  ok "$what: the uninstall entry in HKCU names version $version and the installed Uninstall.exe"
}

uninstall_silently() {  # WHAT
  local status=0
  run_wine "$work/uninstall.log" "$dir_windows\\Uninstall.exe" /S || status=$?
  [ "$status" -eq 0 ] || fail "$1: the uninstaller exited with status $status"
  # Its copy in %TEMP% does the work: done when the last Wine process is.
  timeout 120 wineserver -w || fail "$1: Wine still runs 120 s after the uninstaller started"
}

check_uninstalled() {  # WHAT LEFT_FILE...
  local what="$1"
  shift
  if [ $# -eq 0 ]; then
    [ ! -e "$dir" ] || fail "$what: $dir is still there, holding: $(ls -A "$dir")"
    ok "$what: $dir_windows is gone"
  else
    expect_listing "$what" "$dir" "$@"
    ok "$what: $dir_windows holds only the user's $*"
  fi
  [ ! -e "$menu" ] || fail "$what: the Start-menu folder $menu_windows is still there"
  ok "$what: the Start-menu entry and its folder are gone"
  local left
  left="$(trivane_paths | grep -vxF -e "$dir" -e "$dir/trivane.ini" || true)"
  [ -z "$left" ] || fail "$what: left behind"$'\n'"$left"
  if key_exists "$uninstall_key"; then fail "$what: $uninstall_key is still there"; fi
  if key_exists "$product_key"; then fail "$what: $product_key is still there"; fi
  ok "$what: the uninstall entry and the installer's own key are gone"
}

echo "== a silent install for the current user"
install_silently "install"
check_installed "install"

echo "== the installed program"
run_wine "$work/version.txt" "$dir_windows\\trivane.exe" --version ||
  fail "trivane.exe --version exited with status $?: $(cat "$work/version.txt")"
said="$(tr -d '\r' <"$work/version.txt")"
[ "$said" = "Veltora Trivane (ver.$version)" ] ||
  fail "trivane.exe --version said '$said', not 'Veltora Trivane (ver.$version)'"
ok "$dir_windows\\trivane.exe --version says: $said"

echo "== the uninstaller"
uninstall_silently "uninstall"
check_uninstalled "uninstall"

echo "== installing over an install keeps what the relay wrote; uninstalling leaves it"
install_silently "first install"
# What a relay run beside itself leaves: its settings and a daily file.
user_files=(trivane.ini Log Log/20260105.log)
printf '[Settings]\r\nPID=77\r\n' >"$dir/trivane.ini"
mkdir "$dir/Log"
printf 'a day of region blocks\r\n' >"$dir/Log/20260105.log"
(cd "$dir" && tar -cf "$work/user-files.tar" trivane.ini Log)
same_user_files() {
  (cd "$dir" && tar -df "$work/user-files.tar" >/dev/null 2>&1) || fail "$1: trivane.ini or Log changed"
}
install_silently "install over it"
check_installed "install over it" "${user_files[@]}"
same_user_files "install over it"
ok "install over it: trivane.ini and Log are as the relay left them"
uninstall_silently "uninstall after use"
check_uninstalled "uninstall after use" "${user_files[@]}"
same_user_files "uninstall after use"

wineserver -k >/dev/null 2>&1 || true
trap - EXIT
rm -rf "$work"
echo "installer-check: $installer: every check passed"
