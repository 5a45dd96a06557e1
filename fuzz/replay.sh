#!/usr/bin/env bash
# Builds the fuzz targets and runs each once over every file of its committed
# corpus, without fuzzing: a quick check that no known input fails.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TRIVANE_FUZZ_BUILD_DIR:-$root/build-fuzz}"
"$root/fuzz/build.sh"

for source in "$root"/fuzz/fuzz_*.cpp; do
  target="$(basename "$source" .cpp)"
  inputs=("$root/fuzz/corpus/$target"/*)
  if ! "$build/fuzz/$target" "${inputs[@]}" >"$build/$target.replay.log" 2>&1; then
    cat "$build/$target.replay.log" >&2
    echo "$target: FAILED on its corpus" >&2
    exit 1
  fi
  echo "$target: ${#inputs[@]} inputs ok"
done
