// The text conversions of the INI service on real files, as the Windows service makes
// them. Its ANSI code page is Windows-1252, the one Windows (and Wine) use for
// a Western-language system: files without a byte-order mark are read and
// written in it, best-fit mappings included. UTF-8 is decoded by the
// platform's rules for ill-formed input.
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

// MultiByteToWideChar(CP_UTF8): each ill-formed part becomes one U+FFFD, cut
// where the platform cuts it (an incomplete sequence at the very end swallows
// the rest of the input).
std::u16string DecodeUtf8(std::span<const std::uint8_t> bytes);

}  // namespace qx27::linux_host
