#!/usr/bin/env bash
# Unplugging the mouse tells the companion UI 0x0915 (wParam 0x917) and takes
# the tray icon away, while Device keeps 1; plugging it in reads the mouse
# again (0x0505), stores Device 1 and shows the icon.
source "$(dirname "$0")/../lib.sh"
e2e_start

one_icon() { [[ $(tray_icons) == 1 ]]; }
no_icon() { [[ $(tray_icons) == 0 ]]; }
wait_until 10 one_icon || fail "no tray icon with the mouse plugged in"
start_listen "$QX27_HARNESS_DIR/companion.txt"

# Device events within a second of the last read are served by that read, so
# the unplug must come later than that for its reads to reach the mouse.
sleep 1.5
ctl mouse unplug >/dev/null || fail "unplugging the mouse"
wait_until 10 has_line "$QX27_HARNESS_DIR/companion.txt" "0x0915 0x917 0x0" || fail "the companion UI was not told"
wait_until 10 no_icon || fail "the tray icon stayed after the unplug"
expect_eq "Device keeps its value after the unplug" 1 "$(settings_value Setting Device)"

set_setting Setting Device 7 # a value only a new read can put back to 1
gets_before=$(mouse_log | grep -c '^get answered')
ctl mouse plug >/dev/null || fail "plugging the mouse in"
wait_until 10 has_line "$QX27_HARNESS_DIR/companion.txt" "0x0505 0x0 0x0" || fail "no 0x0505 after the plug"
wait_until 10 one_icon || fail "the tray icon did not come back"
stop_listening
expect_eq "the plug stored Device 1" 1 "$(settings_value Setting Device)"
expect_eq "the plug read both reports" "get answered 03 40 get answered 04 2049" \
  "$(mouse_log | grep '^get answered' | tail -n +$((gets_before + 1)) | tr '\n' ' ' | sed 's/ $//')"
expect_eq "every read after the unplug failed and was told once per notification" 5 \
  "$(grep -cx '0x0915 0x917 0x0' "$QX27_HARNESS_DIR/companion.txt")"

e2e_stop
