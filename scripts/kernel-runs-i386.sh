#!/usr/bin/env bash
# Whether this machine's kernel runs i386 code, which the 32-bit Windows
# programs need under Wine (wine32:i386 and the i386 chroot alike). Some
# kernels are built without it, and there debootstrap --arch=i386 stops with
# "Unable to execute target architecture".
#
#   scripts/kernel-runs-i386.sh || exit $?
#
# Exit status 0: it does. 77: it does not, and the line that says so is
# printed for the caller's log. 1: no answer could be had, which is a fault
# like any other, never a skip. The answer is arch-test's (Debian's arch-test
# package, among the Windows packages), with emulators such as a registered
# qemu-user left out: Wine under one would not be the same test.
set -euo pipefail

if ! command -v arch-test >/dev/null; then
  echo "kernel-runs-i386: arch-test is missing (apt-get install arch-test)" >&2
  exit 1
fi
status=0
answer="$(arch-test -n i386 2>&1)" || status=$?
case "$status" in
  0) exit 0 ;;
  1)
    echo "SKIPPED: this machine's kernel cannot run 32-bit code"
    echo "(arch-test: $answer)" >&2
    exit 77
    ;;
  *)
    echo "kernel-runs-i386: arch-test could not tell (status $status): $answer" >&2
    exit 1
    ;;
esac
