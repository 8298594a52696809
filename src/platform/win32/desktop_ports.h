// The registry and system parameters, the shell, and module loading on Win32.
#pragma once

#include "ports/module_port.h"
#include "ports/shell_port.h"
#include "ports/system_settings_port.h"

namespace qx27::win32 {

class Win32SystemSettings final : public SystemSettingsPort {
 public:
  RegistryHandle OpenKey(RegistryRoot root, std::u16string_view sub_key, std::uint32_t access) override;
  RegistryHandle CreateKey(RegistryRoot root, std::u16string_view sub_key) override;
  bool SetStringValue(RegistryHandle key, std::u16string_view name, std::span<const char16_t> data) override;
  void CloseKey(RegistryHandle key) override;
  bool SetDoubleClickTime(std::uint32_t milliseconds) override;
  bool SystemParametersInfoArray(std::uint32_t action, std::uint32_t ui_param, std::span<std::int32_t, 3> values,
                                 std::uint32_t update_flags) override;
  bool SystemParametersInfoValue(std::uint32_t action, std::uint32_t ui_param, std::uintptr_t pv_param,
                                 std::uint32_t update_flags) override;
};

class Win32Shell final : public ShellPort {
 public:
  bool GetAppDataFolder(std::span<char16_t, 260> folder) override;
  IconHandle LoadAgentIcon(int resource_id) override;
  bool AddNotifyIcon(const TrayIconData& data) override;
  bool DeleteNotifyIcon(const TrayIconData& data) override;
  void ShellOpen(std::u16string_view path, int show_command) override;
  void ForegroundLastActivePopup(WindowHandle window) override;
  MenuHandle CreatePopupMenu() override;
  bool AppendMenuString(MenuHandle menu, std::uint32_t id, std::u16string_view text) override;
  CursorPosition GetCursorPos() override;
  void TrackPopupMenu(MenuHandle menu, std::uint32_t flags, int x, int y, WindowHandle owner) override;
  void DestroyMenu(MenuHandle menu) override;
};

class Win32Modules final : public ModulePort {
 public:
  std::size_t GetOwnFileName(std::span<char16_t, 260> buffer) override;
  ModuleHandle LoadDll(std::u16string_view path) override;
  bool CallExport(ModuleHandle module, const char* export_name, std::int32_t first, std::int32_t second,
                  std::int32_t& result) override;
  void FreeDll(ModuleHandle module) override;
};

}  // namespace qx27::win32
