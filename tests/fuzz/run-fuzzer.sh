#!/usr/bin/env bash
# Runs one fuzz target for a bounded time, starting from the committed seeds; what it finds on
# the way goes to a scratch folder, never into the repository.
#   run-fuzzer.sh TARGET SEED_DIR SECONDS
set -euo pipefail
target="$1"; seeds="$2"; seconds="$3"
scratch="$(mktemp -d "${TMPDIR:-/tmp}/fuzz-XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/corpus" "$scratch/artifacts"
"$target" -max_total_time="$seconds" -print_final_stats=0 -artifact_prefix="$scratch/artifacts/" \
  "$scratch/corpus" "$seeds" 2>"$scratch/log" || {
  tail -40 "$scratch/log"
  echo "fuzzing found a crash: $(ls "$scratch/artifacts")"
  exit 1
}
grep -E '^(#[0-9]+ +DONE|Done [0-9]+ runs)' "$scratch/log" | tail -1 || true
echo "$(basename "$target"): no finding in ${seconds}s"
