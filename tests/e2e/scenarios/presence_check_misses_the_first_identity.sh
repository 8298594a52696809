#!/usr/bin/env bash
# The presence check asks only about the second identity (0x1B80/0xB412): with
# the usual mouse (0x3938/0x1101) plugged in it stores Device 0 and removes
# the icon; with nothing plugged in the same.
source "$(dirname "$0")/../lib.sh"
e2e_start

one_icon() { [[ $(tray_icons) == 1 ]]; }
no_icon() { [[ $(tray_icons) == 0 ]]; }
device_is() { [[ $(settings_value Setting Device) == "$1" ]]; }
wait_until 10 one_icon || fail "no tray icon with the mouse plugged in"

ctl timer 100002 || fail "posting the presence check"
wait_until 10 device_is 0 || fail "the presence check did not store Device 0"
wait_until 10 no_icon || fail "the presence check left the icon"
expect_eq "the probe listed the mouse's USB device and its collections" "devices 6" "$(mouse_log | grep '^devices')"

ctl mouse unplug >/dev/null || fail "unplugging the mouse"
set_setting Setting Device 9
ctl timer 100002 || fail "posting the presence check"
wait_until 10 device_is 0 || fail "the presence check without a mouse did not store Device 0"
expect_eq "the second probe found nothing to list" "devices 6 devices 0" \
  "$(mouse_log | grep '^devices' | tr '\n' ' ' | sed 's/ $//')"
expect_eq "still no icon" 0 "$(tray_icons)"

e2e_stop
