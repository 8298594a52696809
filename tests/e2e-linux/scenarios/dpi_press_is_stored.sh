#!/usr/bin/env bash
# A press of the DPI button (input report 02 00 s 00, read from the events
# node): the agent stores s as DPI_Cur of the active profile, and only there.
source "$(dirname "$0")/../lib.sh"
e2e_start

events_open() { [[ $(ctl mouse status | grep events-handles) == "events-handles 1" ]]; }
wait_until 10 events_open || fail "the agent holds no handle on the events interface"
profile1_before="$(settings_value Profile1Setting DPI_Cur)"

ctl mouse dpi 3 || fail "pressing the DPI button"
stored() { [[ $(settings_value Profile0Setting DPI_Cur) == 3 ]]; }
wait_until 10 stored || fail "DPI_Cur of profile 0 was not stored"
expect_eq "DPI_Cur of profile 0" 3 "$(settings_value Profile0Setting DPI_Cur)"
expect_eq "another profile keeps its stage" "$profile1_before" "$(settings_value Profile1Setting DPI_Cur)"

e2e_stop
