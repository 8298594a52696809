#!/usr/bin/env bash
# A session lock (WM_WTSSESSION_CHANGE 7) stores Device 0, takes the icon away
# and makes the agent ignore device events; the unlock (8) reads the mouse
# again, stores Device 1, tells the companion UI 0x0505 and shows the icon.
source "$(dirname "$0")/../lib.sh"
e2e_start

one_icon() { [[ $(tray_icons) == 1 ]]; }
no_icon() { [[ $(tray_icons) == 0 ]]; }
device_is() { [[ $(settings_value Setting Device) == "$1" ]]; }
wait_until 10 one_icon || fail "no tray icon with the mouse plugged in"
start_listen "$QX27_HARNESS_DIR/companion.txt"

ctl session 7 || fail "posting the lock"
wait_until 10 device_is 0 || fail "the lock did not store Device 0"
wait_until 10 no_icon || fail "the tray icon stayed after the lock"

log_before=$(mouse_log | wc -l)
ctl mouse unplug >/dev/null || fail "unplugging the mouse"
ctl mouse plug >/dev/null || fail "plugging the mouse in"
ctl devicechange || fail "posting a device change"
# The lock's own work is done; a command request after the device events
# proves they were handled, and its set is all the mouse may see.
ctl command || fail "posting the command request"
wait_until 10 mouse_report 6 || fail "the command request was not handled"
expect_eq "device events while locked neither search nor read" "list 5 set accepted 06 5a 00 00 00 00 00 00" \
  "$(mouse_log | tail -n +$((log_before + 1)) | tr '\n' ' ' | sed 's/ $//')"
expect_eq "Device stays 0 while locked" 0 "$(settings_value Setting Device)"

ctl session 8 || fail "posting the unlock"
wait_until 10 has_line "$QX27_HARNESS_DIR/companion.txt" "0x0505 0x0 0x0" || fail "the unlock did not read the mouse"
wait_until 10 device_is 1 || fail "the unlock did not store Device 1"
wait_until 10 one_icon || fail "the tray icon did not come back"
stop_listening
expect_eq "the companion UI heard only the unlock's read" "0x0505 0x0 0x0" \
  "$(tr '\n' ' ' <"$QX27_HARNESS_DIR/companion.txt" | sed 's/ $//')"

e2e_stop
