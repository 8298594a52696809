#!/usr/bin/env bash
# A second agent in the same session ends at once with exit code 0, touching
# neither the mouse nor the settings file; the first keeps running with its
# one window and one tray icon.
source "$(dirname "$0")/../lib.sh"
e2e_start

one_icon() { [[ $(tray_icons) == 1 ]]; }
wait_until 10 one_icon || fail "no tray icon with the mouse plugged in"
settings_before="$(cat "$(settings_folder)/GamingMouse")"
log_before="$(mouse_log)"

second_agent() {
  (
    eval "$("$harness" env)"
    export WINEDLLOVERRIDES="hid,setupapi=n,b;mscoree,mshtml="
    cd "$e2e_root/build/win/harness" && timeout 60 wine ./qx27agent.exe
  )
}
second_agent >/dev/null 2>&1
expect_eq "the second agent's exit code" 0 "$?"

ctl wait 5000 || fail "the first agent is gone"
expect_eq "one agent window" 1 "$(desk count 'VORN ELDAN QX27_Hid')"
expect_eq "one tray icon" 1 "$(tray_icons)"
expect_eq "the mouse saw nothing of the second agent" "$log_before" "$(mouse_log)"
expect_eq "the settings file is untouched" "$settings_before" "$(cat "$(settings_folder)/GamingMouse")"
# The first agent still does its work.
ctl command || fail "posting the command request"
wait_until 10 mouse_report 6 || fail "the first agent no longer answers"

e2e_stop
