#!/usr/bin/env bash
# The apply request with the mouse unplugged: the settings are still reloaded
# and applied to Windows, nothing is set on the mouse, no icon appears, and the
# agent keeps running.
source "$(dirname "$0")/../lib.sh"
e2e_start --no-mouse

expect_eq "start-up without the mouse stores Device 0" 0 "$(settings_value Setting Device)"
expect_eq "no tray icon without the mouse" 0 "$(tray_icons)"
set_setting Profile0Setting DBClick_Speed 3
start_debug "$QX27_HARNESS_DIR/debug.txt"
start_listen "$QX27_HARNESS_DIR/companion.txt"
searches() { mouse_log | grep -c '^list'; }
before=$(searches)
one_more_search() { [[ $(searches) -gt $before ]]; }
ctl apply || fail "posting the apply request"
wait_until 15 one_more_search || fail "the apply request never looked for the mouse"
wait_until 10 has_line "$QX27_HARNESS_DIR/debug.txt" RefreshScrollLine || fail "the pointer settings were not applied"
ctl wait 5000 || fail "the agent is gone after the apply request"
stop_listening

expect_eq "nothing was set on the mouse" "" "$(mouse_sets)"
expect_eq "the searches found nothing" "" "$(mouse_log | grep '^list' | grep -v '^list 0$')"
reg_value() { (eval "$("$harness" env)"; wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r') | awk -v n="$2" '$1 == n { print $3 }'; }
expect_eq "the double-click time still reached the registry (1000 - 80 x 3)" 760 \
  "$(reg_value 'HKCU\Control Panel\Mouse' DoubleClickSpeed)"
expect_eq "the companion UI was told nothing" "" "$(cat "$QX27_HARNESS_DIR/companion.txt")"
expect_eq "Device stays 0" 0 "$(settings_value Setting Device)"
expect_eq "still no tray icon" 0 "$(tray_icons)"

e2e_stop
