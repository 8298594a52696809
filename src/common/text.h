// UTF-16 text helpers for fixed-size fields. Portable code keeps text as
// char16_t; conversion to the platform's wide type happens only at the Win32
// boundary.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace qx27 {

// Length of a NUL-terminated string held in a fixed field; never reads past it.
std::size_t FieldLength(std::span<const char16_t> field);

// The text held in a fixed field, up to its terminator or its end.
std::u16string_view FieldText(std::span<const char16_t> field);

// Copies text into a fixed field, cut so that the terminator always fits and
// never between the two halves of a surrogate pair. Gives false when the text
// had to be cut. An empty field is left alone.
bool CopyToField(std::span<char16_t> field, std::u16string_view text);

// Writes `first` followed by `second` into a fixed field when the whole text
// and its terminator fit; otherwise leaves the field empty and gives false, so
// that a path is never cut into the name of another file.
bool JoinToField(std::span<char16_t> field, std::u16string_view first, std::u16string_view second);

// "%d" of a signed 32-bit value.
std::u16string DecimalText(std::int32_t value);

// ASCII-only conversion helpers for fixed texts (keys, debug lines).
std::u16string AsciiToU16(std::string_view ascii);

// Lossless UTF-16 to UTF-8, used by tests and tools to show text; unpaired
// surrogates become U+FFFD.
std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);

}  // namespace qx27
