#!/usr/bin/env bash
# The device command request (0x0501) makes the agent find the mouse through
# the Windows HID API and set exactly the command report 06 5A 00 00 00 00 00 00.
source "$(dirname "$0")/../lib.sh"
e2e_start

ctl command || fail "posting the device command request"
wait_until 15 mouse_report 6 || fail "no command report reached the mouse"
expect_eq "the mouse stores the command report" "06 5a 00 00 00 00 00 00" "$(mouse_report 6)"
expect_eq "exactly one report was set, and accepted" "accepted 06 5a 00 00 00 00 00 00" "$(mouse_sets)"

e2e_stop
