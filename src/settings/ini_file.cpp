#include "settings/ini_file.h"

#include <algorithm>
#include <array>

#include "common/text.h"

namespace qx27 {

CIniFile::CIniFile(IniPort& port, std::u16string_view path) : port_(port), path_(path) {}

void CIniFile::SetPath(std::u16string_view path) { path_ = path; }

std::int32_t CIniFile::ReadInt(std::u16string_view section, std::u16string_view key, std::int32_t default_value) const {
  if (path_.empty()) return default_value;
  return static_cast<std::int32_t>(port_.ReadInt(section, key, default_value, path_));
}

std::u16string CIniFile::ReadString(std::u16string_view section, std::u16string_view key,
                                    std::u16string_view default_value) const {
  if (path_.empty()) return std::u16string(default_value.substr(0, kStringBufferUnits - 1));
  std::array<char16_t, kStringBufferUnits> buffer{};
  const std::size_t copied = std::min(port_.ReadString(section, key, default_value, buffer, path_), buffer.size() - 1);
  return std::u16string(FieldText(std::span<const char16_t>(buffer.data(), copied)));
}

bool CIniFile::ReadStruct(std::u16string_view section, std::u16string_view key, std::span<std::uint8_t> bytes) const {
  if (path_.empty()) return false;
  return port_.ReadStruct(section, key, bytes, path_);
}

bool CIniFile::WriteInt(std::u16string_view section, std::u16string_view key, std::int32_t value) const {
  return WriteString(section, key, DecimalText(value));
}

bool CIniFile::WriteString(std::u16string_view section, std::u16string_view key, std::u16string_view text) const {
  if (path_.empty()) return false;
  return port_.WriteString(section, key, text, path_);
}

bool CIniFile::WriteStruct(std::u16string_view section, std::u16string_view key,
                           std::span<const std::uint8_t> bytes) const {
  if (path_.empty()) return false;
  return port_.WriteStruct(section, key, bytes, path_);
}

}  // namespace qx27
