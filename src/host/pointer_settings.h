// The Windows pointer settings of the active profile: double-click time,
// pointer acceleration and speed, wheel scroll lines, applied live and stored
// in the current user's "Control Panel\Mouse" registry key.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "ports/debug_port.h"
#include "ports/port_handle.h"
#include "ports/system_settings_port.h"
#include "settings/settings_record.h"

namespace qx27 {

// One registry key, opened by a full path that names its root.
class RegistryKey {
 public:
  explicit RegistryKey(SystemSettingsPort& port) : port_(port) {}
  ~RegistryKey() { Close(); }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  // Closes any key held, then opens the key, or creates it when it does not
  // open. Gives false when both fail or the path cannot be parsed.
  bool OpenOrCreate(std::u16string_view full_path, std::uint32_t access);
  // Stores a REG_SZ value, terminator included in its size.
  bool SetString(std::u16string_view name, std::u16string_view text);
  void Close();

  bool is_open() const { return static_cast<bool>(key_); }
  RegistryRoot root() const { return root_; }
  std::u16string_view path() const;

  // Splits "ROOT\sub\key" at its first backslash. An unknown first component
  // selects HKEY_LOCAL_MACHINE with the whole text as the sub-key. Gives
  // false for a text without a backslash or a sub-key that does not fit.
  static bool ParsePath(std::u16string_view full_path, RegistryRoot& root, std::array<char16_t, kPathUnits>& sub_key);

 private:
  SystemSettingsPort& port_;
  UniqueRegistryKey key_;
  RegistryRoot root_ = RegistryRoot::kLocalMachine;
  std::array<char16_t, kPathUnits> path_{};
};

void RefreshDoubleClickSpeed(SystemSettingsPort& port, const ProfileRecord& profile);
void RefreshMouseMoveSpeed(SystemSettingsPort& port, RegistryKey& key, const ProfileRecord& profile);
void RefreshScrollLine(SystemSettingsPort& port, const ProfileRecord& profile);

// The three steps in order, each followed by its line on the debugger output.
void RefreshMouseSettings(SystemSettingsPort& port, DebugPort& debug, RegistryKey& key, const ProfileRecord& profile);

}  // namespace qx27
