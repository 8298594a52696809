#!/usr/bin/env bash
# qx27ctl apply after the settings file got a non-default profile: the agent
# reloads the file and writes the profile into the mouse as Performance
# report 3 and Button report 4, byte for byte, through the hidraw nodes.
source "$(dirname "$0")/../lib.sh"
e2e_start

# Every field the reports carry gets a value of its own. (The file the agent
# wrote at start-up holds what it read from the fresh mouse.)
expect_eq "profile 0 is the active one" 0 "$(settings_value Setting Active)"
p=Profile0Setting
save_distinct_profile $p

sets_before=$(mouse_sets | wc -l)
two_more_sets() { [[ $(mouse_sets | wc -l) -ge $((sets_before + 2)) ]]; }
ctl apply || fail "qx27ctl apply"
wait_until 20 two_more_sets || fail "the changed profile never reached the mouse"

expect_bytes "report 3 carries the changed profile" "$(distinct_report_3)" "$(mouse_report 3)"
expect_bytes "report 4 carries the changed buttons" "$(distinct_report_4)" "$(mouse_report 4)"
expect_eq "the performance report was set before the button report" "accepted 03 accepted 04" \
  "$(mouse_sets | tail -2 | cut -d' ' -f1-2 | tr '\n' ' ' | sed 's/ $//')"
expect_eq "the settings file keeps what was saved" 2 "$(settings_value $p DPI_Cur)"

e2e_stop
