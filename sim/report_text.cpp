#include "sim/report_text.h"

namespace qx27::sim {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string_view StripLineEnd(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

}  // namespace

std::string HexBytes(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 3);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i != 0) text.push_back(' ');
    text.push_back(kDigits[bytes[i] >> 4]);
    text.push_back(kDigits[bytes[i] & 0xF]);
  }
  return text;
}

std::optional<std::vector<std::uint8_t>> ParseHexBytes(std::string_view text) {
  std::vector<std::uint8_t> bytes;
  if (text.empty()) return bytes;
  // Pairs of digits at 0, 3, 6, ... with single spaces between them.
  if (text.size() % 3 != 2) return std::nullopt;
  bytes.reserve((text.size() + 1) / 3);
  for (std::size_t i = 0; i < text.size(); i += 3) {
    const int high = HexDigit(text[i]);
    const int low = HexDigit(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    if (i + 2 < text.size() && text[i + 2] != ' ') return std::nullopt;
    bytes.push_back(static_cast<std::uint8_t>(high << 4 | low));
  }
  return bytes;
}

std::string FormatConfiguration(std::span<const std::uint8_t> perf, std::span<const std::uint8_t> buttons) {
  std::string text;
  text.append(kPerfLabel).append(" ").append(HexBytes(perf)).append("\n");
  text.append(kButtonsLabel).append(" ").append(HexBytes(buttons)).append("\n");
  return text;
}

std::optional<ConfigurationText> ParseConfiguration(std::string_view text, std::string& error) {
  ConfigurationText result;
  std::size_t line_number = 0;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = StripLineEnd(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++line_number;
    if (line.empty()) continue;

    const std::size_t space = line.find(' ');
    const std::string_view label = line.substr(0, space);
    const std::string_view bytes_text = space == std::string_view::npos ? std::string_view{} : line.substr(space + 1);
    const bool is_perf = label == kPerfLabel;
    if (!is_perf && label != kButtonsLabel) {
      error = "line " + std::to_string(line_number) + ": expected perf or buttons";
      return std::nullopt;
    }
    auto& slot = is_perf ? result.perf : result.buttons;
    if (slot) {
      error = "line " + std::to_string(line_number) + ": " + std::string(label) + " given twice";
      return std::nullopt;
    }
    auto bytes = ParseHexBytes(bytes_text);
    if (!bytes) {
      error = "line " + std::to_string(line_number) + ": bytes must be two hex digits separated by single spaces";
      return std::nullopt;
    }
    const std::size_t length = is_perf ? kPerfLength : kButtonsLength;
    const std::uint8_t report_id = is_perf ? 3 : 4;
    if (bytes->size() != length) {
      error = "line " + std::to_string(line_number) + ": " + std::string(label) + " needs " + std::to_string(length) +
              " bytes, got " + std::to_string(bytes->size());
      return std::nullopt;
    }
    if ((*bytes)[0] != report_id) {
      error = "line " + std::to_string(line_number) + ": " + std::string(label) + " must start with report ID 0" +
              std::to_string(report_id);
      return std::nullopt;
    }
    slot = std::move(*bytes);
  }
  if (!result.perf && !result.buttons) {
    error = "no perf or buttons line";
    return std::nullopt;
  }
  return result;
}

}  // namespace qx27::sim
