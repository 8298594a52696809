#!/usr/bin/env bash
# A press of the DPI button (input report 02 00 s 00): the agent writes the
# report's debug line, stores s as DPI_Cur of the active profile and posts
# 0x0506 with wParam Active and lParam s - 1 to the companion UI.
source "$(dirname "$0")/../lib.sh"
e2e_start

events_open() { [[ $(ctl mouse status | grep events-handles) == "events-handles 1" ]]; }
wait_until 10 events_open || fail "the agent holds no handle on the events interface"
start_listen "$QX27_HARNESS_DIR/companion.txt"
start_debug "$QX27_HARNESS_DIR/debug.txt"

ctl mouse dpi 3 || fail "pressing the DPI button"
wait_until 10 has_line "$QX27_HARNESS_DIR/companion.txt" "0x0506 0x0 0x2" || fail "no 0x0506 reached the companion UI"
expect_eq "the debug line of the input report" "4: 02 00 03 00 00 00 00 00" \
  "$(grep -x '[0-9]*: .*' "$QX27_HARNESS_DIR/debug.txt")"
expect_eq "DPI_Cur of profile 0 is stored" 3 "$(settings_value Profile0Setting DPI_Cur)"

# With profile 2 active, wParam names it and only its section changes.
set_setting Setting Active 2
buttons_before=$(mouse_log | grep -c '^set accepted 04')
upload_done() { [[ $(mouse_log | grep -c '^set accepted 04') -gt $buttons_before ]]; }
ctl apply || fail "posting the apply request"
wait_until 15 upload_done || fail "the apply request was not handled"
# The upload's searches reopen the events handle; the system drops input
# that comes while no handle is open.
wait_until 10 events_open || fail "no handle on the events interface after the apply"
ctl mouse dpi 1 || fail "pressing the DPI button again"
wait_until 10 has_line "$QX27_HARNESS_DIR/companion.txt" "0x0506 0x2 0x0" || fail "no 0x0506 for profile 2"
stop_listening
expect_eq "DPI_Cur of profile 2 is stored" 1 "$(settings_value Profile2Setting DPI_Cur)"
expect_eq "profile 0 keeps its stage" 3 "$(settings_value Profile0Setting DPI_Cur)"
expect_eq "exactly two messages reached the companion UI" "0x0506 0x0 0x2 0x0506 0x2 0x0" \
  "$(tr '\n' ' ' <"$QX27_HARNESS_DIR/companion.txt" | sed 's/ $//')"
set_setting Setting Active 0

e2e_stop
