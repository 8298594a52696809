// Linux stand-ins for the registry and system parameters, the shell and the
// module ports. Each keeps what the agent asked of it, in order, so tests can
// check the exact calls, and answers as Windows would.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ports/module_port.h"
#include "ports/shell_port.h"
#include "ports/system_settings_port.h"

namespace qx27::linux_host {

// A registry of keys and string values, and the live pointer parameters.
class RecordingSystemSettings final : public SystemSettingsPort {
 public:
  struct SpiCall {
    std::uint32_t action = 0;
    std::uint32_t ui_param = 0;
    std::vector<std::int32_t> array;  // when pvParam pointed to three integers
    std::uintptr_t value = 0;         // when pvParam carried a value
    std::uint32_t update_flags = 0;
    bool operator==(const SpiCall&) const = default;
  };

  RegistryHandle OpenKey(RegistryRoot root, std::u16string_view sub_key, std::uint32_t access) override;
  RegistryHandle CreateKey(RegistryRoot root, std::u16string_view sub_key) override;
  bool SetStringValue(RegistryHandle key, std::u16string_view name, std::span<const char16_t> data) override;
  void CloseKey(RegistryHandle key) override;
  bool SetDoubleClickTime(std::uint32_t milliseconds) override;
  bool SystemParametersInfoArray(std::uint32_t action, std::uint32_t ui_param, std::span<std::int32_t, 3> values,
                                 std::uint32_t update_flags) override;
  bool SystemParametersInfoValue(std::uint32_t action, std::uint32_t ui_param, std::uintptr_t pv_param,
                                 std::uint32_t update_flags) override;

  // ---- for tests ----
  void AddKey(RegistryRoot root, std::u16string_view sub_key);
  bool KeyExists(RegistryRoot root, std::u16string_view sub_key) const;
  std::optional<std::u16string> Value(RegistryRoot root, std::u16string_view sub_key, std::u16string_view name) const;
  // Raw bytes of the last write of a value, terminator included.
  std::vector<char16_t> RawValue(RegistryRoot root, std::u16string_view sub_key, std::u16string_view name) const;
  std::vector<SpiCall> SpiCalls() const;
  std::vector<std::uint32_t> DoubleClickTimes() const;
  int open_keys() const;
  int bad_closes() const;

 private:
  using KeyId = std::pair<std::uint32_t, std::u16string>;  // root, lower-cased path
  static KeyId Id(RegistryRoot root, std::u16string_view sub_key);

  mutable std::mutex mutex_;
  std::map<KeyId, std::map<std::u16string, std::vector<char16_t>>> keys_;
  std::map<RegistryHandle, KeyId> open_;
  RegistryHandle next_ = 0x400;
  std::vector<SpiCall> spi_calls_;
  std::vector<std::uint32_t> double_click_times_;
  int bad_closes_ = 0;
};

// The shell: tray icon, menus and program starts, all recorded.
class RecordingShell final : public ShellPort {
 public:
  struct TrayCall {
    bool add = false;  // false: delete
    TrayIconData data;
  };
  struct MenuItem {
    std::uint32_t id = 0;
    std::u16string text;
  };
  struct MenuShown {
    std::vector<MenuItem> items;
    std::uint32_t flags = 0;
    int x = 0, y = 0;
    WindowHandle owner = 0;
  };
  struct Launch {
    std::u16string path;
    int show_command = 0;
  };

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

  // ---- for tests ----
  // An empty folder makes the lookup fail.
  void SetAppDataFolder(std::u16string folder) { app_data_ = std::move(folder); }
  void SetCursor(CursorPosition position) { cursor_ = position; }
  // Runs while the menu is open, as the user's choice would.
  void OnMenuShown(std::function<void(const MenuShown&)> choose) { choose_ = std::move(choose); }
  std::vector<TrayCall> TrayCalls() const { return tray_calls_; }
  std::vector<MenuShown> MenusShown() const { return menus_shown_; }
  std::vector<Launch> Launches() const { return launches_; }
  std::vector<WindowHandle> ForegroundRequests() const { return foreground_; }
  int live_menus() const { return static_cast<int>(menus_.size()); }

 private:
  std::u16string app_data_ = u"C:\\Users\\user\\AppData\\Roaming";
  CursorPosition cursor_{640, 400};
  std::function<void(const MenuShown&)> choose_;
  std::vector<TrayCall> tray_calls_;
  std::vector<Launch> launches_;
  std::vector<WindowHandle> foreground_;
  std::map<MenuHandle, std::vector<MenuItem>> menus_;
  std::vector<MenuShown> menus_shown_;
  MenuHandle next_menu_ = 0x900;
};

// The agent's own file name and DLLs that exist as in-process functions.
class FakeModules final : public ModulePort {
 public:
  using Export = std::function<std::int32_t(std::int32_t, std::int32_t)>;

  std::size_t GetOwnFileName(std::span<char16_t, 260> buffer) override;
  ModuleHandle LoadDll(std::u16string_view path) override;
  bool CallExport(ModuleHandle module, const char* export_name, std::int32_t first, std::int32_t second,
                  std::int32_t& result) override;
  void FreeDll(ModuleHandle module) override;

  // ---- for tests ----
  void SetOwnFileName(std::u16string path) { own_file_name_ = std::move(path); }
  // A DLL at `path`; with no export of that name when `name` is empty.
  void AddLibrary(std::u16string path, std::string export_name, Export function);
  void RemoveLibrary(std::u16string_view path);
  std::vector<std::u16string> LoadAttempts() const { return load_attempts_; }
  int loaded_now() const { return static_cast<int>(loaded_.size()); }

 private:
  struct Library {
    std::string export_name;
    Export function;
  };
  std::u16string own_file_name_ = u"C:\\Program Files\\VORN\\ELDAN QX27\\qx27agent.exe";
  std::map<std::u16string, Library> libraries_;
  std::map<ModuleHandle, std::u16string> loaded_;
  std::vector<std::u16string> load_attempts_;
  ModuleHandle next_ = 0x10000000;
};

}  // namespace qx27::linux_host
