// Win32 INI port: the private-profile functions of kernel32.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "ports/ini_port.h"

namespace qx27::win32 {

class Win32IniPort final : public IniPort {
 public:
  std::uint32_t ReadInt(std::u16string_view section, std::u16string_view key, std::int32_t default_value,
                        std::u16string_view path) override;
  std::size_t ReadString(std::u16string_view section, std::u16string_view key, std::u16string_view default_value,
                         std::span<char16_t> buffer, std::u16string_view path) override;
  bool ReadStruct(std::u16string_view section, std::u16string_view key, std::span<std::uint8_t> bytes,
                  std::u16string_view path) override;
  bool WriteString(std::u16string_view section, std::u16string_view key, std::u16string_view value,
                   std::u16string_view path) override;
  bool WriteStruct(std::u16string_view section, std::u16string_view key, std::span<const std::uint8_t> bytes,
                   std::u16string_view path) override;
  bool PathExists(std::u16string_view path) override;
};

}  // namespace qx27::win32
