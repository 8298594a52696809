#!/usr/bin/env bash
# The harness's own tools: a configuration loaded into the simulated mouse from
# a Linux file comes back unchanged from the dump, in its two-line format.
source "$(dirname "$0")/../lib.sh"
e2e_start

file="$QX27_HARNESS_DIR/loaded.txt"
{
  printf 'perf 03'; for i in $(seq 1 39); do printf ' %02x' "$i"; done; printf '\n'
  printf 'buttons 04'; for i in $(seq 1 2048); do printf ' %02x' $((i % 256)); done; printf '\n'
} >"$file"
ctl mouse load "$file" || fail "loading $file"
expect_eq "the dump gives back what was loaded" "$(cat "$file")" "$(ctl mouse dump)"
if ctl mouse load /dev/null 2>/dev/null; then fail "an empty configuration was accepted"; fi

e2e_stop
