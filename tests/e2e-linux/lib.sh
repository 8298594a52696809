# Helpers for the Linux end-to-end scenarios: qx27agentd against the simulated
# mouse served over FUSE, through tools/linux-harness. The helpers are the
# Windows scenarios' own (tests/e2e/lib.sh: e2e_start, ctl, mouse_sets,
# mouse_log, mouse_report, settings_value, set_setting, set_struct_byte,
# wait_until, expect_eq, expect_bytes, e2e_stop), pointed at the Linux
# harness and a state folder of its own.
#
#   second_agent              run another qx27agentd in the harness's session;
#                             its output goes to standard output
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/lib.sh"

harness="$e2e_root/tools/linux-harness"
export QX27_HARNESS_DIR="${QX27_E2E_LINUX_HARNESS_DIR:-$e2e_root/build/native/e2e-linux-harness}"

# A system without FUSE cannot serve the mouse: the scenario is skipped (77).
if [[ ! -e /dev/fuse ]]; then
  echo "skipped: this system has no /dev/fuse"
  exit 77
fi

second_agent() {
  (
    eval "$("$harness" env)"
    timeout 60 "$e2e_root/build/native/src/platform/linux/agent/qx27agentd" 2>&1
  )
}
