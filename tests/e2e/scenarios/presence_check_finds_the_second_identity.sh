#!/usr/bin/env bash
# The presence check (WM_TIMER 100002) asks Idwatch.dll, loaded from the
# agent's folder, about vendor 0x1B80 and product 0xB412. With a mouse of that
# identity present it stores Device 1 and shows the icon again; other timer
# identifiers do nothing.
source "$(dirname "$0")/../lib.sh"
e2e_start --second-identity

one_icon() { [[ $(tray_icons) == 1 ]]; }
no_icon() { [[ $(tray_icons) == 0 ]]; }
device_is() { [[ $(settings_value Setting Device) == "$1" ]]; }
wait_until 10 one_icon || fail "the agent did not take the second identity for the mouse"

ctl menu 6002 || fail "posting menu command 6002"
wait_until 10 no_icon || fail "menu command 6002 left the icon"
set_setting Setting Device 5 # only a check writes it back

ctl timer 100001 || fail "posting another timer"
ctl command || fail "posting the command request"
wait_until 10 mouse_report 6 || fail "the messages were not handled"
expect_eq "another timer neither probes nor writes" "5 0" \
  "$(settings_value Setting Device) $(mouse_log | grep -c '^devices')"

ctl timer 100002 || fail "posting the presence check"
wait_until 10 device_is 1 || fail "the presence check did not store Device 1"
wait_until 10 one_icon || fail "the presence check did not show the icon"
expect_eq "the probe listed the present devices once" "devices 6" "$(mouse_log | grep '^devices')"

e2e_stop
