#!/usr/bin/env bash
# Fuzzes every target for SECONDS each (default 60), one after the other.
# Each starts from a scratch copy of its committed corpus, so fuzzing never
# writes into fuzz/corpus/. Reproducers of findings are kept in
# build-fuzz/findings/<target>/. Exits non-zero on any finding.
#   FUZZ_TARGETS="fuzz_vl3 fuzz_vl2" fuzz/run.sh 600   # only some targets
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-60}"
build="${TRIVANE_FUZZ_BUILD_DIR:-$root/build-fuzz}"
"$root/fuzz/build.sh" >/dev/null

targets=()
if [ -n "${FUZZ_TARGETS:-}" ]; then
  read -r -a targets <<<"$FUZZ_TARGETS"
else
  for source in "$root"/fuzz/fuzz_*.cpp; do targets+=("$(basename "$source" .cpp)"); done
fi

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
failed=0
for target in "${targets[@]}"; do
  findings="$build/findings/$target"
  rm -rf "$findings"
  mkdir -p "$findings"
  cp -r "$root/fuzz/corpus/$target" "$scratch/$target"
  log="$build/findings/$target.log"
  status=0
  "$build/fuzz/$target" "$scratch/$target" -max_len=9000 -max_total_time="$seconds" \
    -timeout=25 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$findings/" \
    >"$log" 2>&1 || status=$?
  executions="$(awk '/stat::number_of_executed_units/ {print $2}' "$log" | tail -n 1)"
  # A sanitizer report counts even if the process somehow exited cleanly.
  if [ "$status" -eq 0 ] && ! grep -qE '^SUMMARY: |runtime error:|invariant violated' "$log"; then
    result="ok"
  else
    result="FINDING (exit $status; log $log; reproducer in $findings/)"
    failed=1
  fi
  printf '%-18s %12s executions  %s\n' "$target" "${executions:-?}" "$result"
done
exit "$failed"
