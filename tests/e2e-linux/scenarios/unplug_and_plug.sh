#!/usr/bin/env bash
# Unplugging the mouse (its nodes and sysfs entries go) leaves Device as it
# was; plugging it in again makes the agent read the mouse back through the
# new nodes and store Device 1.
source "$(dirname "$0")/../lib.sh"
e2e_start

expect_eq "Device after the start" 1 "$(settings_value Setting Device)"
events_open() { [[ $(ctl mouse status | grep events-handles) == "events-handles 1" ]]; }
wait_until 10 events_open || fail "the agent holds no handle on the events interface"

ctl mouse unplug >/dev/null || fail "unplugging the mouse"
expect_eq "the nodes are gone" "" "$(ls "$QX27_HARNESS_DIR/dev")"
expect_eq "Device keeps its value after the unplug" 1 "$(settings_value Setting Device)"

set_setting Setting Device 7 # a value only a new read can put back to 1
gets_before=$(mouse_log | grep -c '^get answered')
ctl mouse plug >/dev/null || fail "plugging the mouse in"
device_stored() { [[ $(settings_value Setting Device) == 1 ]]; }
wait_until 15 device_stored || fail "the plug did not store Device 1"
read_back() { mouse_log | grep '^get answered' | tail -n +$((gets_before + 1)) | grep -q '^get answered 04 2049$'; }
wait_until 10 read_back || fail "the plug did not read the mouse back"
expect_eq "the plug read both reports" "get answered 03 40 get answered 04 2049" \
  "$(mouse_log | grep '^get answered' | tail -n +$((gets_before + 1)) | tr '\n' ' ' | sed 's/ $//')"
wait_until 10 events_open || fail "the agent did not reopen the events node after the plug"

e2e_stop
