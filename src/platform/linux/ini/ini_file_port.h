// The INI port on real files: the Windows private-profile service
// re-implemented in portable C++ (std::fstream and std::filesystem only). The
// Linux agent and qx27ctl keep the settings file with it; the native tests use
// it as the stand-in of the Windows service, and a mingw program checks it
// against the real service.
//
// What it reproduces, as Wine's kernel32 implements the service:
// - every call reads the whole file and a write that changes something writes
//   the whole file back; nothing is kept between calls;
// - lines end at any run of CR and LF; blanks (tab to CR, ^Z, space) around
//   lines, names and values are dropped; sections and keys match without
//   regard to ASCII case; the first of duplicate sections or keys is the one
//   read and written;
// - a file starting with the UTF-16LE byte-order mark is read in UTF-16LE and
//   written back in it; any other file is Windows-1252;
// - a rewritten file is the parsed file in normal form: "[name]" lines, keys
//   as "name=value", CRLF line ends, blank lines dropped, comments kept;
// - string reads strip one pair of matching quotes and are cut to the buffer;
//   integer reads parse the text as RtlUnicodeStringToInteger does (sign,
//   "0x"/"0o"/"0b" prefixes, stop at the first non-digit, wrap modulo 2^32);
// - a write that changes nothing leaves the file untouched; a missing key is
//   added at the end of its section, a missing section at the end of the file;
//   a missing file is created, a missing folder is never created.
//
// Where it departs from Wine (see the settings-store notes): a struct value is
// refused unless it is exactly the stored length and pure hexadecimal, as
// Windows refuses it; a file that starts with a UTF-8 or UTF-16BE byte-order
// mark is Windows-1252 like any other, as Windows reads it, so the mark's bytes
// begin its first line and hide the first section; a bare file name is taken relative to the current folder
// rather than the Windows folder; on Linux a backslash in a path is a folder
// separator, so Windows-shaped paths built by the agent work unchanged.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "ports/ini_port.h"

namespace qx27::linux_host {

class IniFilePort final : public IniPort {
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

}  // namespace qx27::linux_host
