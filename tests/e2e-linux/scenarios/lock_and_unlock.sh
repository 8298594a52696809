#!/usr/bin/env bash
# logind's signals reach the agent as the Windows session events: the
# session's Lock stores Device 0 and makes the agent ignore device events; its
# Unlock reads the mouse again (0x0505) and stores Device 1. A Lock or Unlock
# that any other connection on the bus sends, even to the agent alone, changes
# nothing. PrepareForSleep(true) stores Device 0 and PrepareForSleep(false)
# reads the mouse again. A bus that goes away leaves the agent working.
source "$(dirname "$0")/../lib.sh"
if ! command -v dbus-daemon >/dev/null; then
  echo "skipped: this system has no dbus-daemon"
  exit 77
fi
e2e_start --logind

companion="$QX27_HARNESS_DIR/companion.txt"
device_is() { [[ $(settings_value Setting Device) == "$1" ]]; }
read_backs_are() { [[ $(grep -cxF "0x0505 0x0 0x0" "$companion") == "$1" ]]; }
expect_eq "Device after the start" 1 "$(settings_value Setting Device)"
start_listen "$companion"

ctl logind lock || fail "sending the lock"
wait_until 10 device_is 0 || fail "the lock did not store Device 0"

log_before=$(mouse_log | wc -l)
ctl devicechange || fail "posting a device change"
# Records of one client after another are handled in order: once the command
# request has reached the mouse, the device event before it has been handled.
ctl command || fail "posting the command request"
wait_until 10 mouse_report 6 || fail "the command request was not handled"
# The stand-in's own lock comes after the forged unlocks on the bus: once it
# has stored Device 0 again, they have been handled too.
set_setting Setting Device 5
ctl logind forge-unlock || fail "forging an unlock"
wait_until 10 device_is 0 || fail "the lock after the forged unlocks did not store Device 0"
expect_eq "neither device events while locked nor forged unlocks read the mouse" "set accepted 06 5a 00 00 00 00 00 00" \
  "$(mouse_log | tail -n +$((log_before + 1)) | tr '\n' ' ' | sed 's/ $//')"
expect_eq "the companion UI heard nothing while locked" "" "$(cat "$companion")"

ctl logind unlock || fail "sending the unlock"
wait_until 10 read_backs_are 1 || fail "the unlock did not read the mouse"
wait_until 10 device_is 1 || fail "the unlock did not store Device 1"

# A resume within a second of the last completed read is served by that read,
# so the wake must come later than that to reach the mouse. (A rule of time in
# the agent: there is nothing else to wait on.)
sleep 1.5
ctl logind sleep || fail "sending the sleep"
wait_until 10 device_is 0 || fail "the sleep did not store Device 0"
ctl logind wake || fail "sending the wake"
wait_until 10 read_backs_are 2 || fail "the wake did not read the mouse"
wait_until 10 device_is 1 || fail "the wake did not store Device 1"
stop_listening
expect_eq "the companion UI heard the unlock's and the wake's reads only" "0x0505 0x0 0x0 0x0505 0x0 0x0" \
  "$(tr '\n' ' ' <"$companion" | sed 's/ $//')"

ctl logind stop-bus || fail "ending the bus"
bus_gone_noted() { grep -q "the system bus has gone" "$QX27_HARNESS_DIR/agent.log"; }
wait_until 10 bus_gone_noted || fail "the agent did not notice the bus going"

e2e_stop
