#!/usr/bin/env bash
# Checks that a product executable links no stand-in for the unit: nothing of the simulated bench
# (sim::), of the replay (replay::) or of the demos (demo::), only its real HID backend, whose
# class must be there (so that a table without symbols cannot pass).
#   no-stand-ins-test.sh NM EXE BACKEND-CLASS
set -euo pipefail
nm="$1"
exe="$2"
backend="$3"
symbols="$("$nm" -C "$exe")"
failures=0
if grep -q "$backend" <<<"$symbols"; then
  echo "ok   $backend linked"
else
  echo "FAIL $backend not among the symbols of $exe"
  failures=$((failures + 1))
fi
stand_ins="$(grep -E ' (sim|replay|demo)::' <<<"$symbols" || true)"
if [[ -z "$stand_ins" ]]; then
  echo "ok   no sim::, replay:: or demo:: symbol"
else
  echo "FAIL stand-ins linked into $exe:"
  head -5 <<<"$stand_ins"
  failures=$((failures + 1))
fi
[[ $failures -eq 0 ]]
