# Helpers for end-to-end scenarios: the unchanged agent under Wine against the
# simulated mouse, through tools/harness. A scenario is a bash file in
# tests/e2e/scenarios that sources this file, calls e2e_start, drives the
# agent and the mouse, checks what it expects, and ends with e2e_stop. Any
# failed check makes the scenario fail; the harness is stopped whatever
# happens. Every wait is bounded.
#
#   e2e_start [--no-mouse]    start display, prefix, mouse (--no-mouse: unplugged), agent
#   ctl ARGS...               qx27ctl.exe in the harness (post messages, mouse commands)
#   mouse_sets                the feature reports the agent set, one "OUTCOME bytes" a line
#   mouse_log                 every search, set and get that reached the mouse
#   mouse_report ID           the stored feature report, hex bytes, or nothing
#   settings_folder           Linux path of %APPDATA%\VORN\ELDAN QX27 in the prefix
#   wait_until SECONDS CMD..  poll CMD until it succeeds; fail after SECONDS
#   expect_eq WHAT EXPECTED ACTUAL
#   start_listen FILE [--osd] be the companion UI's window (and "OSDMain"), lines into FILE
#   start_debug FILE          the agent's debugger output lines into FILE
#   stop_listening            end both and wait for them
#   settings_value SECTION KEY   a value of the settings file, or nothing
#   tray_icons                how many icons the notification area shows
#   desk ARGS...              qx27desk.exe (taskbar, menus, count TITLE, forget-icon, taskbar-created)
#   e2e_stop                  WM_CLOSE to the agent; expect exit code 0; stop everything
#   save_distinct_profile SECTION, distinct_report_3, distinct_report_4
#                             a profile with a value of its own in every reported
#                             field, and the reports 3 and 4 its apply must set
set -uo pipefail

e2e_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
harness="$e2e_root/tools/harness"
# Its own state folder: a person's harness in build/harness runs undisturbed.
export QX27_HARNESS_DIR="${QX27_E2E_HARNESS_DIR:-$e2e_root/build/win/e2e-harness}"
e2e_failures=0
e2e_running=0

note() { printf '  %s\n' "$*"; }

fail() {
  printf 'FAIL: %s\n' "$*"
  e2e_failures=$((e2e_failures + 1))
}

expect_eq() {  # expect_eq WHAT EXPECTED ACTUAL
  if [[ "$2" == "$3" ]]; then
    note "ok: $1"
  else
    fail "$1"$'\n'"    expected: $2"$'\n'"    actual:   $3"
  fi
}

# expect_bytes WHAT EXPECTED ACTUAL: two reports as hex bytes; a mismatch
# names the first bytes that differ rather than printing 2049 of them.
expect_bytes() {
  if [[ "$2" == "$3" ]]; then
    note "ok: $1"
    return
  fi
  local -a want got
  read -ra want <<<"$2"
  read -ra got <<<"$3"
  local differences="" shown=0 i
  for ((i = 0; i < ${#want[@]} || i < ${#got[@]}; i++)); do
    if [[ ${want[i]:-none} != "${got[i]:-none}" ]]; then
      differences+=" byte $i: ${want[i]:-none} expected, ${got[i]:-none} actual;"
      ((++shown < 8)) || break
    fi
  done
  fail "$1 (${#want[@]} bytes expected, ${#got[@]} actual):$differences"
}

wait_until() {  # wait_until SECONDS CMD...
  local deadline=$((SECONDS + $1))
  shift
  until "$@" >/dev/null 2>&1; do
    ((SECONDS < deadline)) || return 1
    sleep 0.2
  done
}

# Every call that ends non-zero is written down with its exit code: many are
# expected to, but when a scenario fails, e2e_stop shows them, and a code
# that no program of ours gives (a signal's, Wine's own) names the cause.
ctl() {
  "$harness" ctl "$@"
  local code=$?
  ((code == 0)) || printf 'ctl %s: exit code %d\n' "$*" "$code" >>"$QX27_HARNESS_DIR/failed-calls"
  return $code
}
# A mouse query runs inside $(...) or a poll, where `fail` would count only in
# a subshell and an empty answer would pass for "nothing was set" or for a
# count of zero. So a failed query is written down, and e2e_stop fails the
# scenario on it, naming the query and the error.
mouse_query() {  # mouse_query VERB...
  local answer error
  if ! answer="$(ctl mouse "$@" 2>"$QX27_HARNESS_DIR/query-error")"; then
    error="$(tr '\n' ' ' <"$QX27_HARNESS_DIR/query-error")"
    printf 'mouse %s: %s\n' "$*" "${error:-no message}" >>"$QX27_HARNESS_DIR/failed-queries"
    return 1
  fi
  [[ -z $answer ]] || printf '%s\n' "$answer"
}
mouse_log() { mouse_query log; }
mouse_sets() { mouse_query log | sed -n 's/^set //p'; }
mouse_report() { ctl mouse report "$1" 2>/dev/null; }
settings_folder() { "$harness" appdata; }
desk() { "$harness" desk "$@"; }
tray_icons() { "$harness" tray-icons; }

# Longer than any scenario needs; stop_listening ends them early.
readonly e2e_listen_ms=120000
e2e_listeners=()

start_background() {  # start_background FILE READY_LINE ARGS...
  local file="$1" ready="$2"
  shift 2
  : >"$file"
  ctl "$@" >"$file" 2>"$file.err" &
  e2e_listeners+=($!)
  wait_until 30 grep -q "$ready" "$file.err" || fail "qx27ctl $* did not start"
}
start_listen() { local file="$1"; shift; start_background "$file" listening listen "$e2e_listen_ms" "$@"; }
start_debug() { start_background "$1" capturing debug "$e2e_listen_ms"; }

stop_listening() {
  ((${#e2e_listeners[@]})) || return 0
  ctl stop-listening
  wait "${e2e_listeners[@]}" 2>/dev/null
  e2e_listeners=()
}

# The settings file is an INI file; sections and keys are matched exactly.
settings_value() {  # settings_value SECTION KEY
  local file
  file="$(settings_folder)/GamingMouse"
  [[ -f $file ]] || return 1
  tr -d '\r' <"$file" | awk -v section="[$1]" -v key="$2" '
    /^\[/ { inside = ($0 == section); next }
    inside && index($0, key "=") == 1 { print substr($0, length(key) + 2); exit }'
}

# set_setting SECTION KEY VALUE: rewrite one existing key of the settings
# file, as the companion UI would before it posts 0x04FF.
set_setting() {
  local file
  file="$(settings_folder)/GamingMouse"
  awk -v section="[$1]" -v key="$2" -v value="$3" '
    { line = $0; sub(/\r$/, "", line) }
    line ~ /^\[/ { inside = (line == section) }
    inside && index(line, key "=") == 1 { $0 = key "=" value; found = 1 }
    { print }
    END { exit !found }' "$file" >"$file.new" && mv "$file.new" "$file" || fail "no key $2 in [$1]"
}

# A struct value of the INI service: the bytes in hex, then their sum modulo
# 256. set_struct_byte SECTION KEY INDEX BYTE changes one byte and the sum.
set_struct_byte() {
  local value old new sum
  value="$(settings_value "$1" "$2")"
  [[ $value =~ ^[0-9A-F]+$ ]] || { fail "[$1] $2 is no struct value: $value"; return; }
  old=$((16#${value:$((2 * $3)):2}))
  new=$(($4))
  sum=$((16#${value: -2}))
  value="${value:0:$((2 * $3))}$(printf '%02X' "$new")${value:$((2 * $3 + 2))}"
  value="${value:0:$((${#value} - 2))}$(printf '%02X' $(((sum - old + new) & 0xFF)))"
  set_setting "$1" "$2" "$value"
}

# has_line FILE LINE: the file holds exactly this line.
has_line() { grep -qxF -- "$2" "$1"; }

e2e_finish() {
  if ((${#e2e_listeners[@]})); then stop_listening >/dev/null 2>&1; fi
  if ((e2e_running)); then
    "$harness" stop >/dev/null 2>&1
    e2e_running=0
  fi
}

e2e_start() {
  trap 'e2e_finish' EXIT
  # A harness left over by an interrupted run is stopped first.
  "$harness" stop >/dev/null 2>&1
  e2e_running=1
  rm -f "$QX27_HARNESS_DIR/failed-queries" "$QX27_HARNESS_DIR/failed-calls"
  if ! "$harness" start --no-build "$@"; then
    printf 'FAIL: the harness did not start\n'
    for log in agent mouse xvfb wineboot; do
      [[ -s $QX27_HARNESS_DIR/$log.log ]] && { echo "--- $log.log"; tail -20 "$QX27_HARNESS_DIR/$log.log"; }
    done
    # The next scenario starts in the same folder: what the harness recorded
    # of the failed start is kept in this output.
    for log in "$QX27_HARNESS_DIR"/*-failure.txt; do
      [[ -s $log ]] && { echo "--- ${log##*/}"; cat "$log"; }
    done
    exit 1
  fi
}

e2e_stop() {
  local output
  output="$("$harness" stop 2>&1)"
  e2e_running=0
  expect_eq "the agent ends with exit code 0 after WM_CLOSE" "agent exit code: 0" "$(grep '^agent exit code' <<<"$output")"
  # Why it did not ("the agent did not end within 20 s", ...) is in the stop's own words.
  if ! grep -qx 'agent exit code: 0' <<<"$output"; then
    sed 's/^/    harness stop: /' <<<"$output"
    [[ ! -s $QX27_HARNESS_DIR/stop-failure.txt ]] || sed 's/^/    /' "$QX27_HARNESS_DIR/stop-failure.txt"
  fi
  if [[ -s $QX27_HARNESS_DIR/failed-queries ]]; then
    fail "queries to the simulated mouse failed, so checks above may have read an empty log:"$'\n'"$(sed 's/^/    /' "$QX27_HARNESS_DIR/failed-queries")"
  fi
  if ((e2e_failures)); then
    if [[ -s $QX27_HARNESS_DIR/failed-calls ]]; then
      echo "calls that ended non-zero, expected or not:"
      sed 's/^/    /' "$QX27_HARNESS_DIR/failed-calls"
    fi
    printf '%d check(s) failed\n' "$e2e_failures"
    exit 1
  fi
  echo "passed"
}

# save_distinct_profile SECTION: what the companion UI saves when every field
# that reports 3 and 4 carry has a value of its own; distinct_report_3 and
# distinct_report_4 print the reports an apply of it must set, byte for byte.
save_distinct_profile() {
  local i colors codes
  set_setting $1 DPI_Cur 2
  set_setting $1 POLLRATE_VALUE 3
  set_setting $1 Enable_light 1
  set_setting $1 light_type 1
  set_setting $1 light_bright_colorID 4
  set_setting $1 light_Color0 16737281 # 0xFF6401: bytes 01 64 FF, scaled by 3/5
  set_setting $1 light_bright 3
  set_setting $1 light_speed 1
  for i in 0 1 2 3 4 5; do set_setting $1 DPI_Value$i $((7 - i)); done
  colors=(1193046 11259375 1 65536 16777215 0) # 123456 ABCDEF 000001 010000 FFFFFF 000000
  for i in 0 1 2 3 4 5; do set_setting $1 DPI_Color$i "${colors[$i]}"; done
  set_setting $1 lift_height 2
  set_setting $1 DBClick_Speed 7
  set_setting $1 Scroll_Speed 5
  set_setting $1 Mouse_Speed 8
  set_setting $1 mouse_enhance 1
  # The function code is byte 1 of a Button entry. Button 9 is sent as the right
  # button whatever it holds.
  codes=(0xC0 0xA1 0xA2 0xE2 0xA4 0xA3 0xD1 0xA5 0xC1)
  for i in 0 1 2 3 4 5 6 7 8; do set_struct_byte $1 ButtonAssigned$i 1 "${codes[$i]}"; done
}
distinct_report_3() {
  echo "03 02 03 14 04 00 3c 99 07 06 05 04 03 02 00 00 56 34 12 ef cd ab 01 00 00 00 00 01 ff ff ff 00 00 00 00 00 00 02 00 00"
}
# Report 4: the pointer table, then one record per fixed assignment.
distinct_report_4() {
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
}
