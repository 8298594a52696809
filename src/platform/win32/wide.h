// The one place where portable UTF-16 (char16_t) meets the Win32 wide type.
// On Windows both are 16-bit code units, so conversion is a copy.
#pragma once

#include <cwchar>
#include <span>
#include <string>
#include <string_view>

namespace qx27::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

inline std::wstring Wide(std::u16string_view text) { return {text.begin(), text.end()}; }

inline std::u16string FromWide(std::wstring_view text) { return {text.begin(), text.end()}; }

inline std::u16string FromWide(const wchar_t* text) {
  return text ? FromWide(std::wstring_view(text)) : std::u16string();
}

}  // namespace qx27::win32
