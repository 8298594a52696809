#include "platform/linux/ansi_code_page.h"

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
#include "platform/linux/ansi_code_page_table.inc"
};

}  // namespace

std::u16string DecodeAnsi(std::span<const std::uint8_t> bytes) {
  std::u16string text;
  text.reserve(bytes.size());
  for (const std::uint8_t b : bytes) {
    text.push_back(b >= 0x80 && b <= 0x9F ? kHighControlBlock[b - 0x80] : static_cast<char16_t>(b));
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

}  // namespace qx27::linux_host
