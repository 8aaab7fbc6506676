#!/usr/bin/env bash
# tools/virtual-unit in a fresh prefix (run as wine-run's set-up, which makes and throws away the
# prefix): each command's exit code and what SetupAPI then lists; the commands that cannot work
# fail with a message; a server that dies unplugs its unit. Then install into a prefix that
# `wineboot -i` has just made, as a user's prefix often is.
#
#   tool-test.sh BUILD_DIR
set -uo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
export UPDATER_BUILD_DIR="$1"
tool="$root/tools/virtual-unit"
control="$UPDATER_BUILD_DIR/virtual-unit/vunit-control.exe"
transcript="$(mktemp "${TMPDIR:-/tmp}/vunit-tool-XXXXXX.txt")"
trap 'rm -f "$transcript"' EXIT
failures=0

check() {  # check DESCRIPTION EXPECTED_STATUS COMMAND...: the status, and a message on failure
  local description="$1" expected="$2" output status
  shift 2
  output="$("$@" 2>&1)"
  status=$?
  if [[ "$expected" == 0 && $status -ne 0 ]] || [[ "$expected" != 0 && $status -eq 0 ]]; then
    echo "FAILED: $description (exit $status): $output"
    failures=$((failures + 1))
  elif [[ "$expected" != 0 && -z "$output" ]]; then
    echo "FAILED: $description fails without a message"
    failures=$((failures + 1))
  else
    echo "ok: $description"
  fi
}

says() {  # says TEXT COMMAND...: the command fails, and its message holds TEXT
  local text="$1" output
  shift
  output="$("$@" 2>&1)" && return 1
  [[ "$output" == *"$text"* ]] || { echo "$output"; return 1; }
}

listed() { wine "$control" wait-listed 0 >/dev/null 2>&1; }
not_listed() { ! listed; }

check "stop with no server" 1 "$tool" stop
check "unplug with no server" 1 "$tool" unplug
check "install" 0 "$tool" install
check "install again" 0 "$tool" install
check "no server, nothing listed" 0 not_listed
check "serve an unknown bench" 1 "$tool" serve --bench no-such-word
check "serve a LINKWAVE" 0 "$tool" serve --bench linkwave --transcript "$transcript"
check "the unit listed" 0 listed
check "a second server" 1 wine "$UPDATER_BUILD_DIR/virtual-unit/vunit-server.exe"
check "unplug" 0 "$tool" unplug
check "unplugged, nothing listed" 0 not_listed
check "plug" 0 "$tool" plug
check "plugged, listed" 0 listed
check "stop" 0 "$tool" stop
check "stopped, nothing listed" 0 not_listed
check "plug after the stop" 1 "$tool" plug

# A server that ends without being told: its handle's closing unplugs the unit.
check "serve again" 0 "$tool" serve
kill "$(cat "$WINEPREFIX/virtual-unit-server.pid")"
check "the killed server's unit goes" 0 wine "$control" wait-gone 30
check "serve unplugged" 0 "$tool" serve --bench unplugged
check "served unplugged, nothing listed" 0 not_listed
check "stop the unplugged unit" 0 "$tool" stop
check "no WINEPREFIX" 1 env -u WINEPREFIX "$tool" install

# A prefix made by `wineboot -i` just before runs two service managers until its session ends:
# install waits (bounded) for that while a program keeps the session, says what to do, and
# installs once the session may end.
made="$(mktemp -d "${TMPDIR:-/tmp}/vunit-tool-prefix-XXXXXX")"
trap 'rm -f "$transcript"; WINEPREFIX="$made" timeout 20 wineserver -k; rm -rf "$made"' EXIT
export WINEPREFIX="$made"
timeout 300 wineboot -i >/dev/null 2>&1
timeout 120 wine "$control" wait-listed 100 >/dev/null 2>&1 &  # a program that keeps the session
holder=$!
check "install while a program keeps the new prefix's session says what to do" 0 \
  says "wineserver -k" "$tool" install
kill "$holder"
wait "$holder"
check "install once the program has ended" 0 "$tool" install
check "serve in the new prefix" 0 "$tool" serve
check "the new prefix lists the unit" 0 listed
check "stop in the new prefix" 0 "$tool" stop

[[ $failures -eq 0 ]] && echo "tools/virtual-unit: all checks passed"
exit $((failures != 0))
