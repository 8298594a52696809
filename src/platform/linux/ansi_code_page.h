// The ANSI code page of the Linux INI stand-in: Windows-1252, the code page
// Windows (and Wine) use for a Western-language system. Files without a
// byte-order mark are read and written in it, best-fit mappings included, so
// the stand-in turns text into the same bytes the Win32 service does there.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace qx27::linux_host {

// MultiByteToWideChar(1252): every byte becomes one code unit.
std::u16string DecodeAnsi(std::span<const std::uint8_t> bytes);

// WideCharToMultiByte(1252) without flags: each code unit becomes one byte,
// its best-fit byte where it has no exact one, '?' where it has neither.
std::string EncodeAnsi(std::u16string_view text);

}  // namespace qx27::linux_host
