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
set_setting $p DPI_Cur 2
set_setting $p POLLRATE_VALUE 3
set_setting $p Enable_light 1
set_setting $p light_type 1
set_setting $p light_bright_colorID 4
set_setting $p light_Color0 16737281 # 0xFF6401: bytes 01 64 FF, scaled by 3/5
set_setting $p light_bright 3
set_setting $p light_speed 1
for i in 0 1 2 3 4 5; do set_setting $p DPI_Value$i $((7 - i)); done
colors=(1193046 11259375 1 65536 16777215 0) # 123456 ABCDEF 000001 010000 FFFFFF 000000
for i in 0 1 2 3 4 5; do set_setting $p DPI_Color$i "${colors[$i]}"; done
set_setting $p lift_height 2
set_setting $p DBClick_Speed 7
set_setting $p Scroll_Speed 5
set_setting $p Mouse_Speed 8
set_setting $p mouse_enhance 1
codes=(0xC0 0xA1 0xA2 0xE2 0xA4 0xA3 0xD1 0xA5 0xC1)
for i in 0 1 2 3 4 5 6 7 8; do set_struct_byte $p ButtonAssigned$i 1 "${codes[$i]}"; done

sets_before=$(mouse_sets | wc -l)
two_more_sets() { [[ $(mouse_sets | wc -l) -ge $((sets_before + 2)) ]]; }
ctl apply || fail "qx27ctl apply"
wait_until 20 two_more_sets || fail "the changed profile never reached the mouse"

expect_bytes "report 3 carries the changed profile" \
  "03 02 03 14 04 00 3c 99 07 06 05 04 03 02 00 00 56 34 12 ef cd ab 01 00 00 00 00 01 ff ff ff 00 00 00 00 00 00 02 00 00" \
  "$(mouse_report 3)"
{
  printf '04 30 00 3a 00 44 00 4e 00 58 00 62 00 6c 00 76 00 9e 00'
  for _ in $(seq 30); do printf ' 00'; done
  printf ' 61 01 06 00 00 00 00 00 00 00' # button 1, Ctrl+C
  printf ' 22 02 00 00 00 00 00 00 ff ff' # button 2, right button
  printf ' 23 04 00 00 00 00 00 00 ff ff' # button 3, middle button
  printf ' 84 01 00 00 00 00 00 00 00 00' # button 4, special function 1
  printf ' 25 10 00 00 00 00 00 00 ff ff' # button 5, button mask 16
  printf ' 26 08 00 00 00 00 00 00 ff ff' # button 6, button mask 8
  printf ' 47 02 00 00 00 00 00 00 00 00' # button 7, device function 2
  printf ' 28 01 00 00 00 00 00 00 41 00 a8 01 00 00 00 00 00 00 41 00' # button 8, double click
  printf ' 28 01 00 00 00 00 00 00 41 00 a8 01 00 00 00 00 00 00 41 00'
  printf ' 29 02 00 00 00 00 00 00 ff ff' # button 9, always the right button
  for _ in $(seq $((2048 - 168))); do printf ' 00'; done
} >"$QX27_HARNESS_DIR/expected_buttons.txt"
expect_bytes "report 4 carries the changed buttons" "$(cat "$QX27_HARNESS_DIR/expected_buttons.txt")" "$(mouse_report 4)"
expect_eq "the performance report was set before the button report" "accepted 03 accepted 04" \
  "$(mouse_sets | tail -2 | cut -d' ' -f1-2 | tr '\n' ' ' | sed 's/ $//')"
expect_eq "the settings file keeps what was saved" 2 "$(settings_value $p DPI_Cur)"

e2e_stop
