#!/usr/bin/env bash
# qx27ctl.exe, as shipped: an export imported back gives the same settings; a
# backup with one bad value is refused whole, the file left byte for byte;
# with no agent running, a change is written and the exit code says so.
source "$(dirname "$0")/../lib.sh"
# The prefix, and with it the settings file, outlives each scenario: start
# from the file the agent creates, so what is expected does not depend on
# the scenarios that ran before.
rm -f "$QX27_HARNESS_DIR"/wineprefix/drive_c/users/*/AppData/Roaming/VORN/"ELDAN QX27"/GamingMouse
e2e_start

file="$(settings_folder)/GamingMouse"
backup="$QX27_HARNESS_DIR/backup.json"
ctl activate --no-apply 2 >/dev/null || fail "activate did not end with exit code 0"
ctl set --no-apply --profile 3 name=Racing dpi4=7 acceleration=on DBClick_Speed=9 >/dev/null || fail "set failed"
ctl macro --no-apply --profile 3 --repeat-mode 1 --repeat-count 3 4 "left down, 30 ms, left up" >/dev/null ||
  fail "macro failed"
ctl export "$backup" >/dev/null || fail "export did not end with exit code 0"
expect_eq "activate makes profile 2 the active one and its read-back's home" "1 1" \
  "$(settings_value Setting Active) $(settings_value Setting Current)"

ctl set --no-apply --profile 3 name=Changed dpi4=1 >/dev/null || fail "set failed"
ctl button --no-apply --profile 3 4 back >/dev/null || fail "button failed"
ctl import "$backup" >/dev/null || fail "import did not end with exit code 0"
ctl export "$QX27_HARNESS_DIR/again.json" >/dev/null || fail "the second export failed"
cmp -s "$backup" "$QX27_HARNESS_DIR/again.json" || fail "export, changes, import: the settings differ from the export"
expect_eq "the imported profile is in the file" "Racing 7" \
  "$(settings_value Profile2Setting Profil_Name) $(settings_value Profile2Setting DPI_Value3)"

cp "$file" "$QX27_HARNESS_DIR/before.ini"
sed 's/"light_speed": [0-9]*/"light_speed": 6/' "$backup" >"$QX27_HARNESS_DIR/bad.json"
out="$(ctl import "$QX27_HARNESS_DIR/bad.json" 2>&1)"
expect_eq "a backup with a bad value is refused with exit code 2" 2 "$?"
grep -q 'light_speed is refused: it accepts 1..5; nothing written' <<<"$out" || fail "the refusal does not name the key: $out"
cmp -s "$file" "$QX27_HARNESS_DIR/before.ini" || fail "a refused import changed the settings file"

ctl close || fail "closing the agent"
wait_until 20 test -s "$QX27_HARNESS_DIR/agent.exit" || fail "the agent did not end"
ctl set --profile 1 polling=1 >/dev/null 2>&1
expect_eq "written with no agent to apply it: exit code 3" 3 "$?"
expect_eq "the value is written all the same" 1 "$(settings_value Profile0Setting POLLRATE_VALUE)"
# Later scenarios expect profile 1 to be the active one.
ctl activate --no-apply 1 >/dev/null || fail "making profile 1 active again"

e2e_stop
