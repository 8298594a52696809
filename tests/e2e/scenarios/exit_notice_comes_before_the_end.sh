#!/usr/bin/env bash
# WM_CLOSE ends the agent with exit code 0. On its way out it posts the
# companion UI WM_COMMAND 0xFFFFFFFF, then the "OSDMain" window WM_DESTROY and
# WM_CLOSE, in that order, and leaves the settings file as it was.
source "$(dirname "$0")/../lib.sh"
e2e_start

settings_before="$(cat "$(settings_folder)/GamingMouse")"
start_listen "$QX27_HARNESS_DIR/windows.txt" --osd
ctl close || fail "posting WM_CLOSE"
ended() { [[ -s $QX27_HARNESS_DIR/agent.exit ]]; }
wait_until 20 ended || fail "the agent did not end"
wait_until 10 has_line "$QX27_HARNESS_DIR/windows.txt" "OSDMain 0x0010 0x0 0x0" || fail "OSDMain got no WM_CLOSE"
stop_listening

expect_eq "the exit notice, in order" "0x0111 0xffffffff 0x0|OSDMain 0x0002 0x0 0x0|OSDMain 0x0010 0x0 0x0" \
  "$(tr '\n' '|' <"$QX27_HARNESS_DIR/windows.txt" | sed 's/|$//')"
expect_eq "the agent's exit code" 0 "$(cat "$QX27_HARNESS_DIR/agent.exit")"
expect_eq "the settings file is untouched" "$settings_before" "$(cat "$(settings_folder)/GamingMouse")"
expect_eq "no agent window is left" 0 "$(desk count 'VORN ELDAN QX27_Hid')"
# The mouse counts a closed handle once its connection's thread has seen the
# pipe end, which may come after the agent has ended.
no_handles() { [[ $(ctl mouse status | grep '^handles') == "handles 0" ]]; }
wait_until 10 no_handles || fail "a handle is left open on the mouse: $(ctl mouse status | grep '^handles')"
no_icon() { [[ $(tray_icons) == 0 ]]; }
wait_until 10 no_icon || fail "the tray icon outlived the agent"

e2e_stop
