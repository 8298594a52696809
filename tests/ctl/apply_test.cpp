// qx27ctl apply: the one verb that only asks the agent, on the stand-ins.
#include <gtest/gtest.h>

#include "ctl/qx27ctl.h"
#include "interfaces/companion_ui.h"
#include "platform/linux/desktop_stand_ins.h"
#include "platform/linux/ini_port.h"
#include "platform/linux/window_port.h"
#include "sim/sim_hid.h"

namespace qx27::ctl {
namespace {

class NoFiles final : public FilePort {
 public:
  std::optional<std::string> ReadWholeFile(std::u16string_view) override { return std::nullopt; }
  bool WriteWholeFile(std::u16string_view, std::string_view) override { return false; }
};

struct Stand {
  linux_host::StandInIniPort ini;
  linux_host::InProcessWindows windows;
  linux_host::RecordingShell shell;
  sim::SimHidBus hid;
  NoFiles files;
  CtlPorts ports{ini, windows, shell, hid, files};
};

TEST(CtlApply, ApplyPostsTheApplyRequestToTheRunningAgentAndNothingElse) {
  Stand stand;
  const WindowHandle agent = stand.windows.AddForeignWindow(companion::kAgentWindowTitle);
  const CtlResult result = RunCtl({"apply"}, stand.ports);
  EXPECT_EQ(result.exit_code, kExitOk);
  EXPECT_EQ(result.out, "the agent applies the active profile now\n");
  EXPECT_EQ(stand.windows.ReceivedBy(agent),
            (std::vector<linux_host::PostedMessage>{{agent, companion::kApplyRequest, 0, 0}}));

  EXPECT_EQ(RunCtl({"apply", "2"}, stand.ports).exit_code, kExitRefused);
  EXPECT_EQ(stand.windows.ReceivedBy(agent).size(), 1u);
}

TEST(CtlApply, ApplyWithoutAnAgentSaysSoAndEndsWithTheNoAgentCode) {
  Stand stand;
  const CtlResult result = RunCtl({"apply"}, stand.ports);
  EXPECT_EQ(result.exit_code, kExitNoAgent);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "qx27ctl: no agent is running to apply the settings; start it (qx27agent.exe)\n");
}

}  // namespace
}  // namespace qx27::ctl
