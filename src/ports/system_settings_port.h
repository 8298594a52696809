// Port: the per-user registry and the live system parameters of the pointer.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace qx27 {

using RegistryHandle = std::uintptr_t;  // 0: no key

// The predefined roots, by the value Windows gives them.
enum class RegistryRoot : std::uint32_t {
  kClassesRoot = 0x80000000u,
  kCurrentUser = 0x80000001u,
  kLocalMachine = 0x80000002u,
  kCurrentConfig = 0x80000005u,
};

class SystemSettingsPort {
 public:
  virtual ~SystemSettingsPort() = default;

  // RegOpenKeyExW; gives 0 when the key does not open.
  virtual RegistryHandle OpenKey(RegistryRoot root, std::u16string_view sub_key, std::uint32_t access) = 0;
  // RegCreateKeyW; gives 0 on failure.
  virtual RegistryHandle CreateKey(RegistryRoot root, std::u16string_view sub_key) = 0;
  // RegSetValueExW with REG_SZ; `data` is the UTF-16 text with its terminator.
  virtual bool SetStringValue(RegistryHandle key, std::u16string_view name, std::span<const char16_t> data) = 0;
  virtual void CloseKey(RegistryHandle key) = 0;

  virtual bool SetDoubleClickTime(std::uint32_t milliseconds) = 0;
  // SystemParametersInfoW with a pointer to three integers as pvParam.
  virtual bool SystemParametersInfoArray(std::uint32_t action, std::uint32_t ui_param,
                                         std::span<std::int32_t, 3> values, std::uint32_t update_flags) = 0;
  // SystemParametersInfoW with pvParam carrying a value (or null for 0).
  virtual bool SystemParametersInfoValue(std::uint32_t action, std::uint32_t ui_param, std::uintptr_t pv_param,
                                         std::uint32_t update_flags) = 0;
};

}  // namespace qx27
