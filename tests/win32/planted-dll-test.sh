#!/usr/bin/env bash
# Plants fake system DLLs next to a Windows executable and runs it under Wine: the executable
# must succeed and none of the fakes may have been loaded.
#   planted-dll-test.sh FAKE_DLL EXE DLL_NAME... -- [ARGS...]
set -euo pipefail
fake="$1"; exe="$2"; shift 2
names=()
while [[ $# -gt 0 && "$1" != "--" ]]; do names+=("$1"); shift; done
[[ $# -gt 0 ]] && shift
here="$(cd "$(dirname "$0")" && pwd)"
dir="$(mktemp -d "${TMPDIR:-/tmp}/planted-XXXXXX")"
trap 'rm -rf "$dir"' EXIT
cp "$exe" "$dir/"
for name in "${names[@]}"; do cp "$fake" "$dir/$name"; done
status=0
"$here/../../tools/wine-run" "$dir/$(basename "$exe")" "$@" || status=$?
loaded=$(ls "$dir" | grep '\.loaded$' || true)
if [[ -n "$loaded" ]]; then
  echo "planted DLL loaded: $loaded"
  exit 1
fi
[[ $status -eq 0 ]] || { echo "executable failed with exit code $status"; exit 1; }
echo "planted DLLs not loaded: ${names[*]}"
