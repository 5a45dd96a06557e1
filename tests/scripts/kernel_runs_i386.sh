#!/usr/bin/env bash
# scripts/kernel-runs-i386.sh against an arch-test of our own on PATH: the
# 32-bit tests are skipped on its "no" alone, with the exact line CI's log
# shows, and neither an arch-test that cannot tell nor a missing one is
# taken for a "no".
#
#   kernel_runs_i386.sh SCRIPT
set -uo pipefail
script="${1:?scripts/kernel-runs-i386.sh}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0

# An arch-test that gives the answer asked for and notes its arguments.
fake_arch_test() {
  local status="$1" message="$2"
  mkdir -p "$work/bin"
  cat >"$work/bin/arch-test" <<FAKE
#!/bin/sh
echo "\$*" >>"$work/asked"
echo "$message"
exit $status
FAKE
  chmod +x "$work/bin/arch-test"
}

# Runs the script with PATH given; sets out and status.
run() {
  : >"$work/asked"
  status=0
  out="$(PATH="$1" bash "$script" 2>"$work/err")" || status=$?
}

expect() {
  local name="$1" want_status="$2" want_out="$3"
  if [ "$status" -ne "$want_status" ] || [ "$out" != "$want_out" ]; then
    echo "FAIL: $name: status $status, stdout '$out' (wanted $want_status, '$want_out')"
    sed 's/^/  stderr: /' "$work/err"
    failures=$((failures + 1))
  else
    echo "ok: $name"
  fi
}

fake_arch_test 1 "i386: not supported on this machine/kernel"
run "$work/bin:$PATH"
expect "a kernel without i386 skips with the exact line" 77 \
  "SKIPPED: this machine's kernel cannot run 32-bit code"
if ! grep -qw i386 "$work/asked"; then
  echo "FAIL: arch-test was not asked about i386: '$(cat "$work/asked")'"
  failures=$((failures + 1))
fi

fake_arch_test 0 "i386: ok"
run "$work/bin:$PATH"
expect "a kernel with i386 runs the tests" 0 ""

fake_arch_test 2 "i386: cannot check, no helper"
run "$work/bin:$PATH"
expect "an arch-test that cannot tell fails rather than skips" 1 ""

# No arch-test at all: a PATH with the shell and nothing else.
mkdir -p "$work/bare"
ln -s "$(command -v bash)" "$work/bare/bash"
run "$work/bare"
expect "a missing arch-test fails rather than skips" 1 ""

[ "$failures" -eq 0 ]
