// Reports as text: each byte as two lowercase hex digits, separated by single
// spaces. Scripts read and write the mouse's stored reports in this form, and
// the simulated-mouse process carries reports in it between processes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qx27::sim {

std::string HexBytes(std::span<const std::uint8_t> bytes);
// Gives nothing unless the text is exactly pairs of hex digits separated by
// single spaces (either case; an empty text is no bytes).
std::optional<std::vector<std::uint8_t>> ParseHexBytes(std::string_view text);

// The mouse's stored configuration: the Performance report (ID 3, 40 bytes)
// and the Button report (ID 4, 2049 bytes), one labelled line each.
inline constexpr std::string_view kPerfLabel = "perf";
inline constexpr std::string_view kButtonsLabel = "buttons";
inline constexpr std::size_t kPerfLength = 40;
inline constexpr std::size_t kButtonsLength = 2049;

struct ConfigurationText {
  std::optional<std::vector<std::uint8_t>> perf;
  std::optional<std::vector<std::uint8_t>> buttons;
};

// "perf " + 40 bytes + "\n" + "buttons " + 2049 bytes + "\n".
std::string FormatConfiguration(std::span<const std::uint8_t> perf, std::span<const std::uint8_t> buttons);
// Reads lines labelled perf or buttons (each at most once, in any order, line
// ends LF or CRLF); each must have its full length and its report ID in its
// first byte. Gives nothing and an explanation in `error` otherwise.
std::optional<ConfigurationText> ParseConfiguration(std::string_view text, std::string& error);

}  // namespace qx27::sim
