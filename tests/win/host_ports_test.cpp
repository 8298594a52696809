// The host integration on the real Win32 ports, under Wine: pointer settings
// read back from the system, the tray reaching the shell, the companion UI
// started from the agent folder, and the presence check without a usable DLL.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/agent_window.h"
#include "common/text.h"
#include "host/companion.h"
#include "host/pointer_settings.h"
#include "host/tray_icon.h"
#include "platform/win32/clock_and_debug.h"
#include "platform/win32/desktop_ports.h"
#include "platform/win32/hid_port.h"
#include "platform/win32/ini_port.h"
#include "platform/win32/window_port.h"
#include "support/pointer_preferences.h"

namespace qx27 {
namespace {

std::wstring OwnFolder() {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path(self);
  return path.substr(0, path.find_last_of(L'\\'));
}

// Wine takes SPI_SETMOUSESPEED's speed from uiParam where Windows takes it
// from pvParam (Wine 8's sysparams.c); the agent follows Windows.
bool RunningUnderWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

std::wstring ReadMouseValue(const wchar_t* name) {
  wchar_t data[64] = {};
  DWORD size = sizeof(data) - sizeof(wchar_t);
  if (RegGetValueW(HKEY_CURRENT_USER, L"Control Panel\\Mouse", name, RRF_RT_REG_SZ, nullptr, data, &size) !=
      ERROR_SUCCESS) {
    return L"<missing>";
  }
  return data;
}

struct Win32Ports {
  win32::Win32HidPort hid;
  win32::Win32Windows windows;
  win32::Win32IniPort ini;
  win32::Win32SystemSettings system_settings;
  win32::Win32Shell shell;
  win32::Win32Clock clock;
  win32::Win32DebugOutput debug;
  win32::Win32Modules modules;
  Ports ports{hid, windows, ini, system_settings, shell, clock, debug, modules};
};

using test::Preferences;

class HostPortsTest : public ::testing::Test, protected Win32Ports {};

TEST_F(HostPortsTest, PointerSettingsReadBackFromTheRegistryAndTheLiveSystem) {
  RegistryKey key(system_settings);
  RefreshMouseSettings(system_settings, debug, key, Preferences(10, 7, 0, 8, 1));
  RefreshMouseSettings(system_settings, debug, key, Preferences(10, 7, 0, 8, 1));  // now the key exists

  EXPECT_EQ(ReadMouseValue(L"DoubleClickSpeed"), L"200");
  EXPECT_EQ(ReadMouseValue(L"MouseSpeed"), L"1");
  EXPECT_EQ(ReadMouseValue(L"MouseThreshold1"), L"6");
  EXPECT_EQ(ReadMouseValue(L"MouseThreshold2"), L"10");
  EXPECT_EQ(GetDoubleClickTime(), 200u);
  int mouse[3] = {};
  ASSERT_TRUE(SystemParametersInfoW(SPI_GETMOUSE, 0, mouse, 0));
  EXPECT_EQ(mouse[0], 6);
  EXPECT_EQ(mouse[1], 10);
  EXPECT_EQ(mouse[2], 1);
  int speed = 0;
  ASSERT_TRUE(SystemParametersInfoW(SPI_GETMOUSESPEED, 0, &speed, 0));
  if (!RunningUnderWine()) {
    EXPECT_EQ(speed, 16);
  }
  UINT lines = 0;
  ASSERT_TRUE(SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0));
  EXPECT_EQ(lines, 7u);

  RefreshMouseSettings(system_settings, debug, key, Preferences(4, 7, 1, 5, 0));
  ASSERT_TRUE(SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0));
  EXPECT_EQ(lines, WHEEL_PAGESCROLL);
  ASSERT_TRUE(SystemParametersInfoW(SPI_GETMOUSE, 0, mouse, 0));
  EXPECT_EQ(mouse[2], 0);
  EXPECT_EQ(ReadMouseValue(L"MouseThreshold2"), L"0");
  EXPECT_EQ(ReadMouseValue(L"DoubleClickSpeed"), L"680");
  EXPECT_EQ(GetDoubleClickTime(), 680u);
}

// A plain hidden window to own the icon, as the agent's does.
class IconOwner final : public MessageTarget {
 public:
  LResult WindowProc(WindowHandle window, std::uint32_t message, WParam wparam, LParam lparam) override {
    return DefWindowProcW(reinterpret_cast<HWND>(window), message, wparam, lparam);
  }
};

TEST_F(HostPortsTest, TrayAddAndDeleteReachTheShellWithTheAgentsRecord) {
  IconOwner owner;
  WindowCreateParams params;
  params.title = u"qx27 tray test";
  params.style = 0x80000000u;
  const WindowHandle window = windows.CreateTopLevelWindow(params, owner);
  ASSERT_NE(window, 0u);
  TrayIcon icon;
  icon.Fill(shell, window);
  EXPECT_EQ(icon.data().cbSize, 952u);
  icon.Add(shell);
  EXPECT_TRUE(icon.shown());
  // The shell has the icon: a modify of the same record is accepted now and
  // refused once it has been deleted.
  NOTIFYICONDATAW probe{};
  probe.cbSize = 952;
  probe.hWnd = reinterpret_cast<HWND>(window);
  probe.uID = 128;
  EXPECT_TRUE(Shell_NotifyIconW(NIM_MODIFY, &probe));
  icon.Remove(shell);
  EXPECT_FALSE(icon.shown());
  EXPECT_FALSE(Shell_NotifyIconW(NIM_MODIFY, &probe));
  DestroyWindow(reinterpret_cast<HWND>(window));
}

TEST_F(HostPortsTest, CompanionIsStartedFromTheAgentFolderOnlyWhenItsWindowIsAbsent) {
  const std::filesystem::path marker = std::filesystem::path(OwnFolder()) / "Mantle.started";
  std::filesystem::remove(marker);

  IconOwner companion;
  WindowCreateParams params;
  params.title = u"VORN ELDAN QX27";
  const WindowHandle running = windows.CreateTopLevelWindow(params, companion);
  ASSERT_NE(running, 0u);
  LaunchCompanionUI(ports);
  Sleep(1500);
  EXPECT_FALSE(std::filesystem::exists(marker)) << "a running companion UI is left alone";
  DestroyWindow(reinterpret_cast<HWND>(running));

  LaunchCompanionUI(ports);
  for (int waited = 0; waited < 100 && !std::filesystem::exists(marker); ++waited) Sleep(100);
  EXPECT_TRUE(std::filesystem::exists(marker)) << "Mantle.exe beside the agent was started";
  std::filesystem::remove(marker);
}

TEST_F(HostPortsTest, PresenceCheckWithADllLackingTheProbeStoresDeviceZero) {
  // The agent's own folder holds an Idwatch.dll without "IdwatchProbe".
  EXPECT_EQ(ProbeDevicePresence(ports), 0);

  std::array<char16_t, 260> app_data{};
  ASSERT_TRUE(shell.GetAppDataFolder(app_data));
  const std::filesystem::path folder =
      std::filesystem::path(std::wstring(app_data.begin(), app_data.begin() + FieldLength(app_data))) / "VORN" /
      "ELDAN QX27";
  std::filesystem::create_directories(folder);
  const std::wstring settings = (folder / "GamingMouse").wstring();
  WritePrivateProfileStringW(L"Setting", L"Device", L"5", settings.c_str());

  CMyWnd agent(ports);
  ASSERT_EQ(agent.CreateAgentWindow(), 1);
  SendMessageW(reinterpret_cast<HWND>(agent.handle()), WM_TIMER, 100002, 0);
  EXPECT_EQ(GetPrivateProfileIntW(L"Setting", L"Device", -1, settings.c_str()), 0);
  SendMessageW(reinterpret_cast<HWND>(agent.handle()), WM_CLOSE, 0, 0);
}

}  // namespace
}  // namespace qx27
