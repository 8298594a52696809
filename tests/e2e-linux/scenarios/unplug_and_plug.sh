#!/usr/bin/env bash
# Unplugging the mouse (its nodes and sysfs entries go) tells the companion UI
# 0x0915 (wParam 0x917) and leaves Device as it was; plugging it in again
# makes the agent read the mouse back through the new nodes (0x0505) and store
# Device 1.
source "$(dirname "$0")/../lib.sh"
e2e_start

expect_eq "Device after the start" 1 "$(settings_value Setting Device)"
start_listen "$QX27_HARNESS_DIR/companion.txt"

# Device events within a second of the last completed read are served by that
# read, so the unplug must come later than that for its reads to reach the
# mouse. (A rule of time in the agent: there is nothing else to wait on.)
sleep 1.5
ctl mouse unplug >/dev/null || fail "unplugging the mouse"
expect_eq "the nodes are gone" "" "$(ls "$QX27_HARNESS_DIR/dev")"
wait_until 10 has_line "$QX27_HARNESS_DIR/companion.txt" "0x0915 0x917 0x0" || fail "the companion UI was not told"
expect_eq "Device keeps its value after the unplug" 1 "$(settings_value Setting Device)"

set_setting Setting Device 7 # a value only a new read can put back to 1
gets_before=$(mouse_log | grep -c '^get answered')
ctl mouse plug >/dev/null || fail "plugging the mouse in"
wait_until 15 has_line "$QX27_HARNESS_DIR/companion.txt" "0x0505 0x0 0x0" || fail "no 0x0505 after the plug"
stop_listening
# Device is stored once the read that posted 0x0505 has returned.
device_stored() { [[ $(settings_value Setting Device) == 1 ]]; }
wait_until 10 device_stored || fail "the plug did not store Device 1"
# A plug's first event may find only some of the nodes; the read that
# succeeded at last is the plug's last two gets.
expect_eq "the plug read both reports" "get answered 03 40 get answered 04 2049" \
  "$(mouse_log | grep '^get answered' | tail -n +$((gets_before + 1)) | tail -2 | tr '\n' ' ' | sed 's/ $//')"

e2e_stop
