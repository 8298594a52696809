#include "common/text.h"

#include <algorithm>

namespace qx27 {

std::size_t FieldLength(std::span<const char16_t> field) {
  const auto end = std::find(field.begin(), field.end(), u'\0');
  return static_cast<std::size_t>(end - field.begin());
}

std::u16string_view FieldText(std::span<const char16_t> field) { return {field.data(), FieldLength(field)}; }

bool CopyToField(std::span<char16_t> field, std::u16string_view text) {
  if (field.empty()) return text.empty();
  std::size_t n = std::min(text.size(), field.size() - 1);
  // Half a surrogate pair is no character, and the next save would write it
  // to the file: a cut falls before the pair.
  const auto high = [](char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; };
  const auto low = [](char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; };
  if (n < text.size() && n > 0 && high(text[n - 1]) && low(text[n])) --n;
  std::copy_n(text.begin(), n, field.begin());
  std::fill(field.begin() + static_cast<std::ptrdiff_t>(n), field.end(), u'\0');
  return n == text.size();
}

bool JoinToField(std::span<char16_t> field, std::u16string_view first, std::u16string_view second) {
  std::fill(field.begin(), field.end(), u'\0');
  if (field.empty() || first.size() + second.size() >= field.size()) return false;
  std::copy(first.begin(), first.end(), field.begin());
  std::copy(second.begin(), second.end(), field.begin() + static_cast<std::ptrdiff_t>(first.size()));
  return true;
}

std::u16string DecimalText(std::int32_t value) {
  // Widen first: negating INT32_MIN in 32 bits overflows.
  std::int64_t v = value;
  const bool negative = v < 0;
  if (negative) v = -v;
  std::u16string digits;
  do {
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + v % 10));
    v /= 10;
  } while (v != 0);
  if (negative) digits.insert(digits.begin(), u'-');
  return digits;
}

std::u16string AsciiToU16(std::string_view ascii) {
  std::u16string out;
  out.reserve(ascii.size());
  for (const char c : ascii) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
  return out;
}

std::string ToUtf8(std::u16string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

std::u16string FromUtf8(std::string_view text) {
  std::u16string out;
  std::size_t i = 0;
  while (i < text.size()) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    char32_t cp = 0xFFFD;
    std::size_t len = 1;
    if (b0 < 0x80) {
      cp = b0;
    } else if ((b0 & 0xE0) == 0xC0) {
      len = 2;
    } else if ((b0 & 0xF0) == 0xE0) {
      len = 3;
    } else if ((b0 & 0xF8) == 0xF0) {
      len = 4;
    }
    if (len > 1) {
      if (i + len > text.size()) {
        len = 1;
      } else {
        cp = b0 & (0x7F >> len);
        for (std::size_t k = 1; k < len; ++k) {
          const auto b = static_cast<unsigned char>(text[i + k]);
          if ((b & 0xC0) != 0x80) {
            cp = 0xFFFD;
            len = k;
            break;
          }
          cp = (cp << 6) | (b & 0x3F);
        }
      }
    }
    if (cp > 0x10FFFF) cp = 0xFFFD;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += len;
  }
  return out;
}

}  // namespace qx27
