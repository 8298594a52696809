// The shell port of qx27agentd and qx27ctl. The shell has one task on Linux:
// the XDG configuration home stands for the application-data folder. No tray
// icon is shown (adding one fails, so the core keeps it hidden), no menu is
// made, no program is started.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <utility>

#include "ports/shell_port.h"

namespace qx27::session {

class XdgShell final : public ShellPort {
 public:
  // `config_home`: empty when none is known; the core then runs on defaults
  // and writes no file, as on Windows without an application-data folder.
  explicit XdgShell(std::string config_home) : config_home_(std::move(config_home)) {}

  bool GetAppDataFolder(std::span<char16_t, 260> folder) override;
  IconHandle LoadAgentIcon(int) override { return 0; }
  bool AddNotifyIcon(const TrayIconData&) override { return false; }
  bool DeleteNotifyIcon(const TrayIconData&) override { return false; }
  void ShellOpen(std::u16string_view, int) override {}
  void ForegroundLastActivePopup(WindowHandle) override {}
  MenuHandle CreatePopupMenu() override { return 0; }
  bool AppendMenuString(MenuHandle, std::uint32_t, std::u16string_view) override { return false; }
  CursorPosition GetCursorPos() override { return {}; }
  void TrackPopupMenu(MenuHandle, std::uint32_t, int, int, WindowHandle) override {}
  void DestroyMenu(MenuHandle) override {}

 private:
  std::string config_home_;
};

}  // namespace qx27::session
