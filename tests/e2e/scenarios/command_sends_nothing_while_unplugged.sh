#!/usr/bin/env bash
# With the mouse unplugged the device command request finds no mouse and sends
# nothing; once the mouse is plugged in again, the next request reaches it.
source "$(dirname "$0")/../lib.sh"
e2e_start

empty_searches() { mouse_log | grep -cx 'list 0'; }
one_more_empty_search() { [[ $(empty_searches) -gt $before ]]; }

# The answer to unplug comes once the agent has handled its notifications.
ctl mouse unplug >/dev/null || fail "unplugging the mouse"
before=$(empty_searches)
ctl command || fail "posting the device command request"
# The request's own search, finding nothing, is the sign that it was handled.
wait_until 15 one_more_empty_search || fail "the agent never searched for the mouse"
expect_eq "nothing was set while unplugged" "" "$(mouse_sets)"

ctl mouse plug >/dev/null || fail "plugging the mouse"
ctl command || fail "posting the device command request"
wait_until 15 mouse_report 6 || fail "no command report reached the mouse after plugging it in"
expect_eq "only the request after plugging in set a report" "accepted 06 5a 00 00 00 00 00 00" "$(mouse_sets)"

e2e_stop
