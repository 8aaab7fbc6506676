#!/usr/bin/env bash
# What tools/release refuses, each time with a message that says why and nothing written to
# dist/: a tree with uncommitted changes (a changed file, a new file), an image that the build
# refuses, a signing key that is not there, and a time-stamp or a test certificate without a
# signature.
#   release-refusals-test.sh SOURCE_DIR
set -uo pipefail
source_dir="$1"
. "$(dirname "$0")/release-checkout.sh"
work="$(mktemp -d "${TMPDIR:-/tmp}/release-refusals-XXXXXX")"
trap 'rm -rf "$work"' EXIT
tree="$work/checkout"
checkout "$source_dir" "$tree" || { echo "FAIL cannot copy the tree to $tree"; exit 1; }

# refused NAME PATTERN [RELEASE ARGS...]
refused() {
  local name="$1" pattern="$2"
  shift 2
  local output status
  output="$("$tree/tools/release" "$@" 2>&1)"
  status=$?
  if [[ $status -eq 0 ]]; then
    result FAIL "$name" "not refused"
  elif ! tr -s "\n " "  " <<<"$output" | grep -q -- "$pattern"; then
    result FAIL "$name" "no message matching '$pattern'"
    echo "$output" | tail -5
  elif [[ -e "$tree/dist" || -e "$tree/dist.new" ]]; then
    result FAIL "$name" "refused, but wrote $(ls -d "$tree"/dist*)"
  else
    result ok "$name"
  fi
}

head -c 96 /dev/zero >"$work/good.bin"
head -c 90222 /dev/zero >"$work/odd.bin"
: >"$work/empty.bin"
: >"$work/certificate.pem"

echo "changed" >>"$tree/README.md"
refused changed-file "uncommitted changes" --image "$work/good.bin"
git -C "$tree" checkout -q README.md
touch "$tree/src/new_file.cpp"
refused new-file "uncommitted changes" --image "$work/good.bin"
rm "$tree/src/new_file.cpp"

refused odd-length-image "the build refused the image: .* not a multiple of 4" \
  --image "$work/odd.bin"
refused empty-image "is empty" --image "$work/empty.bin"
refused missing-image "not found" --image "$work/none.bin"
refused missing-key "no private key file" \
  --image "$work/good.bin" --sign "$work/certificate.pem" "$work/none.pem"
refused timestamp-without-signature "usage: tools/release" \
  --image "$work/good.bin" --timestamp http://127.0.0.1:1/
refused test-certificate-without-signature "usage: tools/release" \
  --image "$work/good.bin" --test-certificate

echo "$passes passed, $failures failed"
[[ $failures -eq 0 ]]
