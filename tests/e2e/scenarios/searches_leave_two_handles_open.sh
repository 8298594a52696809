#!/usr/bin/env bash
# However many searches the agent makes, it keeps exactly two handles open on
# the mouse: the feature interface of the last search and the events interface.
source "$(dirname "$0")/../lib.sh"
e2e_start

three_sets() { [[ $(mouse_sets | wc -l) -eq 3 ]]; }
two_handles() { [[ $(ctl mouse status | tr '\n' ' ') == "plugged 1 handles 2 events-handles 1 " ]]; }

for _ in 1 2 3; do ctl command || fail "posting the device command request"; done
wait_until 20 three_sets || fail "three requests did not set three reports: $(mouse_sets | wc -l)"
wait_until 10 two_handles || fail "handles open on the mouse: $(ctl mouse status | tr '\n' ' ')"
expect_eq "handles open on the mouse" "plugged 1 handles 2 events-handles 1 " "$(ctl mouse status | tr '\n' ' ')"

e2e_stop
