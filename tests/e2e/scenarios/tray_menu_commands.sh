#!/usr/bin/env bash
# The tray icon's menu, reached as a person reaches it: a right click on the
# icon in the taskbar opens the menu at the cursor with the two English items;
# "open" (6001) starts Mantle.exe from the agent's folder unless the companion
# UI's window exists; "hide" (6002) removes the icon and the agent keeps
# running.
source "$(dirname "$0")/../lib.sh"
e2e_start

one_icon() { [[ $(tray_icons) == 1 ]]; }
no_icon() { [[ $(tray_icons) == 0 ]]; }
menu_open() { [[ -n $(desk menus) ]]; }
menu_closed() { [[ -z $(desk menus) ]]; }
mantle_starts() { [[ $("$harness" mantle-starts) == "$1" ]]; }
wait_until 10 one_icon || fail "no tray icon with the mouse plugged in"
expect_eq "English menu texts" 1 "$(settings_value Setting lan_id)"

# The icon sits at the right end of the taskbar.
read -r _ left top right bottom < <(desk taskbar)
"$harness" click $((right - 10)) $(((top + bottom) / 2)) 3 || fail "right click on the icon"
wait_until 10 menu_open || fail "no menu after a right click on the icon"
read -r _ mleft mtop mright mbottom < <(desk menus)
"$harness" screenshot "$QX27_HARNESS_DIR/tray_menu.png"
# Two items of equal height: a click in the upper half chooses "open".
"$harness" click $(((mleft + mright) / 2)) $((mtop + (mbottom - mtop) / 4)) 1 || fail "click on the first item"
wait_until 10 menu_closed || fail "the menu stayed open"
wait_until 10 mantle_starts 1 || fail "choosing the first item did not start Mantle.exe"
expect_eq "Mantle.exe came from the agent's folder" 'Z:\'"$(sed 's|/|\\|g' <<<"${e2e_root#/}")"'\build\win\harness\Mantle.exe' \
  "$(tr -d '\r' <"$QX27_HARNESS_DIR/mantle.started")"

# With the companion UI's window present, 6001 and a double-click do nothing.
start_listen "$QX27_HARNESS_DIR/companion.txt"
ctl menu 6001 || fail "posting menu command 6001"
ctl tray 0x203 || fail "posting a double-click on the icon"
ctl command || fail "posting the command request"
wait_until 10 mouse_report 6 || fail "the messages were not handled"
sleep 2 # a started program would have left its mark by now
expect_eq "no second start while the companion UI runs" 1 "$("$harness" mantle-starts)"
stop_listening

ctl tray 0x203 || fail "posting a double-click on the icon"
wait_until 10 mantle_starts 2 || fail "a double-click without the companion UI did not start Mantle.exe"

ctl menu 6002 || fail "posting menu command 6002"
wait_until 10 no_icon || fail "menu command 6002 left the icon"
ctl wait 5000 || fail "the agent is gone after 6002"
ctl mouse unplug >/dev/null && ctl mouse plug >/dev/null || fail "unplugging and plugging the mouse"
wait_until 10 one_icon || fail "the next successful read did not bring the icon back"

e2e_stop
