#include "sim/report_text.h"

#include <gtest/gtest.h>

namespace qx27::sim {
namespace {

std::vector<std::uint8_t> Report(std::uint8_t id, std::size_t length) {
  std::vector<std::uint8_t> report(length, 0);
  report[0] = id;
  for (std::size_t i = 1; i < length; ++i) report[i] = static_cast<std::uint8_t>(i * 7);
  return report;
}

TEST(ReportText, BytesAreTwoLowercaseDigitsSeparatedBySingleSpaces) {
  const std::uint8_t bytes[] = {0x06, 0x5A, 0x00, 0xFF};
  EXPECT_EQ(HexBytes(bytes), "06 5a 00 ff");
  EXPECT_EQ(HexBytes({}), "");
}

TEST(ReportText, ParsingGivesBackTheBytesInEitherCase) {
  EXPECT_EQ(ParseHexBytes("06 5a 00 FF"), (std::vector<std::uint8_t>{0x06, 0x5A, 0x00, 0xFF}));
  EXPECT_EQ(ParseHexBytes(""), std::vector<std::uint8_t>{});
}

TEST(ReportText, ParsingRefusesAnythingButSingleSpacedPairs) {
  EXPECT_FALSE(ParseHexBytes("06  5a"));
  EXPECT_FALSE(ParseHexBytes("065a"));
  EXPECT_FALSE(ParseHexBytes("06 5"));
  EXPECT_FALSE(ParseHexBytes("06 5g"));
  EXPECT_FALSE(ParseHexBytes("06 5a "));
  EXPECT_FALSE(ParseHexBytes(" 06"));
  EXPECT_FALSE(ParseHexBytes("06,5a"));
}

TEST(ReportText, AConfigurationIsTwoLabelledLinesOfFullLength) {
  const auto perf = Report(3, kPerfLength);
  const auto buttons = Report(4, kButtonsLength);
  const std::string text = FormatConfiguration(perf, buttons);
  EXPECT_EQ(text.substr(0, 11), "perf 03 07 ");
  EXPECT_EQ(text.find('\n'), 5 + 40 * 3 - 1);
  EXPECT_EQ(text.size(), (5 + 40 * 3) + (8 + 2049 * 3));
  EXPECT_EQ(text.back(), '\n');

  std::string error;
  const auto parsed = ParseConfiguration(text, error);
  ASSERT_TRUE(parsed) << error;
  EXPECT_EQ(parsed->perf, perf);
  EXPECT_EQ(parsed->buttons, buttons);
}

TEST(ReportText, AConfigurationWithWindowsLineEndsOrOneLineIsRead) {
  const auto buttons = Report(4, kButtonsLength);
  std::string error;
  const auto parsed = ParseConfiguration("buttons " + HexBytes(buttons) + "\r\n", error);
  ASSERT_TRUE(parsed) << error;
  EXPECT_FALSE(parsed->perf);
  EXPECT_EQ(parsed->buttons, buttons);
}

TEST(ReportText, AConfigurationWithAShortLineAWrongIdOrAnUnknownLabelIsRefused) {
  std::string error;
  EXPECT_FALSE(ParseConfiguration("perf " + HexBytes(Report(3, kPerfLength - 1)) + "\n", error));
  EXPECT_NE(error.find("40 bytes"), std::string::npos) << error;
  EXPECT_FALSE(ParseConfiguration("perf " + HexBytes(Report(4, kPerfLength)) + "\n", error));
  EXPECT_FALSE(ParseConfiguration("buttons " + HexBytes(Report(3, kButtonsLength)) + "\n", error));
  EXPECT_FALSE(ParseConfiguration("macro " + HexBytes(Report(3, kPerfLength)) + "\n", error));
  const std::string perf_line = "perf " + HexBytes(Report(3, kPerfLength)) + "\n";
  EXPECT_FALSE(ParseConfiguration(perf_line + perf_line, error));
  EXPECT_FALSE(ParseConfiguration("\n", error));
}

}  // namespace
}  // namespace qx27::sim
