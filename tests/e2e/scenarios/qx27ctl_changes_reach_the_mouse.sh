#!/usr/bin/env bash
# qx27ctl.exe, as shipped: settings set by key, alias and name reach the
# mouse's reports byte for byte through the agent's apply; a refused value
# leaves the settings file as it was; status follows an unplug and a plug.
source "$(dirname "$0")/../lib.sh"
# The prefix, and with it the settings file, outlives each scenario: start
# from the file the agent creates, so what is expected does not depend on
# the scenarios that ran before.
rm -f "$QX27_HARNESS_DIR"/wineprefix/drive_c/users/*/AppData/Roaming/VORN/"ELDAN QX27"/GamingMouse
e2e_start

file="$(settings_folder)/GamingMouse"
cp "$file" "$QX27_HARNESS_DIR/before.ini"
out="$(ctl set polling=3 DPI_Value1=9 2>&1)"
expect_eq "a DPI level out of range is refused with exit code 2" 2 "$?"
expect_eq "the refusal names the key and what it accepts" "qx27ctl: DPI_Value1=9 is refused: DPI_Value1 accepts 0..7" \
  "$(grep '^qx27ctl' <<<"$out")"
cmp -s "$file" "$QX27_HARNESS_DIR/before.ini" || fail "a refused set changed the settings file"

# The fresh mouse was read at start-up: lighting off, every button without
# records. A polling rate, a DPI stage and colours, then two buttons by name.
sets_before=$(mouse_sets | wc -l)
ctl set polling=3 dpi1=6 dpi1-colour=#102030 lighting=on brightness=5 colour=#FF8000 >/dev/null ||
  fail "set did not end with exit code 0"
ctl button --no-apply 2 ctrl+c >/dev/null || fail "button did not end with exit code 0"
ctl macro 5 "A down, 50 ms, A up" >/dev/null || fail "macro did not end with exit code 0"
four_more_sets() { [[ $(mouse_sets | wc -l) -ge $((sets_before + 4)) ]]; }
wait_until 20 four_more_sets || fail "the two applies never reached the mouse"

# Colours are #RRGGBB, stored red in the low byte, sent low byte first.
expect_bytes "report 3 carries the polling rate, the DPI stage and the colours" \
  "03 00 03 00 00 ff 80 00 06 02 03 04 05 06 00 00 10 20 30$(printf ' 00%.0s' $(seq 21))" "$(mouse_report 3)"
expect_bytes "report 4 carries Ctrl+C on button 2 and the macro on button 5" \
  "04 ff ff 30 00 ff ff ff ff 3a 00 ff ff ff ff ff ff 4e 00$(printf ' 00%.0s' $(seq 30)) \
62 01 06 00 00 00 00 00 00 00 65 00 04 00 00 00 00 10 32 00 65 00 00 00 00 00 00 10 00 00 \
29 02 00 00 00 00 00 00 ff ff$(printf ' 00%.0s' $(seq 1960))" "$(mouse_report 4)"
expect_eq "show reads the buttons back by name" "2: ctrl+c|5: macro: A down, 50 ms, A up" \
  "$(ctl show 2>/dev/null | sed -n 's/^    \([25]: .*\)/\1/p' | paste -sd'|')"

json_field() { sed -n "s/.*\"$1\": \([a-z0-9]*\).*/\1/p"; }
connected() { [[ $(ctl status --json 2>/dev/null | json_field mouse_connected) == "$1" ]]; }
expect_eq "status sees the agent" true "$(ctl status --json 2>/dev/null | json_field agent_running)"
connected true || fail "status --json does not see the mouse"
ctl mouse unplug >/dev/null || fail "unplugging the mouse"
wait_until 10 connected false || fail "status --json did not follow the unplug"
ctl mouse plug >/dev/null || fail "plugging the mouse in"
wait_until 10 connected true || fail "status --json did not follow the plug"

e2e_stop
