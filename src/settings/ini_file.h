// CIniFile: the INI-file object bound to one path, through which every INI
// access of the agent goes (settings file, macro file, skin files). It adds to
// the INI port only the bound path, the 2048-unit string buffer and "%d".
//
// An empty path names no file: every read gives its default (a struct read
// fails) and every write fails, without reaching the service. The service
// itself would take an empty or bare name to mean a file in the Windows
// folder, which is never the agent's file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "ports/ini_port.h"

namespace qx27 {

class CIniFile {
 public:
  // Units of the buffer a string read goes through: at most 2047 characters.
  static constexpr std::size_t kStringBufferUnits = 2048;

  CIniFile(IniPort& port, std::u16string_view path);

  void SetPath(std::u16string_view path);
  std::u16string_view Path() const { return path_; }

  // The key's integer, or `default_value` when the key or its text is missing.
  std::int32_t ReadInt(std::u16string_view section, std::u16string_view key, std::int32_t default_value) const;
  // The key's text, or the default when the key is missing; at most 2047 units.
  std::u16string ReadString(std::u16string_view section, std::u16string_view key,
                            std::u16string_view default_value) const;
  // Fills `bytes` when the stored value has their length and checksum; on
  // failure `bytes` is left as it was.
  bool ReadStruct(std::u16string_view section, std::u16string_view key, std::span<std::uint8_t> bytes) const;

  bool WriteInt(std::u16string_view section, std::u16string_view key, std::int32_t value) const;
  bool WriteString(std::u16string_view section, std::u16string_view key, std::u16string_view text) const;
  bool WriteStruct(std::u16string_view section, std::u16string_view key, std::span<const std::uint8_t> bytes) const;

 private:
  IniPort& port_;
  std::u16string path_;  // never cut: a shortened path would name another file
};

}  // namespace qx27
