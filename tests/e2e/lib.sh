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
#   e2e_stop                  WM_CLOSE to the agent; expect exit code 0; stop everything
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

wait_until() {  # wait_until SECONDS CMD...
  local deadline=$((SECONDS + $1))
  shift
  until "$@" >/dev/null 2>&1; do
    ((SECONDS < deadline)) || return 1
    sleep 0.2
  done
}

ctl() { "$harness" ctl "$@"; }
mouse_log() { ctl mouse log; }
mouse_sets() { ctl mouse log | sed -n 's/^set //p'; }
mouse_report() { ctl mouse report "$1" 2>/dev/null; }
settings_folder() { "$harness" appdata; }

e2e_finish() {
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
  if ! "$harness" start --no-build "$@"; then
    printf 'FAIL: the harness did not start\n'
    for log in agent mouse xvfb wineboot; do
      [[ -s $QX27_HARNESS_DIR/$log.log ]] && { echo "--- $log.log"; tail -20 "$QX27_HARNESS_DIR/$log.log"; }
    done
    exit 1
  fi
}

e2e_stop() {
  local output
  output="$("$harness" stop 2>&1)"
  e2e_running=0
  expect_eq "the agent ends with exit code 0 after WM_CLOSE" "agent exit code: 0" "$(grep '^agent exit code' <<<"$output")"
  if ((e2e_failures)); then
    printf '%d check(s) failed\n' "$e2e_failures"
    exit 1
  fi
  echo "passed"
}
