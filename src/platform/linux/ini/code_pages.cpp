#include "platform/linux/ini/code_pages.h"

#include <algorithm>
#include <array>

namespace qx27::linux_host {
namespace {

// Bytes 0x80..0x9F; the five bytes Windows-1252 leaves undefined map to the
// C1 control with the same value, as MultiByteToWideChar does.
constexpr std::array<char16_t, 32> kHighControlBlock = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

struct UnitToByte {
  char16_t unit;
  std::uint8_t byte;
};

// Sorted by code unit; taken from the platform itself (see the generator).
constexpr UnitToByte kEncodeTable[] = {
#include "platform/linux/ini/windows_1252_table.inc"
};

}  // namespace

std::u16string DecodeAnsi(std::span<const std::uint8_t> bytes) {
  std::u16string text(bytes.size(), u'\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const std::uint8_t b = bytes[i];
    text[i] = b >= 0x80 && b <= 0x9F ? kHighControlBlock[b - 0x80] : static_cast<char16_t>(b);
  }
  return text;
}

std::string EncodeAnsi(std::u16string_view text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (const char16_t unit : text) {
    if (unit < 0x80) {
      bytes.push_back(static_cast<char>(unit));
      continue;
    }
    const auto* found = std::lower_bound(std::begin(kEncodeTable), std::end(kEncodeTable), unit,
                                         [](const UnitToByte& entry, char16_t u) { return entry.unit < u; });
    const bool mapped = found != std::end(kEncodeTable) && found->unit == unit;
    bytes.push_back(mapped ? static_cast<char>(found->byte) : '?');
  }
  return bytes;
}

std::u16string DecodeUtf8(std::span<const std::uint8_t> bytes) {
  std::u16string text;
  text.reserve(bytes.size());
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    const std::uint8_t lead = bytes[pos++];
    if (lead < 0x80) {
      text.push_back(lead);
      continue;
    }
    // Continuation bytes that follow the lead; 0 for a byte that starts nothing.
    const std::size_t following = lead >= 0xC2 && lead <= 0xDF   ? 1
                                  : lead >= 0xE0 && lead <= 0xEF ? 2
                                  : lead >= 0xF0 && lead <= 0xF4 ? 3
                                                                 : 0;
    char32_t value = lead & (following == 1 ? 0x1F : following == 2 ? 0x0F : 0x07);
    bool valid = following > 0;
    if (pos + following > bytes.size()) {
      text.push_back(0xFFFD);
      break;
    }
    for (std::size_t k = 0; valid && k < following; ++k) {
      const unsigned bits = bytes[pos] ^ 0x80u;
      if (bits >= 0x40) {
        valid = false;
        break;
      }
      value = (value << 6) | bits;
      const std::size_t left = following - k - 1;  // continuation bytes still to come
      // Out of range and overlong forms are caught as early as the platform
      // catches them, which decides how many bytes one U+FFFD stands for.
      if (left == 1 && following == 3 && value >= (0x110000 >> 6)) {
        valid = false;
        break;
      }
      ++pos;
      if (left == 2 && value < 0x10) valid = false;
      if (left == 1 && (value < 0x20 || (value >= (0xD800 >> 6) && value <= (0xDFFF >> 6)))) valid = false;
      if (left == 0 && value < 0x80) valid = false;
    }
    if (!valid) {
      text.push_back(0xFFFD);
    } else if (value >= 0x10000) {
      value -= 0x10000;
      text.push_back(static_cast<char16_t>(0xD800 + (value >> 10)));
      text.push_back(static_cast<char16_t>(0xDC00 + (value & 0x3FF)));
    } else {
      text.push_back(static_cast<char16_t>(value));
    }
  }
  return text;
}

}  // namespace qx27::linux_host
