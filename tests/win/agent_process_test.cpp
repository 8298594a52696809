// The shipped qx27agent.exe as a process: its manifest, single instance, its
// hidden window, and its exit on WM_CLOSE.
#include <windows.h>

#include <gtest/gtest.h>

#include "support/win32.h"

#include <string>

namespace {

constexpr wchar_t kAgentTitle[] = L"VORN ELDAN QX27_Hid";

std::wstring AgentPath() {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path(self);
  return path.substr(0, path.find_last_of(L'\\') + 1) + L"qx27agent.exe";
}

class AgentProcess {
 public:
  AgentProcess() {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    std::wstring command = L"\"" + AgentPath() + L"\"";
    started_ = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                              &info_) != FALSE;
    if (started_) CloseHandle(info_.hThread);
  }
  ~AgentProcess() {
    if (!started_) return;
    if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
      if (HWND window = FindWindowW(nullptr, kAgentTitle)) PostMessageW(window, WM_CLOSE, 0, 0);
      if (WaitForSingleObject(info_.hProcess, 10000) == WAIT_TIMEOUT) TerminateProcess(info_.hProcess, 99);
    }
    CloseHandle(info_.hProcess);
  }
  bool started() const { return started_; }
  bool running() const { return WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }
  // Gives the exit code, or -1 when the process is still running after the wait.
  long WaitForExit(DWORD milliseconds) const {
    if (WaitForSingleObject(info_.hProcess, milliseconds) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(info_.hProcess, &code);
    return static_cast<long>(code);
  }

 private:
  PROCESS_INFORMATION info_{};
  bool started_ = false;
};

HWND WaitForAgentWindow(DWORD milliseconds) {
  for (DWORD waited = 0; waited < milliseconds; waited += 50) {
    if (HWND window = FindWindowW(nullptr, kAgentTitle)) return window;
    Sleep(50);
  }
  return nullptr;
}

int CountAgentWindows() { return qx27::test::CountWindowsTitled(kAgentTitle); }

using qx27::test::ManifestOf;

TEST(AgentManifest, AsksForNoRightsNamesWindowsTenAndElevenAndIsAwareOfEachMonitorsScale) {
  const std::string manifest = ManifestOf(AgentPath());
  ASSERT_FALSE(manifest.empty()) << "qx27agent.exe has no manifest";
  const auto has = [&](const char* text) { return manifest.find(text) != std::string::npos; };
  EXPECT_TRUE(has(R"(<requestedExecutionLevel level="asInvoker" uiAccess="false"/>)"));
  EXPECT_TRUE(has(R"(<supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/>)")) << "Windows 10 and 11";
  EXPECT_TRUE(has(R"(<supportedOS Id="{e2011457-1546-43c5-a5fe-008deee3d3f0}"/>)")) << "Vista, the oldest";
  EXPECT_TRUE(has(">true/pm</dpiAware>"));
  EXPECT_TRUE(has(">PerMonitorV2, PerMonitor</dpiAwareness>"));
}

TEST(AgentManifest, TheRunningAgentsWindowIsAwareOfEachMonitorsScale) {
  // Windows 10 calls, looked up: the build targets Windows 7 headers.
  using WindowContext = HANDLE(WINAPI*)(HWND);
  using AwarenessOf = int(WINAPI*)(HANDLE);
  const HMODULE user32 = GetModuleHandleW(L"user32.dll");
  const auto window_context =
      reinterpret_cast<WindowContext>(reinterpret_cast<void*>(GetProcAddress(user32, "GetWindowDpiAwarenessContext")));
  const auto awareness_of = reinterpret_cast<AwarenessOf>(
      reinterpret_cast<void*>(GetProcAddress(user32, "GetAwarenessFromDpiAwarenessContext")));
  ASSERT_NE(window_context, nullptr);
  ASSERT_NE(awareness_of, nullptr);

  AgentProcess agent;
  ASSERT_TRUE(agent.started());
  HWND window = WaitForAgentWindow(20000);
  ASSERT_NE(window, nullptr);
  constexpr int kPerMonitorAware = 2;  // DPI_AWARENESS_PER_MONITOR_AWARE
  EXPECT_EQ(awareness_of(window_context(window)), kPerMonitorAware);
  PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(agent.WaitForExit(15000), 0);
}

TEST(AgentProcess, RunsHiddenUnderItsTitleAndEndsWithExitCodeZeroOnWmClose) {
  AgentProcess agent;
  ASSERT_TRUE(agent.started());
  HWND window = WaitForAgentWindow(20000);
  ASSERT_NE(window, nullptr);

  const LONG style = GetWindowLongW(window, GWL_STYLE);
  EXPECT_TRUE(style & WS_POPUP);
  EXPECT_FALSE(style & WS_VISIBLE);
  EXPECT_FALSE(IsWindowVisible(window));
  EXPECT_EQ(GetParent(window), nullptr);
  // Kept out of the taskbar and the Alt+Tab list once start-up has run; the
  // window can be found from the moment it exists, before that.
  LONG ex_style = 0;
  for (int waited = 0; waited < 200 && ex_style != WS_EX_TOOLWINDOW; ++waited) {
    ex_style = GetWindowLongW(window, GWL_EXSTYLE);
    if (ex_style != WS_EX_TOOLWINDOW) Sleep(50);
  }
  EXPECT_EQ(ex_style, WS_EX_TOOLWINDOW);
  RECT frame{};
  GetWindowRect(window, &frame);
  EXPECT_EQ(frame.left, 100);
  EXPECT_EQ(frame.right - frame.left, 100);

  ASSERT_TRUE(PostMessageW(window, WM_CLOSE, 0, 0));
  EXPECT_EQ(agent.WaitForExit(15000), 0);
  EXPECT_EQ(FindWindowW(nullptr, kAgentTitle), nullptr);
}

TEST(AgentProcess, SecondAgentExitsWithCodeZeroWhileTheFirstKeepsRunning) {
  AgentProcess first;
  ASSERT_TRUE(first.started());
  ASSERT_NE(WaitForAgentWindow(20000), nullptr);

  AgentProcess second;
  ASSERT_TRUE(second.started());
  EXPECT_EQ(second.WaitForExit(15000), 0);
  EXPECT_TRUE(first.running());
  EXPECT_EQ(CountAgentWindows(), 1);

  PostMessageW(FindWindowW(nullptr, kAgentTitle), WM_CLOSE, 0, 0);
  EXPECT_EQ(first.WaitForExit(15000), 0);
}

TEST(AgentProcess, AgentStartsAgainOnceThePreviousOneHasEnded) {
  {
    AgentProcess first;
    ASSERT_NE(WaitForAgentWindow(20000), nullptr);
    PostMessageW(FindWindowW(nullptr, kAgentTitle), WM_CLOSE, 0, 0);
    ASSERT_EQ(first.WaitForExit(15000), 0);
  }
  AgentProcess again;
  EXPECT_NE(WaitForAgentWindow(20000), nullptr) << "the mutex must have been released";
}

}  // namespace
