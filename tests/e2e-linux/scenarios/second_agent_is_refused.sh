#!/usr/bin/env bash
# A second qx27agentd in the same session is refused at once (exit code 3,
# naming the one that runs), touching neither the mouse nor the settings
# file; the first keeps doing its work.
source "$(dirname "$0")/../lib.sh"
e2e_start

settings_before="$(cat "$(settings_folder)/GamingMouse")"
log_before="$(mouse_log)"

output="$(second_agent)"
code=$?
expect_eq "the second agent's exit code" 3 "$code"
grep -q "another qx27agentd is running in this session" <<<"$output" || fail "the second agent did not say why: $output"
expect_eq "the mouse saw nothing of the second agent" "$log_before" "$(mouse_log)"
expect_eq "the settings file is untouched" "$settings_before" "$(cat "$(settings_folder)/GamingMouse")"

sets_before=$(mouse_sets | wc -l)
two_more_sets() { [[ $(mouse_sets | wc -l) -ge $((sets_before + 2)) ]]; }
ctl apply || fail "qx27ctl apply to the first agent"
wait_until 20 two_more_sets || fail "the first agent no longer applies"

e2e_stop
