#!/usr/bin/env bash
# The apply request (0x04FF) after the companion UI saved a non-default
# profile: the agent reloads the settings file, sets the Windows pointer
# settings (registry and debug lines) and writes the profile into the mouse as
# Performance report 3 and Button report 4, byte for byte.
source "$(dirname "$0")/../lib.sh"
e2e_start

# What the companion UI saves: profile 0 (Active), every field the reports
# carry set to a value of its own. (The file the agent wrote at start-up holds
# what it read from the fresh mouse: all zero reports.)
expect_eq "profile 0 is the active one" 0 "$(settings_value Setting Active)"
p=Profile0Setting
save_distinct_profile $p

start_debug "$QX27_HARNESS_DIR/debug.txt"
sets_before=$(mouse_sets | wc -l)
two_more_sets() { [[ $(mouse_sets | wc -l) -ge $((sets_before + 2)) ]]; }
ctl apply || fail "posting the apply request"
wait_until 20 two_more_sets || fail "the changed profile never reached the mouse"
wait_until 10 has_line "$QX27_HARNESS_DIR/debug.txt" RefreshScrollLine || fail "no pointer-settings debug lines"
stop_listening

expect_bytes "report 3 carries the changed profile" "$(distinct_report_3)" "$(mouse_report 3)"

expect_bytes "report 4 carries the changed buttons" "$(distinct_report_4)" "$(mouse_report 4)"
expect_eq "the performance report was set before the button report" "accepted 03 accepted 04" \
  "$(mouse_sets | tail -2 | cut -d' ' -f1-2 | tr '\n' ' ' | sed 's/ $//')"

expect_eq "the pointer settings ran in their order" "RefreshDoubleClickSpeed RefreshMouseMoveSpeed RefreshScrollLine" \
  "$(grep -x 'Refresh[A-Za-z]*' "$QX27_HARNESS_DIR/debug.txt" | tr '\n' ' ' | sed 's/ $//')"
reg_value() { ctl_reg query "$1" /v "$2" | awk -v name="$2" '$1 == name { print $3 }'; }
ctl_reg() { (eval "$("$harness" env)"; wine reg "$@" 2>/dev/null | tr -d '\r'); }
expect_eq "double-click time in the registry (1000 - 80 x 7)" 440 "$(reg_value 'HKCU\Control Panel\Mouse' DoubleClickSpeed)"
expect_eq "acceleration on in the registry" "1 6 10" "$(for v in MouseSpeed MouseThreshold1 MouseThreshold2; do
  reg_value 'HKCU\Control Panel\Mouse' $v; done | tr '\n' ' ' | sed 's/ $//')"
expect_eq "wheel lines in the registry" 5 "$(reg_value 'HKCU\Control Panel\Desktop' WheelScrollLines)"
expect_eq "the settings file keeps what the companion UI saved" 2 "$(settings_value $p DPI_Cur)"

e2e_stop
