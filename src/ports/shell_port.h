// Port: the shell — notification-area icon, pop-up menu, starting programs and
// the per-user application-data folder.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "ports/window_port.h"

namespace qx27 {

using MenuHandle = std::uintptr_t;  // 0: none
using IconHandle = std::uintptr_t;  // 0: none

// The agent's notification-icon record. The Win32 port turns it into the
// shell's NOTIFYICONDATAW in its version-3 layout (cbSize 952).
struct TrayIconData {
  std::uint32_t cbSize = 0;
  WindowHandle window = 0;
  std::uint32_t id = 0;
  std::uint32_t flags = 0;
  std::uint32_t callback_message = 0;
  IconHandle icon = 0;
  char16_t tip[128] = {};
};

struct CursorPosition {
  int x = 0;
  int y = 0;
};

class ShellPort {
 public:
  virtual ~ShellPort() = default;

  // SHGetFolderPathW(CSIDL_APPDATA | CSIDL_FLAG_CREATE) into a 260-unit
  // buffer; gives false when the folder cannot be obtained.
  virtual bool GetAppDataFolder(std::span<char16_t, 260> folder) = 0;
  // LoadIconW of the agent's own icon resource.
  virtual IconHandle LoadAgentIcon(int resource_id) = 0;

  virtual bool AddNotifyIcon(const TrayIconData& data) = 0;     // NIM_ADD
  virtual bool DeleteNotifyIcon(const TrayIconData& data) = 0;  // NIM_DELETE

  // ShellExecuteW(no owner, "open", path, no parameters, no directory, show).
  virtual void ShellOpen(std::u16string_view path, int show_command) = 0;

  // SetForegroundWindow(GetLastActivePopup(window)).
  virtual void ForegroundLastActivePopup(WindowHandle window) = 0;
  virtual MenuHandle CreatePopupMenu() = 0;
  virtual bool AppendMenuString(MenuHandle menu, std::uint32_t id, std::u16string_view text) = 0;
  virtual CursorPosition GetCursorPos() = 0;
  // Returns when the menu has closed; a chosen item is posted as WM_COMMAND.
  virtual void TrackPopupMenu(MenuHandle menu, std::uint32_t flags, int x, int y, WindowHandle owner) = 0;
  virtual void DestroyMenu(MenuHandle menu) = 0;
};

}  // namespace qx27
