#include "platform/win32/ini_port.h"

#include <windows.h>

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "platform/win32/wide.h"

namespace qx27::win32 {
namespace {

// The service takes sizes as 32-bit counts; larger buffers are used only in part.
template <typename Count>
Count CountOf(std::size_t size) {
  return static_cast<Count>(std::min<std::size_t>(size, std::numeric_limits<Count>::max()));
}

}  // namespace

std::uint32_t Win32IniPort::ReadInt(std::u16string_view section, std::u16string_view key, std::int32_t default_value,
                                    std::u16string_view path) {
  return GetPrivateProfileIntW(Wide(section).c_str(), Wide(key).c_str(), default_value, Wide(path).c_str());
}

std::size_t Win32IniPort::ReadString(std::u16string_view section, std::u16string_view key,
                                     std::u16string_view default_value, std::span<char16_t> buffer,
                                     std::u16string_view path) {
  if (buffer.empty()) return 0;
  // The service writes wchar_t; it fills a buffer of that type, which is then
  // copied, so no char16_t storage is written through another type.
  std::wstring text(CountOf<DWORD>(buffer.size()), L'\0');
  const DWORD copied = GetPrivateProfileStringW(Wide(section).c_str(), Wide(key).c_str(), Wide(default_value).c_str(),
                                                text.data(), static_cast<DWORD>(text.size()), Wide(path).c_str());
  const std::size_t n = std::min<std::size_t>(copied, text.size() - 1);
  std::copy_n(text.begin(), n, buffer.begin());
  buffer[n] = u'\0';
  return n;
}

bool Win32IniPort::ReadStruct(std::u16string_view section, std::u16string_view key, std::span<std::uint8_t> bytes,
                              std::u16string_view path) {
  // The service decodes straight into the buffer it is given and leaves what
  // it decoded there when the checksum then fails; a scratch copy keeps the
  // caller's bytes untouched on failure. Never a null buffer (see below).
  std::vector<std::uint8_t> scratch(std::max<std::size_t>(bytes.size(), 1));
  if (!GetPrivateProfileStructW(Wide(section).c_str(), Wide(key).c_str(), scratch.data(), CountOf<UINT>(bytes.size()),
                                Wide(path).c_str())) {
    return false;
  }
  std::copy_n(scratch.begin(), bytes.size(), bytes.begin());
  return true;
}

bool Win32IniPort::WriteString(std::u16string_view section, std::u16string_view key, std::u16string_view value,
                               std::u16string_view path) {
  return WritePrivateProfileStringW(Wide(section).c_str(), Wide(key).c_str(), Wide(value).c_str(),
                                    Wide(path).c_str()) != FALSE;
}

bool Win32IniPort::WriteStruct(std::u16string_view section, std::u16string_view key,
                               std::span<const std::uint8_t> bytes, std::u16string_view path) {
  // The function takes a non-const pointer; it gets a copy rather than a cast.
  // A null pointer would make it delete the key, so an empty record still
  // passes a real buffer and is stored as its checksum alone.
  std::vector<std::uint8_t> copy(bytes.begin(), bytes.end());
  copy.push_back(0);
  return WritePrivateProfileStructW(Wide(section).c_str(), Wide(key).c_str(), copy.data(), CountOf<UINT>(bytes.size()),
                                    Wide(path).c_str()) != FALSE;
}

bool Win32IniPort::PathExists(std::u16string_view path) {
  return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace qx27::win32
