#!/usr/bin/env bash
# Started with the mouse unplugged, the agent still runs its window, and ends
# with exit code 0 on WM_CLOSE. The settings folder is there, as an installer
# leaves it.
source "$(dirname "$0")/../lib.sh"
e2e_start --no-mouse

expect_eq "the mouse is unplugged" "plugged 0" "$(ctl mouse status | head -1)"
[[ -d $(settings_folder) ]] || fail "no settings folder at $(settings_folder)"
ctl wait 1000 || fail "the agent's window is gone"

e2e_stop
