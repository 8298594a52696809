// An INI port that holds no file: reads give one fixed text (or the default),
// and every call that reaches it is counted.
#pragma once

#include <algorithm>
#include <string>

#include "ports/ini_port.h"

namespace qx27::test {

class RecordingIniPort final : public IniPort {
 public:
  std::u16string stored_text;
  int reads = 0;
  int writes = 0;
  int exists_queries = 0;

  std::uint32_t ReadInt(std::u16string_view, std::u16string_view, std::int32_t default_value,
                        std::u16string_view) override {
    ++reads;
    return static_cast<std::uint32_t>(default_value);
  }
  std::size_t ReadString(std::u16string_view, std::u16string_view, std::u16string_view, std::span<char16_t> buffer,
                         std::u16string_view) override {
    ++reads;
    const std::size_t n = std::min(stored_text.size(), buffer.size() - 1);
    std::copy_n(stored_text.begin(), n, buffer.begin());
    buffer[n] = u'\0';
    return n;
  }
  bool ReadStruct(std::u16string_view, std::u16string_view, std::span<std::uint8_t>, std::u16string_view) override {
    ++reads;
    return false;
  }
  bool WriteString(std::u16string_view, std::u16string_view, std::u16string_view, std::u16string_view) override {
    ++writes;
    return true;
  }
  bool WriteStruct(std::u16string_view, std::u16string_view, std::span<const std::uint8_t>,
                   std::u16string_view) override {
    ++writes;
    return true;
  }
  bool PathExists(std::u16string_view) override {
    ++exists_queries;
    return false;
  }
};

}  // namespace qx27::test
