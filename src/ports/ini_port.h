// Port: the private-profile (INI) service. Win32 forwards to the
// GetPrivateProfile*/WritePrivateProfile* functions; the Linux stand-in
// implements the same behaviour on real files. Every call is a complete read or
// write of the file: nothing is cached between calls.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace qx27 {

class IniPort {
 public:
  virtual ~IniPort() = default;

  // GetPrivateProfileIntW: the platform's integer read of the key's text, or
  // `default_value` when the key is missing.
  virtual std::uint32_t ReadInt(std::u16string_view section, std::u16string_view key, std::int32_t default_value,
                                std::u16string_view path) = 0;
  // GetPrivateProfileStringW into `buffer` (terminator included); gives the
  // number of characters copied, the terminator excluded.
  virtual std::size_t ReadString(std::u16string_view section, std::u16string_view key,
                                 std::u16string_view default_value, std::span<char16_t> buffer,
                                 std::u16string_view path) = 0;
  // GetPrivateProfileStructW: fills `bytes` only when the stored value has the
  // matching length and checksum.
  virtual bool ReadStruct(std::u16string_view section, std::u16string_view key, std::span<std::uint8_t> bytes,
                          std::u16string_view path) = 0;
  virtual bool WriteString(std::u16string_view section, std::u16string_view key, std::u16string_view value,
                           std::u16string_view path) = 0;
  virtual bool WriteStruct(std::u16string_view section, std::u16string_view key, std::span<const std::uint8_t> bytes,
                           std::u16string_view path) = 0;
  // Whether a file or a folder exists at `path` (GetFileAttributesW succeeds).
  // Tells a missing settings file from one that merely lacks keys.
  virtual bool PathExists(std::u16string_view path) = 0;
};

}  // namespace qx27
