#include <gtest/gtest.h>

#include <thread>

#include "app/agent_window.h"
#include "app/hid_app.h"
#include "interfaces/companion_ui.h"
#include "platform/linux/clock_and_debug.h"
#include "platform/linux/desktop_stand_ins.h"
#include "platform/linux/window_port.h"
#include "sim/sim_hid.h"
#include "support/stand_in_system.h"

namespace qx27 {
namespace {

class AgentTest : public ::testing::Test, protected test::StandInSystem {};

// ---- the application object ----

TEST_F(AgentTest, WmCloseEndsTheAgentWithExitCodeZeroAndReleasesEverything) {
  CHidApp app;
  std::thread closer([&] {
    WindowHandle agent = 0;
    while ((agent = windows.FindWindowByTitle(companion::kAgentWindowTitle)) == 0) std::this_thread::yield();
    windows.Post(agent, msg::kClose, 0, 0);
  });
  const int exit_code = app.Run(ports);
  closer.join();
  EXPECT_EQ(exit_code, 0);
  EXPECT_EQ(windows.FindWindowByTitle(companion::kAgentWindowTitle), 0u);
  EXPECT_EQ(app.agent_window(), nullptr);
  EXPECT_EQ(windows.live_mutexes(), 0);
  EXPECT_EQ(bus.open_handles(), 0);
}

TEST_F(AgentTest, SecondAgentInTheSessionEndsAtOnceWithExitCodeZeroAndTouchesNothing) {
  bool existed = false;
  const std::uintptr_t first = windows.CreateNamedMutex(companion::kAgentMutexName, existed);
  ASSERT_FALSE(existed);
  CHidApp second;
  EXPECT_EQ(second.Run(ports), 0);
  EXPECT_EQ(windows.FindWindowByTitle(companion::kAgentWindowTitle), 0u);
  EXPECT_EQ(bus.reads_issued() + mouse.gets(3) + mouse.gets(4), 0);
  EXPECT_EQ(windows.live_mutexes(), 1) << "the first agent's mutex stays";
  windows.CloseMutex(first);
}

TEST_F(AgentTest, AgentWindowThatCannotBeCreatedEndsTheProcessWithAnError) {
  CHidApp app;
  windows.FailNextCreate();
  EXPECT_EQ(app.Run(ports), CHidApp::kWindowCreationFailed);
  EXPECT_EQ(windows.live_mutexes(), 0);
}

// ---- the Agent window ----

class AgentWindowTest : public AgentTest {
 protected:
  void SetUp() override { ASSERT_EQ(window.CreateAgentWindow(), 1); }
  LResult Send(std::uint32_t message, WParam wparam = 0, LParam lparam = 0) {
    return windows.Send(window.handle(), message, wparam, lparam);
  }
  CMyWnd window{ports};
};

TEST_F(AgentWindowTest, IsAHiddenPopupFoundByItsExactTitle) {
  const WindowHandle found = windows.FindWindowByTitle(u"VORN ELDAN QX27_Hid");
  EXPECT_EQ(found, window.handle());
  EXPECT_EQ(windows.Style(found), 0x80000000u) << "WS_POPUP only, not visible";
  EXPECT_EQ(windows.FindWindowByTitle(u"VORN ELDAN QX27"), 0u) << "titles match exactly";
}

TEST_F(AgentWindowTest, HandlersGiveTheirFixedResults) {
  EXPECT_EQ(Send(msg::kDeviceChange, 0x8000), 1);
  EXPECT_EQ(Send(msg::kDeviceChange, 0x0007), 1);
  EXPECT_EQ(Send(msg::kSessionChange, 7), 0);
  EXPECT_EQ(Send(companion::kApplyRequest), 0);
  EXPECT_EQ(Send(companion::kDeviceCommandRequest), 0);
  EXPECT_EQ(Send(0x0465, 128, 0x0200), 0);
}

TEST_F(AgentWindowTest, DeviceCommandRequestSendsExactlyTheCommandReport) {
  EXPECT_EQ(Send(companion::kDeviceCommandRequest), 0);
  const auto log = mouse.SetLog();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0], (std::vector<std::uint8_t>{0x06, 0x5A, 0, 0, 0, 0, 0, 0}));
  EXPECT_NE(window.hid_link().feature_handle(), kInvalidHid) << "the handle stays on the 8-byte interface";
}

TEST_F(AgentWindowTest, DeviceCommandRequestWithTheMouseUnpluggedSendsNothing) {
  mouse.Unplug();
  EXPECT_EQ(Send(companion::kDeviceCommandRequest), 0);
  mouse.Plug();
  EXPECT_TRUE(mouse.SetLog().empty());
  EXPECT_EQ(window.hid_link().feature_handle(), kInvalidHid);
}

TEST_F(AgentWindowTest, RefusedCommandReportStillGivesZero) {
  mouse.RefuseNextSets(1);
  EXPECT_EQ(Send(companion::kDeviceCommandRequest), 0);
  EXPECT_EQ(mouse.sets_refused(6), 1);
}

TEST_F(AgentWindowTest, UnhandledMessagesGetDefaultProcessingAndWmCloseDestroysTheWindow) {
  Send(msg::kClose);
  EXPECT_FALSE(windows.Exists(window.handle()));
  EXPECT_EQ(window.handle(), 0u);
}

}  // namespace
}  // namespace qx27
