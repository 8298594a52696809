#include "ctl/names.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "protocol/macro_records.h"
#include "settings/validation.h"

namespace qx27::ctl {
namespace {

using Step = std::pair<int, int>;  // StepCode, StepValue

std::vector<Step> StepsOf(const std::vector<MacroStep>& steps) {
  std::vector<Step> out;
  for (const MacroStep& step : steps) out.emplace_back(step.StepCode, step.StepValue.Get());
  return out;
}

ButtonEntry EntryOf(const std::vector<MacroStep>& steps) {
  ButtonEntry entry{};
  entry.FuncCode = kFuncGeneralMacro;
  for (std::size_t i = 0; i < steps.size(); ++i) entry.Steps[i] = steps[i];
  entry.StepCount = static_cast<std::uint8_t>(steps.size());
  return entry;
}

std::vector<MacroStep> Parsed(const char* text) {
  std::string error;
  const auto steps = ParseMacro(text, error);
  EXPECT_TRUE(steps.has_value()) << text << ": " << error;
  return steps.value_or(std::vector<MacroStep>{});
}

TEST(CtlNames, ColoursAreTypedRedGreenBlueAndStoredRedInTheLowByte) {
  EXPECT_EQ(ParseColour("#FF0000"), 0xFF);
  EXPECT_EQ(ParseColour("#00ff00"), 0xFF00);
  EXPECT_EQ(ParseColour("#0000FF"), 0xFF0000);
  EXPECT_EQ(ParseColour("#123456"), 0x563412);
  // The default colour cycle reads red, green, blue, yellow, cyan, magenta, white.
  std::vector<std::string> cycle;
  for (const std::int32_t value : kDefaultLightCycle) cycle.push_back(ColourText(value));
  EXPECT_EQ(cycle,
            (std::vector<std::string>{"#FF0000", "#00FF00", "#0000FF", "#FFFF00", "#00FFFF", "#FF00FF", "#FFFFFF"}));
  for (const char* bad : {"FF0000", "#FF000", "#FF00000", "#GG0000", "", "#"}) {
    EXPECT_EQ(ParseColour(bad), std::nullopt) << bad;
  }
}

TEST(CtlNames, EveryFunctionNameStandsForACodeTheAgentKeeps) {
  for (const FunctionName& function : FunctionNames()) {
    EXPECT_TRUE(IsValidFuncCode(function.code)) << function.name;
    EXPECT_EQ(ParseFunction(function.name), function.code) << function.name;
  }
  EXPECT_EQ(ParseFunction("Left Click"), 0xA0);
  EXPECT_EQ(ParseFunction("CTRL+Z"), 0xC8);
  EXPECT_EQ(ParseFunction("0xd0"), 0xD0);
  // Macros are set with their steps, never by a bare code.
  EXPECT_EQ(ParseFunction("0xA6"), std::nullopt);
  EXPECT_EQ(ParseFunction("0xA7"), std::nullopt);
  EXPECT_EQ(ParseFunction("ctrl+q"), std::nullopt);
}

TEST(CtlNames, EveryKeyNameShownIsReadBackAsTheKeyTheMouseReturns) {
  for (int number = 0x11; number <= 0xA0; ++number) {
    const std::uint16_t usage = KeyUsage(static_cast<std::uint8_t>(number));
    if (usage == 0 || usage > 0xFF) continue;
    std::string error;
    const std::string name = KeyName(static_cast<std::uint8_t>(number));
    // What a download gives back for this key's usage.
    EXPECT_EQ(ParseKey(name, error), KeyNumberForUsage(usage)) << name << ": " << error;
  }
  std::string error;
  EXPECT_EQ(ParseKey("a", error), 0x14);
  EXPECT_EQ(ParseKey("Ctrl", error), ParseKey("lctrl", error));
  // Usage 0x183 would come back as no key; the grave key's number is mouse button 5's.
  EXPECT_EQ(ParseKey("key-0x90", error), std::nullopt);
  EXPECT_EQ(ParseKey("grave", error), std::nullopt);
  EXPECT_EQ(ParseKey("key-0x17", error), std::nullopt) << "a key number without usage";
}

TEST(CtlNames, MacroTextBecomesTheStepsAndReadsBackAsTyped) {
  EXPECT_EQ(StepsOf(Parsed("A down, 50 ms, A up")), (std::vector<Step>{{0x14, 1}, {0xFF, 50}, {0x14, 0}}));
  EXPECT_EQ(StepsOf(Parsed("ctrl down,c,ctrl up")), (std::vector<Step>{{0x88, 1}, {0x26, 1}, {0x26, 0}, {0x88, 0}}));
  EXPECT_EQ(StepsOf(Parsed("left down, 20ms, left up, forward")),
            (std::vector<Step>{{1, 1}, {0xFF, 20}, {1, 0}, {16, 1}, {16, 0}}));
  EXPECT_EQ(MacroText(EntryOf(Parsed("a down, 50ms, a up"))), "A down, 50 ms, A up");
  EXPECT_EQ(MacroText(EntryOf(Parsed("f5, enter down, 65535 ms, enter up"))),
            "f5 down, f5 up, enter down, 65535 ms, enter up");
}

TEST(CtlNames, MacroTextTheMouseCouldNotPlayAsWrittenIsRefused) {
  std::string ninety_three = "a";
  for (int i = 1; i < 93; ++i) ninety_three += ", 1 ms";
  for (const std::string& text :
       {std::string("50 ms, A down"), std::string("A down, 5 ms, 5 ms, A up"), std::string("A down, 0 ms"),
        std::string("A down, 65536 ms"), std::string("A down,, A up"), std::string("nokey down"), std::string(""),
        std::string("grave"), ninety_three}) {
    std::string error;
    EXPECT_EQ(ParseMacro(text, error), std::nullopt) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
}

TEST(CtlNames, ATypedMacroOfOneKeyAtATimeSurvivesAnUploadAndADownload) {
  const ButtonEntry sent = EntryOf(Parsed("a down, 10 ms, a up, 30 ms, left down, 40 ms, left up, b"));
  MacroRecords records = EncodeGeneralMacro(sent);
  for (int i = 0; i < records.count; ++i) records.records[i].SetButtonNumber(5);
  ButtonEntry back{};
  DecodeGeneralMacro(records.View(), 4, back);
  EXPECT_EQ(MacroText(back), MacroText(sent));
  EXPECT_EQ(back.StepCount, sent.StepCount);
}

}  // namespace
}  // namespace qx27::ctl
