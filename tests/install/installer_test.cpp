// qx27-setup.exe run silently, the way a user or a deployment tool runs it:
// install, install again over the running agent, uninstall. Runs in a Wine
// prefix of its own (run-installer-tests), so the per-user registry and
// folders it changes are nobody else's.
//
// QX27_SETUP names the setup program, QX27_BIN the build's folder with the
// files it must install, both as Windows paths; QX27_VERSION the project's
// version.
#include <windows.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include "support/win32.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr wchar_t kAgentTitle[] = L"VORN ELDAN QX27_Hid";
constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kRunValue[] = L"VORN ELDAN QX27";
constexpr wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VORN ELDAN QX27";
constexpr const wchar_t* kProgramFiles[] = {L"qx27agent.exe", L"Idwatch.dll", L"qx27ctl.exe", L"Lan\\skin_En.ini",
                                            L"Lan\\skin_Cs.ini"};

// A setup run or an agent start that takes longer than this has hung.
constexpr DWORD kSetupLimitMs = 120000;
constexpr DWORD kAgentStartMs = 30000;
// Setup waits 15 s for an agent that will not close; this leaves room for that.
constexpr DWORD kGiveUpLimitMs = 60000;

// A settings file as a user's might look after years of edits: comments,
// a section no program knows, odd spacing, a byte that is not ASCII, mixed
// line ends and no final line end. "Device=0" is what the agent itself stores
// at start-up when no mouse is attached, so its own write changes nothing and
// any difference afterwards is setup's doing.
constexpr char kOddSettings[] =
    "; kept by hand\r\n"
    "[Setting]\r\n"
    "Device=0\r\n"
    "Totle = 6 \n"
    "\r\n"
    "[Somebody else's]\r\n"
    "caf\xe9=cr\xe8me\r\n"
    "key without value\n"
    "\tTab=\t1";

std::string OddMacroFile() {
  std::string bytes = "[Bullet1]\r\n";
  for (int value = 0; value < 256; ++value) bytes += static_cast<char>(value);
  return bytes;
}

std::wstring Env(const wchar_t* name) {
  wchar_t value[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::wstring(value, length) : std::wstring();
}

std::wstring ShellFolder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  return SUCCEEDED(SHGetFolderPathW(nullptr, csidl, nullptr, 0, path)) ? path : L"";
}

std::wstring InstallFolder() { return ShellFolder(CSIDL_LOCAL_APPDATA) + L"\\Programs\\VORN ELDAN QX27"; }
std::wstring InstalledAgent() { return InstallFolder() + L"\\qx27agent.exe"; }
std::wstring Uninstaller() { return InstallFolder() + L"\\uninstall.exe"; }
std::wstring SettingsFolder() { return ShellFolder(CSIDL_APPDATA) + L"\\VORN\\ELDAN QX27"; }
std::wstring SettingsFile() { return SettingsFolder() + L"\\GamingMouse"; }
std::wstring MacroFile() { return SettingsFolder() + L"\\BulletSetting"; }

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::optional<std::string> ReadBytes(const std::wstring& path) {
  std::ifstream file(std::filesystem::path(path), std::ios::binary);
  if (!file) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(file), {});
}

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
  std::ofstream file(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(file.flush());
}

bool KeyExists(const wchar_t* key) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
  RegCloseKey(handle);
  return true;
}

std::optional<std::wstring> RegString(const wchar_t* key, const wchar_t* name) {
  wchar_t value[1024] = {};
  DWORD size = sizeof(value);
  if (RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::wstring(value);
}

std::optional<DWORD> RegDword(const wchar_t* key, const wchar_t* name) {
  DWORD value = 0;
  DWORD size = sizeof(value);
  if (RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_DWORD, nullptr, &value, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return value;
}

// The version resource of a file, as "a.b.c.d".
std::wstring FileVersion(const std::wstring& path) {
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), nullptr);
  std::vector<std::uint8_t> data(size);
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (size == 0 || !GetFileVersionInfoW(path.c_str(), 0, size, data.data()) ||
      !VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length)) {
    return L"";
  }
  std::wostringstream text;
  text << HIWORD(info->dwFileVersionMS) << L'.' << LOWORD(info->dwFileVersionMS) << L'.'
       << HIWORD(info->dwFileVersionLS) << L'.' << LOWORD(info->dwFileVersionLS);
  return text.str();
}

// Runs a command line and gives its exit code, or nothing (after ending it)
// when it outlives the limit.
std::optional<DWORD> RunCommand(std::wstring command, DWORD limit_ms) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    return std::nullopt;
  }
  CloseHandle(info.hThread);
  std::optional<DWORD> code;
  if (WaitForSingleObject(info.hProcess, limit_ms) == WAIT_OBJECT_0) {
    DWORD exit_code = 0;
    GetExitCodeProcess(info.hProcess, &exit_code);
    code = exit_code;
  } else {
    TerminateProcess(info.hProcess, 99);
  }
  CloseHandle(info.hProcess);
  return code;
}

std::optional<DWORD> RunSetup() { return RunCommand(L"\"" + Env(L"QX27_SETUP") + L"\" /S", kSetupLimitMs); }

int CountAgentWindows() { return qx27::test::CountWindowsTitled(kAgentTitle); }

// The agent's window once its start-up has finished: a message sent to it is
// answered only from its message loop, which runs after the whole start-up.
HWND WaitForReadyAgent() {
  for (DWORD waited = 0; waited < kAgentStartMs; waited += 100) {
    if (HWND window = FindWindowW(nullptr, kAgentTitle)) {
      DWORD_PTR result = 0;
      if (SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kAgentStartMs, &result) != 0) return window;
    }
    Sleep(100);
  }
  return nullptr;
}

// A process we watch end; closed exactly once.
class Process {
 public:
  explicit Process(DWORD id) : handle_(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id)) {}
  ~Process() {
    if (handle_ != nullptr) CloseHandle(handle_);
  }
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  static DWORD IdOf(HWND window) {
    DWORD id = 0;
    if (window != nullptr) GetWindowThreadProcessId(window, &id);
    return id;
  }
  bool valid() const { return handle_ != nullptr; }
  bool ended() const { return WaitForSingleObject(handle_, 0) == WAIT_OBJECT_0; }
  DWORD exit_code() const {
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(handle_, &code);
    return code;
  }
  std::wstring image() const {
    wchar_t path[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    return QueryFullProcessImageNameW(handle_, 0, path, &size) ? std::wstring(path, size) : L"";
  }

 private:
  HANDLE handle_;
};

// Ends every agent process, including one that setup has just started and
// whose window is not there yet; used only to clean up between cases.
void EndAgents() {
  for (int round = 0; round < 5; ++round) {
    std::vector<DWORD> agents;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
      if (_wcsicmp(entry.szExeFile, L"qx27agent.exe") == 0) agents.push_back(entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    if (agents.empty()) return;
    for (DWORD id : agents) {
      HANDLE agent = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, id);
      if (agent == nullptr) continue;
      for (int i = 0; i < 300 && WaitForSingleObject(agent, 0) == WAIT_TIMEOUT; ++i) {
        HWND window = FindWindowW(nullptr, kAgentTitle);
        if (window != nullptr && Process::IdOf(window) == id) PostMessageW(window, WM_CLOSE, 0, 0);
        Sleep(100);
      }
      if (WaitForSingleObject(agent, 0) == WAIT_TIMEOUT) TerminateProcess(agent, 99);
      WaitForSingleObject(agent, 10000);
      CloseHandle(agent);
    }
  }
}

bool WaitUntil(DWORD limit_ms, bool (*done)()) {
  for (DWORD waited = 0; waited < limit_ms; waited += 100) {
    if (done()) return true;
    Sleep(100);
  }
  return done();
}

using qx27::test::ManifestOf;

std::wstring Lower(std::wstring text) {
  for (auto& c : text) c = static_cast<wchar_t>(towlower(c));
  return text;
}

class SetupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Exists(Env(L"QX27_SETUP"))) << "QX27_SETUP must name qx27-setup.exe";
    ASSERT_TRUE(Exists(Env(L"QX27_BIN") + L"\\qx27agent.exe")) << "QX27_BIN must name the build's bin folder";
    // Each case starts from a user who never had the agent.
    EndAgents();
    std::error_code error;
    std::filesystem::remove_all(std::filesystem::path(InstallFolder()), error);
    ASSERT_FALSE(error) << error.message();
    std::filesystem::remove_all(std::filesystem::path(ShellFolder(CSIDL_APPDATA) + L"\\VORN"), error);
    ASSERT_FALSE(error) << error.message();
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, kRunValue);
    RegDeleteTreeW(HKEY_CURRENT_USER, kUninstallKey);
    RegDeleteKeyW(HKEY_CURRENT_USER, kUninstallKey);
    ASSERT_EQ(FindWindowW(nullptr, kAgentTitle), nullptr);
    ASSERT_FALSE(Exists(InstallFolder()));
    ASSERT_FALSE(Exists(SettingsFolder()));
  }
  void TearDown() override { EndAgents(); }

  static std::optional<std::string> BuiltFile(const wchar_t* name) {
    return ReadBytes(Env(L"QX27_BIN") + L"\\" + name);
  }
};

TEST_F(SetupTest, SilentInstallPutsEveryFileInPlaceAndLeavesTheInstalledAgentRunning) {
  ASSERT_EQ(RunSetup(), 0u);

  for (const wchar_t* name : kProgramFiles) {
    const auto installed = ReadBytes(InstallFolder() + L"\\" + name);
    ASSERT_TRUE(installed.has_value()) << "missing " << std::filesystem::path(name).string();
    EXPECT_EQ(installed, BuiltFile(name)) << std::filesystem::path(name).string() << " differs from the build's";
  }
  EXPECT_TRUE(Exists(Uninstaller()));
  EXPECT_FALSE(Exists(InstallFolder() + L"\\Mantle.exe")) << "the companion UI is not setup's to ship";

  HWND window = WaitForReadyAgent();
  ASSERT_NE(window, nullptr) << "no agent window after setup";
  EXPECT_EQ(CountAgentWindows(), 1);
  Process agent(Process::IdOf(window));
  ASSERT_TRUE(agent.valid());
  EXPECT_EQ(Lower(agent.image()), Lower(InstalledAgent())) << "the running agent is not the installed one";
}

TEST_F(SetupTest, SetupAndItsUninstallerAskForNoRightsNameWindowsTenAndAreAwareOfEachMonitorsScale) {
  ASSERT_EQ(RunSetup(), 0u);
  for (const std::wstring& program : {Env(L"QX27_SETUP"), Uninstaller()}) {
    SCOPED_TRACE(std::filesystem::path(program).filename().string());
    const std::string manifest = ManifestOf(program);
    ASSERT_FALSE(manifest.empty());
    const auto has = [&](const char* text) { return manifest.find(text) != std::string::npos; };
    EXPECT_TRUE(has(R"(<requestedExecutionLevel level="asInvoker")"));
    EXPECT_TRUE(has(R"(<supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/>)"));
    EXPECT_TRUE(has(">PerMonitorV2,System</dpiAwareness>"));
  }
}

TEST_F(SetupTest, SilentInstallStartsTheAgentAtLogonAndGivesItAFolderForTheSettings) {
  ASSERT_EQ(RunSetup(), 0u);

  EXPECT_EQ(RegString(kRunKey, kRunValue), L"\"" + InstalledAgent() + L"\"");
  EXPECT_TRUE(Exists(SettingsFolder()));
  // With its folder there, the agent stores its settings at start-up.
  ASSERT_NE(WaitForReadyAgent(), nullptr);
  EXPECT_TRUE(WaitUntil(10000, [] { return Exists(SettingsFile()); })) << "the agent wrote no settings file";
}

TEST_F(SetupTest, SilentInstallRegistersItsUninstallerForTheCurrentUser) {
  ASSERT_EQ(RunSetup(), 0u);
  ASSERT_TRUE(KeyExists(kUninstallKey));

  EXPECT_EQ(RegString(kUninstallKey, L"DisplayName").value_or(L"").find(L"VORN ELDAN QX27"), 0u);
  // The project's version, which the installed agent carries as x.y.z.0.
  const std::wstring version = Env(L"QX27_VERSION");
  ASSERT_FALSE(version.empty()) << "QX27_VERSION must name the project version";
  EXPECT_EQ(RegString(kUninstallKey, L"DisplayVersion"), version);
  EXPECT_EQ(FileVersion(InstalledAgent()), version + L".0");
  EXPECT_EQ(RegString(kUninstallKey, L"Publisher"), L"VORN");
  EXPECT_EQ(RegString(kUninstallKey, L"DisplayIcon"), InstalledAgent() + L",0");
  EXPECT_EQ(RegString(kUninstallKey, L"InstallLocation"), InstallFolder());
  EXPECT_EQ(RegString(kUninstallKey, L"UninstallString"), L"\"" + Uninstaller() + L"\"");
  EXPECT_EQ(RegString(kUninstallKey, L"QuietUninstallString"), L"\"" + Uninstaller() + L"\" /S");
  EXPECT_EQ(RegDword(kUninstallKey, L"NoModify"), 1u);
  EXPECT_EQ(RegDword(kUninstallKey, L"NoRepair"), 1u);

  // The size in KiB of what was installed, give or take a rounding per file.
  std::uintmax_t bytes = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(std::filesystem::path(InstallFolder()))) {
    if (entry.is_regular_file()) bytes += entry.file_size();
  }
  const auto size = RegDword(kUninstallKey, L"EstimatedSize");
  ASSERT_TRUE(size.has_value());
  EXPECT_GE(*size + 6, bytes / 1024);
  EXPECT_LE(*size, bytes / 1024 + 6);
}

TEST_F(SetupTest, SilentInstallOverARunningAgentReplacesItAndKeepsTheUsersFiles) {
  ASSERT_EQ(RunSetup(), 0u);
  HWND first_window = WaitForReadyAgent();
  ASSERT_NE(first_window, nullptr);
  const DWORD first_id = Process::IdOf(first_window);
  Process first(first_id);
  ASSERT_TRUE(first.valid());

  const std::string macros = OddMacroFile();
  ASSERT_TRUE(WriteBytes(SettingsFile(), kOddSettings));
  ASSERT_TRUE(WriteBytes(MacroFile(), macros));
  // A file setup must replace, and a companion UI it must leave alone.
  ASSERT_TRUE(WriteBytes(InstallFolder() + L"\\Lan\\skin_En.ini", "stale"));
  ASSERT_TRUE(WriteBytes(InstallFolder() + L"\\Mantle.exe", "companion"));

  ASSERT_EQ(RunSetup(), 0u);

  EXPECT_TRUE(first.ended()) << "setup left the old agent running";
  EXPECT_EQ(first.exit_code(), 0u) << "the old agent did not end through WM_CLOSE";
  HWND window = WaitForReadyAgent();
  ASSERT_NE(window, nullptr) << "no agent running after the upgrade";
  EXPECT_NE(Process::IdOf(window), first_id);
  EXPECT_EQ(CountAgentWindows(), 1);

  EXPECT_EQ(ReadBytes(InstallFolder() + L"\\Lan\\skin_En.ini"), BuiltFile(L"Lan\\skin_En.ini"));
  EXPECT_EQ(ReadBytes(InstalledAgent()), BuiltFile(L"qx27agent.exe"));
  EXPECT_EQ(ReadBytes(InstallFolder() + L"\\Mantle.exe"), "companion");
  EXPECT_EQ(ReadBytes(SettingsFile()), kOddSettings);
  EXPECT_EQ(ReadBytes(MacroFile()), macros);
}

TEST_F(SetupTest, SilentUninstallEndsTheAgentRemovesWhatSetupAddedAndKeepsTheUsersFiles) {
  ASSERT_EQ(RunSetup(), 0u);
  HWND window = WaitForReadyAgent();
  ASSERT_NE(window, nullptr);
  Process agent(Process::IdOf(window));
  ASSERT_TRUE(agent.valid());
  const std::string macros = OddMacroFile();
  ASSERT_TRUE(WriteBytes(SettingsFile(), kOddSettings));
  ASSERT_TRUE(WriteBytes(MacroFile(), macros));

  // As Windows would run it. The uninstaller copies itself away and goes on
  // from the copy, so its exit says nothing; its last step is the entry.
  const auto quiet = RegString(kUninstallKey, L"QuietUninstallString");
  ASSERT_TRUE(quiet.has_value());
  ASSERT_EQ(RunCommand(*quiet, kSetupLimitMs), 0u);
  EXPECT_TRUE(WaitUntil(kSetupLimitMs, [] { return !KeyExists(kUninstallKey) && !Exists(InstallFolder()); }))
      << "the uninstaller did not finish";

  EXPECT_TRUE(agent.ended()) << "the agent is still running";
  EXPECT_EQ(agent.exit_code(), 0u) << "the agent did not end through WM_CLOSE";
  EXPECT_EQ(FindWindowW(nullptr, kAgentTitle), nullptr);
  for (const wchar_t* name : kProgramFiles) {
    EXPECT_FALSE(Exists(InstallFolder() + L"\\" + name)) << std::filesystem::path(name).string() << " is left";
  }
  EXPECT_FALSE(Exists(InstallFolder()));
  EXPECT_EQ(RegString(kRunKey, kRunValue), std::nullopt);
  EXPECT_FALSE(KeyExists(kUninstallKey));
  EXPECT_EQ(ReadBytes(SettingsFile()), kOddSettings);
  EXPECT_EQ(ReadBytes(MacroFile()), macros);
}

// A window with the agent's title that ignores WM_CLOSE, as a hung agent would.
class StubbornAgentWindow {
 public:
  StubbornAgentWindow() : ready_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    thread_ = CreateThread(nullptr, 0, &StubbornAgentWindow::Main, this, 0, &thread_id_);
    WaitForSingleObject(ready_, 10000);
  }
  ~StubbornAgentWindow() {
    PostThreadMessageW(thread_id_, WM_QUIT, 0, 0);
    WaitForSingleObject(thread_, 10000);
    CloseHandle(thread_);
    CloseHandle(ready_);
  }
  StubbornAgentWindow(const StubbornAgentWindow&) = delete;
  StubbornAgentWindow& operator=(const StubbornAgentWindow&) = delete;
  HWND window() const { return window_; }

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_CLOSE) return 0;
    return DefWindowProcW(window, message, wparam, lparam);
  }
  static DWORD WINAPI Main(void* self_pointer) {
    auto* self = static_cast<StubbornAgentWindow*>(self_pointer);
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = Proc;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = L"qx27.stubborn";
    RegisterClassW(&window_class);
    self->window_ = CreateWindowExW(0, window_class.lpszClassName, kAgentTitle, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                    window_class.hInstance, nullptr);
    SetEvent(self->ready_);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    DestroyWindow(self->window_);
    return 0;
  }

  HANDLE ready_;
  HANDLE thread_ = nullptr;
  DWORD thread_id_ = 0;
  HWND window_ = nullptr;
};

TEST_F(SetupTest, SetupGivesUpBeforeTouchingAnythingWhenTheAgentWillNotClose) {
  StubbornAgentWindow stubborn;
  ASSERT_NE(stubborn.window(), nullptr);

  const ULONGLONG start = GetTickCount64();
  const auto code = RunCommand(L"\"" + Env(L"QX27_SETUP") + L"\" /S", kGiveUpLimitMs);
  ASSERT_TRUE(code.has_value()) << "setup waited without bound";
  EXPECT_EQ(*code, 2u);
  EXPECT_GE(GetTickCount64() - start, 5000u) << "setup did not wait for the agent at all";

  EXPECT_TRUE(IsWindow(stubborn.window()));
  EXPECT_EQ(CountAgentWindows(), 1) << "setup started a second agent";
  EXPECT_FALSE(Exists(InstalledAgent()));
  EXPECT_EQ(RegString(kRunKey, kRunValue), std::nullopt);
  EXPECT_FALSE(KeyExists(kUninstallKey));
}

}  // namespace
