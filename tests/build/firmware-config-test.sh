#!/usr/bin/env bash
# The build's checks of the firmware image: a release configuration refuses to be made without
# the real image, and an image that is empty or not a whole number of 4-byte words is refused
# with a message that says so.
#   firmware-config-test.sh SOURCE_DIR
set -uo pipefail
source_dir="$1"
work="$(mktemp -d "${TMPDIR:-/tmp}/firmware-config-XXXXXX")"
trap 'rm -rf "$work"' EXIT
failures=0

# configure NAME EXPECTED_STATUS PATTERN [CMAKE ARGS...]
configure() {
  local name="$1" expected="$2" pattern="$3"
  shift 3
  local output status
  output="$(cmake -S "$source_dir" -B "$work/$name" "$@" 2>&1)"
  status=$?
  if [[ "$expected" == fails && $status -eq 0 ]] || [[ "$expected" == works && $status -ne 0 ]]; then
    echo "FAIL $name: configure exit status $status"
    echo "$output" | tail -5
    failures=$((failures + 1))
  elif ! tr -s "\n " "  " <<<"$output" | grep -q -- "$pattern"; then
    echo "FAIL $name: no message matching '$pattern'"
    echo "$output" | tail -5
    failures=$((failures + 1))
  else
    echo "ok   $name"
  fi
}

head -c 90222 /dev/zero >"$work/odd.bin"
: >"$work/empty.bin"
head -c 96 /dev/zero >"$work/good.bin"

configure release-without-image fails "needs the real firmware image" --preset release
configure odd-length-image fails "not a multiple of 4" -DUPDATER_FIRMWARE_IMAGE="$work/odd.bin"
configure empty-image fails "is empty" -DUPDATER_FIRMWARE_IMAGE="$work/empty.bin"
configure missing-image fails "not found" -DUPDATER_FIRMWARE_IMAGE="$work/none.bin"
configure release-with-image works "96 bytes" --preset release -DUPDATER_FIRMWARE_IMAGE="$work/good.bin"
configure placeholder works "placeholder that is no firmware"

echo "$((6 - failures)) passed, $failures failed"
[[ $failures -eq 0 ]]
