#!/usr/bin/env bash
# When the shell restarts it has forgotten every notification icon and
# broadcasts its registered message "TaskbarCreated"; the agent, whose icon is
# meant to be shown, adds it again. Here another program makes the shell
# forget the icon (NIM_DELETE with the agent's window and icon 128), then
# broadcasts the message.
source "$(dirname "$0")/../lib.sh"
e2e_start

one_icon() { [[ $(tray_icons) == 1 ]]; }
no_icon() { [[ $(tray_icons) == 0 ]]; }
wait_until 10 one_icon || fail "no tray icon with the mouse plugged in"

desk forget-icon "VORN ELDAN QX27_Hid" 128 || fail "the shell did not delete the agent's icon"
wait_until 10 no_icon || fail "the icon is still shown after the shell forgot it"
desk taskbar-created || fail "broadcasting TaskbarCreated"
wait_until 10 one_icon || fail "the icon did not come back after TaskbarCreated"
ctl wait 5000 || fail "the agent is gone"

# Hidden by the user, it stays hidden when the shell restarts.
ctl menu 6002 || fail "posting menu command 6002"
wait_until 10 no_icon || fail "menu command 6002 left the icon"
desk taskbar-created || fail "broadcasting TaskbarCreated"
# Posted messages are handled in order: once the command report has reached
# the mouse, the broadcast before it has been handled too.
ctl command || fail "posting the command request"
wait_until 10 mouse_report 6 || fail "the command request was not handled"
if wait_until 3 one_icon; then fail "the hidden icon came back after TaskbarCreated"; fi

e2e_stop
