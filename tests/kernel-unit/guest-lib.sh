# Shell functions for the jobs that tools/kernel-unit runs inside the guest (busybox sh). The
# guest has no udev: the hidraw nodes are devtmpfs's own, root's alone.
#
#   unit_start [--usb] [--bench WORDS] [--transcript FILE]
#       starts a unit server (tests/kernel-unit/unit_server.cpp) in the background, sets UNIT_PID
#       and, when its units start plugged in, waits until their hidraw nodes are there
#   unit_node [PID]     the hidraw node of that server's first unit (default: UNIT_PID)
#   unit_plug [PID] / unit_unplug [PID]
#                       plugs the server's units in / pulls them out, and waits for the node
#   unit_stop [PID]     ends the server, which writes its transcript
#   program ARGS...     runs terval-updater-cli-test-image as root
#   program_as_user ARGS...
#                       the same as the unprivileged user nobody
#   wait_for FILE TEXT SECONDS
#                       waits until FILE holds TEXT; false when the time runs out

PROGRAM=/usr/bin/terval-updater-cli-test-image
export HOME=/root

# A step of the set-up that fails ends the job: its runs cannot be judged.
setup_failed() {
  echo "$*" >> /results/setup-errors
  exit 125
}

# Waits (tenths of a second) until the command succeeds; false when the time runs out.
wait_until() {
  local tenths=$1
  shift
  while ! "$@"; do
    [ "$tenths" -gt 0 ] || return 1
    tenths=$((tenths - 1))
    usleep 100000
  done
}

# The hidraw node whose HID device the server with this pid presents (UHID: by its physical
# path); for the gadget, the node on the USB bus.
unit_node() {
  local pid=${1:-$UNIT_PID} entry
  for entry in /sys/class/hidraw/hidraw*; do
    [ -e "$entry" ] || continue
    if grep -q -e "^HID_PHYS=kernel-unit/$pid/" -e "^HID_PHYS=usb-dummy_hcd" \
        "$entry/device/uevent" 2>/dev/null; then
      echo "/dev/${entry##*/}"
      return 0
    fi
  done
  return 1
}

has_node() { [ -n "$(unit_node "$1")" ] && [ -e "$(unit_node "$1")" ]; }
has_no_node() { ! has_node "$1"; }

unit_start() {
  local log=/tmp/unit-server.$$.$RANDOM
  kernel-unit-server --image-size "$IMAGE_SIZE" "$@" > "$log" 2>&1 &
  UNIT_PID=$!
  wait_until 50 grep -q '^ready$' "$log" || setup_failed "the unit server did not start: $(cat "$log")"
  case " $* " in
    *" unplugged"*) ;;
    *) wait_until 100 has_node "$UNIT_PID" || setup_failed "no hidraw node for the unit" ;;
  esac
}

unit_plug() {
  local pid=${1:-$UNIT_PID}
  kill -USR1 "$pid"
  wait_until 100 has_node "$pid" || setup_failed "no hidraw node once the unit was plugged in"
}

unit_unplug() {
  local pid=${1:-$UNIT_PID}
  kill -USR2 "$pid"
  wait_until 100 has_no_node "$pid" || setup_failed "the hidraw node stayed after the unplug"
}

unit_stop() {
  local pid=${1:-$UNIT_PID}
  kill -TERM "$pid"
  wait "$pid"
}

program() { "$PROGRAM" "$@"; }

program_as_user() { su -s /bin/sh nobody -c "$(quote "$PROGRAM" "$@")"; }

# The arguments as one line of shell words.
quote() {
  local word line=
  for word in "$@"; do
    line="$line '$(printf '%s' "$word" | sed "s/'/'\\\\''/g")'"
  done
  echo "$line"
}

wait_for() {
  wait_until $(($3 * 10)) grep -q -- "$2" "$1"
}
