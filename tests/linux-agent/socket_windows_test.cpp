#include "platform/linux/agent/socket_windows.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <future>

#include "interfaces/companion_ui.h"
#include "platform/linux/session/agent_client.h"
#include "support/temp_folder.h"

namespace qx27::agentd {
namespace {

namespace fs = std::filesystem;
using session::RecordKind;

constexpr int kAnswerMs = 10000;  // an upper bound only: every wait ends on its answer

// Stands in for the Agent window: records what reaches it, and answers some
// messages by posting to the companion UI, as the core does.
class AgentWindowStandIn final : public MessageTarget {
 public:
  explicit AgentWindowStandIn(WindowPort& windows) : windows_(windows) {}

  LResult WindowProc(WindowHandle window, std::uint32_t message, WParam wparam, LParam lparam) override {
    seen.push_back({message, wparam});
    const auto tell_companion = [&](std::uint32_t notice, WParam value) {
      if (const WindowHandle companion = windows_.FindWindowByTitle(companion::kWindowTitle)) {
        windows_.Post(companion, notice, value, 0);
      }
    };
    switch (message) {
      case companion::kApplyRequest:
        return 7;
      case companion::kDeviceCommandRequest:
        tell_companion(companion::kConfigurationRead, 0);
        return 0;
      case msg::kDeviceChange:
        tell_companion(companion::kReadFailed, wparam);
        return 1;
      case msg::kDestroy:
        tell_companion(msg::kCommand, companion::kExitNoticeCommand);
        return 0;
      case msg::kNcDestroy:
        windows_.PostQuit(0);
        return 0;
      default:
        return windows_.DefaultProcessing(window, message, wparam, lparam);
    }
  }

  std::vector<std::pair<std::uint32_t, WParam>> seen;

 private:
  WindowPort& windows_;
};

class SocketWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(run);
    fs::permissions(run, fs::perms::owner_all);
    fs::create_directories(sys);
  }
  std::unique_ptr<SocketWindows> Windows() {
    return std::make_unique<SocketWindows>(
        session::RuntimeFolder{run.string(), false}, ::getuid(),
        [this](std::string& error) { return OpenSysfsWatch(sys.string(), error); }, log);
  }
  std::string SocketPath() const { return (run / "qx27agentd.socket").string(); }

  test::TempFolder folder;
  fs::path run = folder.Root() / "run";
  fs::path sys = folder.Root() / "sys";
  StderrDebug log;
};

struct ClientView {
  bool subscribed = false;
  std::optional<session::Record> apply, refused_dpi, command, command_notice, plug_notice, close, exit_notice;
  bool found_after_close = true;
};

TEST_F(SocketWindowsTest, ClientsRequestsReachTheAgentWindowAndItsAnswersAndNoticesComeBack) {
  const auto windows = Windows();
  AgentWindowStandIn agent(*windows);
  bool existed = true;
  ASSERT_NE(windows->CreateNamedMutex(companion::kAgentMutexName, existed), 0u);
  EXPECT_FALSE(existed);
  WindowCreateParams params;
  params.title = companion::kAgentWindowTitle;
  const WindowHandle window = windows->CreateTopLevelWindow(params, agent);
  ASSERT_NE(window, 0u) << windows->creation_error();
  EXPECT_EQ(windows->FindWindowByTitle(companion::kAgentWindowTitle), window);
  EXPECT_EQ(windows->FindWindowByTitle(companion::kWindowTitle), 0u);  // no subscriber yet
  EXPECT_EQ(windows->FindWindowByTitle(u"OSDMain"), 0u);
  ASSERT_NE(windows->RegisterHidNotifications(window), 0u);

  auto client = std::async(std::launch::async, [&] {
    ClientView view;
    auto subscriber = session::AgentClient::Connect(SocketPath());
    auto requester = session::AgentClient::Connect(SocketPath());
    if (!subscriber || !requester) {
      windows->PostQuit(1);  // ends the loop: the checks below tell what failed
      return view;
    }
    view.subscribed = subscriber->Subscribe(kAnswerMs);
    view.apply = requester->Send(companion::kApplyRequest, 1, 2, kAnswerMs);
    view.refused_dpi = requester->Send(companion::kDpiStageEvent, 3, 0, kAnswerMs);
    view.command = requester->Send(companion::kDeviceCommandRequest, 0, 0, kAnswerMs);
    view.command_notice = subscriber->Next(kAnswerMs);
    fs::create_directories(sys / "hidraw0" / "device");
    test::WriteBytes(sys / "hidraw0" / "device" / "uevent", "HID_ID=0003:00003938:00001101\n");
    view.plug_notice = subscriber->Next(kAnswerMs);
    view.close = requester->Send(msg::kClose, 0, 0, kAnswerMs);
    view.exit_notice = subscriber->Next(kAnswerMs);
    view.found_after_close = session::AgentClient::Connect(SocketPath()).has_value();
    return view;
  });
  EXPECT_EQ(windows->RunMessageLoop(), 0);
  const ClientView view = client.get();

  EXPECT_TRUE(view.subscribed);
  EXPECT_EQ(view.apply, (session::Record{RecordKind::kResult, companion::kApplyRequest, 1, 7}));
  EXPECT_EQ(view.refused_dpi, (session::Record{RecordKind::kRefused, companion::kDpiStageEvent, 3, 0}));
  EXPECT_EQ(view.command, (session::Record{RecordKind::kResult, companion::kDeviceCommandRequest, 0, 0}));
  EXPECT_EQ(view.command_notice, (session::Record{RecordKind::kNotice, companion::kConfigurationRead, 0, 0}));
  EXPECT_EQ(view.plug_notice, (session::Record{RecordKind::kNotice, companion::kReadFailed, 0x8000, 0}));
  EXPECT_EQ(view.close, (session::Record{RecordKind::kResult, msg::kClose, 0, 0}));
  EXPECT_EQ(view.exit_notice, (session::Record{RecordKind::kNotice, msg::kCommand, companion::kExitNoticeCommand, 0}));
  EXPECT_FALSE(view.found_after_close);
  EXPECT_FALSE(fs::exists(SocketPath()));
  EXPECT_EQ(agent.seen, (std::vector<std::pair<std::uint32_t, WParam>>{{msg::kCreate, 0},
                                                                       {companion::kApplyRequest, 1},
                                                                       {companion::kDeviceCommandRequest, 0},
                                                                       {msg::kDeviceChange, 0x8000},
                                                                       {msg::kClose, 0},
                                                                       {msg::kDestroy, 0},
                                                                       {msg::kNcDestroy, 0}}));
}

TEST_F(SocketWindowsTest, ASecondAgentInTheSessionIsRefusedAndLearnsWhichProcessHoldsTheLock) {
  const auto first = Windows();
  const auto second = Windows();
  bool existed = true;
  const std::uintptr_t held = first->CreateNamedMutex(companion::kAgentMutexName, existed);
  ASSERT_NE(held, 0u);
  EXPECT_FALSE(existed);

  second->CreateNamedMutex(companion::kAgentMutexName, existed);
  EXPECT_TRUE(existed);
  EXPECT_EQ(second->refused_by(), ::getpid());

  first->ReleaseAndCloseMutex(held);
  const auto third = Windows();
  third->CreateNamedMutex(companion::kAgentMutexName, existed);
  EXPECT_FALSE(existed);
  EXPECT_EQ(third->refused_by(), std::nullopt);
}

TEST_F(SocketWindowsTest, ASocketLeftByAnAgentThatDiedIsReplaced) {
  test::WriteBytes(SocketPath(), "");
  const auto windows = Windows();
  AgentWindowStandIn agent(*windows);
  bool existed = true;
  windows->CreateNamedMutex(companion::kAgentMutexName, existed);
  WindowCreateParams params;
  params.title = companion::kAgentWindowTitle;
  ASSERT_NE(windows->CreateTopLevelWindow(params, agent), 0u) << windows->creation_error();
  EXPECT_TRUE(session::AgentClient::Connect(SocketPath()).has_value());
}

}  // namespace
}  // namespace qx27::agentd
