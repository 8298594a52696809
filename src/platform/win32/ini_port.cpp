#include "platform/win32/ini_port.h"

#include <windows.h>

#include <vector>

#include "platform/win32/wide.h"

namespace qx27::win32 {

std::uint32_t Win32IniPort::ReadInt(std::u16string_view section, std::u16string_view key, std::int32_t default_value,
                                    std::u16string_view path) {
  return GetPrivateProfileIntW(Wide(section).c_str(), Wide(key).c_str(), default_value, Wide(path).c_str());
}

std::size_t Win32IniPort::ReadString(std::u16string_view section, std::u16string_view key,
                                     std::u16string_view default_value, std::span<char16_t> buffer,
                                     std::u16string_view path) {
  if (buffer.empty()) return 0;
  std::vector<wchar_t> wide(buffer.size());
  const DWORD n = GetPrivateProfileStringW(Wide(section).c_str(), Wide(key).c_str(), Wide(default_value).c_str(),
                                           wide.data(), static_cast<DWORD>(wide.size()), Wide(path).c_str());
  std::copy(wide.begin(), wide.end(), buffer.begin());
  buffer[buffer.size() - 1] = u'\0';
  return n;
}

bool Win32IniPort::ReadStruct(std::u16string_view section, std::u16string_view key, std::span<std::uint8_t> bytes,
                              std::u16string_view path) {
  return GetPrivateProfileStructW(Wide(section).c_str(), Wide(key).c_str(), bytes.data(),
                                  static_cast<UINT>(bytes.size()), Wide(path).c_str()) != FALSE;
}

bool Win32IniPort::WriteString(std::u16string_view section, std::u16string_view key, std::u16string_view value,
                               std::u16string_view path) {
  return WritePrivateProfileStringW(Wide(section).c_str(), Wide(key).c_str(), Wide(value).c_str(),
                                    Wide(path).c_str()) != FALSE;
}

bool Win32IniPort::WriteStruct(std::u16string_view section, std::u16string_view key,
                               std::span<const std::uint8_t> bytes, std::u16string_view path) {
  std::vector<std::uint8_t> copy(bytes.begin(), bytes.end());
  return WritePrivateProfileStructW(Wide(section).c_str(), Wide(key).c_str(), copy.data(),
                                    static_cast<UINT>(copy.size()), Wide(path).c_str()) != FALSE;
}

}  // namespace qx27::win32
