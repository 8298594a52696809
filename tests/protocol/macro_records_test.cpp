#include "protocol/macro_records.h"

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <random>
#include <utility>
#include <vector>

namespace qx27 {
namespace {

using Step = std::pair<int, int>;  // StepCode, StepValue

ButtonEntry MacroEntry(std::initializer_list<Step> steps, std::uint8_t repeat_mode = 0, std::uint8_t repeat_count = 0) {
  ButtonEntry entry{};
  int i = 0;
  for (const auto& [code, value] : steps) {
    entry.Steps[i].StepCode = static_cast<std::uint8_t>(code);
    entry.Steps[i++].StepValue = static_cast<std::uint16_t>(value);
  }
  entry.StepCount = static_cast<std::uint8_t>(i);
  entry.RepeatMode = repeat_mode;
  entry.RepeatCount = repeat_count;
  return entry;
}

std::vector<Step> StepsOf(const ButtonEntry& entry) {
  std::vector<Step> steps;
  for (int i = 0; i < entry.StepCount; ++i) steps.emplace_back(entry.Steps[i].StepCode, entry.Steps[i].StepValue.Get());
  return steps;
}

// Records as the bytes they travel as: type, bytes 1..3, mode, delay.
struct Wire {
  int type, arg1, arg2, arg3, mode, delay;
  bool operator==(const Wire&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Wire& w) {
  return os << std::hex << "{" << w.type << " " << w.arg1 << " " << w.arg2 << " " << w.arg3 << " mode " << w.mode
            << " delay " << std::dec << w.delay << "}";
}

std::vector<Wire> WireOf(const MacroRecords& records) {
  std::vector<Wire> out;
  for (const ButtonRecord& r : records.View()) {
    EXPECT_EQ(r.reserved[0] | r.reserved[1] | r.reserved[2], 0);
    out.push_back({r.TypeAndButton, r.Arg1, r.Arg2, r.Arg3, r.Mode, r.Delay.Get()});
  }
  return out;
}

std::vector<ButtonRecord> RecordsOf(const std::vector<Wire>& wire) {
  std::vector<ButtonRecord> out;
  for (const Wire& w : wire) {
    ButtonRecord r{};
    r.TypeAndButton = static_cast<std::uint8_t>(w.type);
    r.Arg1 = static_cast<std::uint8_t>(w.arg1);
    r.Arg2 = static_cast<std::uint8_t>(w.arg2);
    r.Arg3 = static_cast<std::uint8_t>(w.arg3);
    r.Mode = static_cast<std::uint8_t>(w.mode);
    r.Delay = static_cast<std::uint16_t>(w.delay);
    out.push_back(r);
  }
  return out;
}

ButtonEntry DecodedGeneral(const MacroRecords& records, int button_index = 0) {
  ButtonEntry entry{};
  DecodeGeneralMacro(records.View(), button_index, entry);
  return entry;
}

ButtonEntry DecodedBullet(const MacroRecords& records, int button_index = 0) {
  ButtonEntry entry{};
  DecodeBulletMacro(records.View(), button_index, entry);
  return entry;
}

TEST(KeyTable, KeyNumbersFrom0x10To0xA0HaveTheirUsagesAndOthersNone) {
  EXPECT_EQ(KeyUsage(0x10), 0x35);
  EXPECT_EQ(KeyUsage(0x14), 0x04);
  EXPECT_EQ(KeyUsage(0x36), 0x10);
  EXPECT_EQ(KeyUsage(0x7D), 0xE2);
  EXPECT_EQ(KeyUsage(0x90), 0x183);
  EXPECT_EQ(KeyUsage(0x9F), 0x231);
  EXPECT_EQ(KeyUsage(0xA0), 0xE7);
  for (const int none : {0x00, 0x0F, 0x17, 0x65, 0x78, 0xA1, 0xFF})
    EXPECT_EQ(KeyUsage(static_cast<std::uint8_t>(none)), 0) << none;
}

TEST(KeyTable, EachOfTheHundredAndFortyFiveKeyNumbersHasItsOwnUsageBothWays) {
  // Key number and HID usage, as the mouse's key table gives them; 0: none.
  const std::pair<int, int> table[] = {
      {0x10, 0x35},  {0x11, 0x1E},  {0x12, 0x14},  {0x13, 0x2B},  {0x14, 0x04},  {0x15, 0x29}, {0x16, 0x1D},
      {0x17, 0x00},  {0x18, 0x3A},  {0x19, 0x1F},  {0x1A, 0x1A},  {0x1B, 0x39},  {0x1C, 0x16}, {0x1D, 0x00},
      {0x1E, 0x1B},  {0x1F, 0x00},  {0x20, 0x3B},  {0x21, 0x20},  {0x22, 0x08},  {0x23, 0x3C}, {0x24, 0x07},
      {0x25, 0x3D},  {0x26, 0x06},  {0x27, 0x00},  {0x28, 0x22},  {0x29, 0x21},  {0x2A, 0x15}, {0x2B, 0x17},
      {0x2C, 0x09},  {0x2D, 0x0A},  {0x2E, 0x19},  {0x2F, 0x05},  {0x30, 0x23},  {0x31, 0x24}, {0x32, 0x18},
      {0x33, 0x1C},  {0x34, 0x0D},  {0x35, 0x0B},  {0x36, 0x10},  {0x37, 0x11},  {0x38, 0x2E}, {0x39, 0x25},
      {0x3A, 0x0C},  {0x3B, 0x30},  {0x3C, 0x0E},  {0x3D, 0x3F},  {0x3E, 0x36},  {0x3F, 0x00}, {0x40, 0x41},
      {0x41, 0x26},  {0x42, 0x12},  {0x43, 0x40},  {0x44, 0x0F},  {0x45, 0x00},  {0x46, 0x37}, {0x47, 0x00},
      {0x48, 0x2D},  {0x49, 0x27},  {0x4A, 0x13},  {0x4B, 0x2F},  {0x4C, 0x33},  {0x4D, 0x34}, {0x4E, 0x00},
      {0x4F, 0x38},  {0x50, 0x42},  {0x51, 0x43},  {0x52, 0x00},  {0x53, 0x2A},  {0x54, 0x31}, {0x55, 0x3E},
      {0x56, 0x28},  {0x57, 0x2C},  {0x58, 0x49},  {0x59, 0x45},  {0x5A, 0x60},  {0x5B, 0x5D}, {0x5C, 0x5A},
      {0x5D, 0x62},  {0x5E, 0x54},  {0x5F, 0x4F},  {0x60, 0x4C},  {0x61, 0x44},  {0x62, 0x5F}, {0x63, 0x5C},
      {0x64, 0x59},  {0x65, 0x00},  {0x66, 0x53},  {0x67, 0x51},  {0x68, 0x4B},  {0x69, 0x4E}, {0x6A, 0x61},
      {0x6B, 0x5E},  {0x6C, 0x5B},  {0x6D, 0x63},  {0x6E, 0x55},  {0x6F, 0x56},  {0x70, 0x4A}, {0x71, 0x4D},
      {0x72, 0x57},  {0x73, 0x00},  {0x74, 0x58},  {0x75, 0x52},  {0x76, 0x48},  {0x77, 0x50}, {0x78, 0x00},
      {0x79, 0x47},  {0x7A, 0x46},  {0x7B, 0x00},  {0x7C, 0x00},  {0x7D, 0xE2},  {0x7E, 0x00}, {0x7F, 0xE6},
      {0x80, 0xB1},  {0x81, 0xB2},  {0x82, 0xB3},  {0x83, 0xE1},  {0x84, 0xB4},  {0x85, 0xB5}, {0x86, 0xE5},
      {0x87, 0xB0},  {0x88, 0xE0},  {0x89, 0xB6},  {0x8A, 0xB7},  {0x8B, 0xB8},  {0x8C, 0xB9}, {0x8D, 0xBA},
      {0x8E, 0xE4},  {0x8F, 0xE2},  {0x90, 0x183}, {0x91, 0xCD},  {0x92, 0xEA},  {0x93, 0xE9}, {0x94, 0xE8},
      {0x95, 0x1C9}, {0x96, 0xE9},  {0x97, 0xEA},  {0x98, 0x82},  {0x99, 0x223}, {0x9A, 0x65}, {0x9B, 0x1C8},
      {0x9C, 0xE3},  {0x9D, 0x22D}, {0x9E, 0x22E}, {0x9F, 0x231}, {0xA0, 0xE7},
  };
  ASSERT_EQ(std::size(table), 145u);
  for (const auto& [key, usage] : table) {
    EXPECT_EQ(KeyUsage(static_cast<std::uint8_t>(key)), usage) << "key number " << key;
  }
  for (int key = 0; key <= 0xFF; ++key) {
    if (key >= 0x10 && key <= 0xA0) continue;
    EXPECT_EQ(KeyUsage(static_cast<std::uint8_t>(key)), 0) << "key number " << key;
  }
  // Back from a usage: the last key number in table order that has it.
  for (const auto& [key, usage] : table) {
    if (usage == 0) continue;
    int last = 0;
    for (const auto& [other, other_usage] : table) {
      if (other_usage == usage) last = other;
    }
    EXPECT_EQ(KeyNumberForUsage(static_cast<std::uint16_t>(usage)), last) << "usage " << usage;
  }
}

TEST(KeyTable, AUsageHeldByTwoKeysGivesTheLaterKey) {
  EXPECT_EQ(KeyNumberForUsage(0xE2), 0x8F);
  EXPECT_EQ(KeyNumberForUsage(0xE9), 0x96);
  EXPECT_EQ(KeyNumberForUsage(0xEA), 0x97);
  EXPECT_EQ(KeyNumberForUsage(0x04), 0x14);
  EXPECT_EQ(KeyNumberForUsage(0x99), 0);
  EXPECT_EQ(KeyNumberForUsage(0), 0);
}

TEST(KeyTable, EveryKeyWithAOneByteUsageReadsBackAsAKeyWithThatUsage) {
  for (int key = 0x10; key <= 0xA0; ++key) {
    const std::uint16_t usage = KeyUsage(static_cast<std::uint8_t>(key));
    if (usage == 0 || usage > 0xFF) continue;
    EXPECT_EQ(KeyUsage(KeyNumberForUsage(usage)), usage) << "key " << key;
  }
}

TEST(MacroModeByte, OnlyModeOneCarriesARepeatCountLimitedToOneToFifteen) {
  EXPECT_EQ(MacroModeByte(0, 9), 0x10);
  EXPECT_EQ(MacroModeByte(1, 0), 0x21);
  EXPECT_EQ(MacroModeByte(1, 7), 0x27);
  EXPECT_EQ(MacroModeByte(1, 20), 0x2F);
  EXPECT_EQ(MacroModeByte(2, 7), 0x30);
  EXPECT_EQ(MacroModeByte(15, 0), 0x00);  // looks like a fixed assignment to a download

  const ButtonEntry back = DecodedGeneral(EncodeGeneralMacro(MacroEntry({{0x14, 1}}, 2, 7)));
  EXPECT_EQ(back.RepeatMode, 2);
  EXPECT_EQ(back.RepeatCount, 0);
  const ButtonEntry counted = DecodedGeneral(EncodeGeneralMacro(MacroEntry({{0x14, 1}}, 1, 20)));
  EXPECT_EQ(counted.RepeatMode, 1);
  EXPECT_EQ(counted.RepeatCount, 15);
}

TEST(GeneralMacro, AKeyTapWithDelaysBecomesTwoRecordsAndReadsBackWithTheLastDelayCleared) {
  const MacroRecords records = EncodeGeneralMacro(MacroEntry({{0x14, 1}, {0xFF, 50}, {0x14, 0}, {0xFF, 20}}));
  EXPECT_EQ(WireOf(records), (std::vector<Wire>{{0x60, 0, 0x04, 0, 0x10, 50}, {0x60, 0, 0, 0, 0x10, 20}}));

  const ButtonEntry back = DecodedGeneral(records, 4);
  EXPECT_EQ(StepsOf(back), (std::vector<Step>{{0x14, 1}, {0xFF, 50}, {0x14, 0}, {0xFF, 0}}));
  EXPECT_EQ(back.FuncCode, kFuncGeneralMacro);
  EXPECT_EQ(back.ButtonNo, 5);
  EXPECT_EQ(back.RepeatMode, 0);
  EXPECT_EQ(back.RepeatCount, 0);
}

TEST(GeneralMacro, MouseButtonsAreSentAsButtonRecordsAndTheirReleaseNamesThePreviousMask) {
  EXPECT_EQ(WireOf(EncodeGeneralMacro(MacroEntry({{16, 1}, {16, 0}}))),
            (std::vector<Wire>{{0x20, 16, 0, 0, 0x10, 0}, {0xA0, 16, 0, 0, 0x10, 0}}));
  const MacroRecords clicks = EncodeGeneralMacro(MacroEntry({{1, 1}, {0xFF, 8}, {1, 0}, {0xFF, 9}, {2, 1}, {2, 0}}));
  EXPECT_EQ(StepsOf(DecodedGeneral(clicks)), (std::vector<Step>{{1, 1}, {0xFF, 8}, {1, 0}, {0xFF, 9}, {2, 1}, {2, 0}}));
}

TEST(GeneralMacro, AFirstDelayIsSentAsNoKeyAndOfDelaysInARowTheLastCounts) {
  EXPECT_EQ(WireOf(EncodeGeneralMacro(MacroEntry({{0xFF, 10}, {0x14, 1}, {0xFF, 5}, {0xFF, 7}, {0x14, 0}}))),
            (std::vector<Wire>{{0x60, 0, 0, 0, 0x10, 0}, {0x60, 0, 0x04, 0, 0x10, 7}, {0x60, 0, 0, 0, 0x10, 0}}));
}

TEST(GeneralMacro, KeysWithoutAOneByteUsageDoNotSurviveADownload) {
  // Usage 0x183 is cut to 0x83, which no key has: the step reads back as an end of list.
  const MacroRecords wide = EncodeGeneralMacro(MacroEntry({{0x90, 1}}));
  EXPECT_EQ(WireOf(wide), (std::vector<Wire>{{0x60, 0, 0x83, 0, 0x10, 0}}));
  EXPECT_EQ(DecodedGeneral(wide).Steps[0].StepCode, 0);

  // A key without usage is sent as no key: a release, or nothing when first.
  EXPECT_EQ(WireOf(EncodeGeneralMacro(MacroEntry({{0x17, 1}}))), (std::vector<Wire>{{0x60, 0, 0, 0, 0x10, 0}}));
  EXPECT_EQ(DecodedGeneral(EncodeGeneralMacro(MacroEntry({{0x17, 1}}))).StepCount, 0);
  EXPECT_EQ(StepsOf(DecodedGeneral(EncodeGeneralMacro(MacroEntry({{0x14, 1}, {0x17, 1}})))),
            (std::vector<Step>{{0x14, 1}, {0x14, 0}}));
}

TEST(GeneralMacro, AKeyReleasedRightAwayBeforeAPauseIsStillReleasedAfterTheNextUpload) {
  const MacroRecords sent = EncodeGeneralMacro(MacroEntry({{0x14, 1}, {0x14, 0}, {0xFF, 100}}));
  const ButtonEntry back = DecodedGeneral(sent);
  EXPECT_EQ(StepsOf(back), (std::vector<Step>{{0x14, 1}, {0x14, 0}, {0xFF, 0}}));
  EXPECT_EQ(WireOf(EncodeGeneralMacro(back)),
            (std::vector<Wire>{{0x60, 0, 0x04, 0, 0x10, 0}, {0x60, 0, 0, 0, 0x10, 0}}));
}

// What the mouse is sent again after a read-back: the same records, except
// the delay after the very last one, which the read-back clears.
void ExpectSameRecordsAfterReadBack(const ButtonEntry& entry) {
  const std::vector<Wire> sent = WireOf(EncodeGeneralMacro(entry));
  std::vector<Wire> expected = sent;
  if (!expected.empty()) expected.back().delay = 0;
  EXPECT_EQ(WireOf(EncodeGeneralMacro(DecodedGeneral(EncodeGeneralMacro(entry)))), expected);
}

TEST(GeneralMacro, AReleaseRightAfterItsPressIsSentAgainAsTheSameReleaseAfterAReadBack) {
  const ButtonEntry keys = MacroEntry({{0x14, 1}, {0xFF, 10}, {0x15, 1}, {0x15, 0}, {0xFF, 20}});
  EXPECT_EQ(StepsOf(DecodedGeneral(EncodeGeneralMacro(keys))),
            (std::vector<Step>{{0x14, 1}, {0xFF, 10}, {0x15, 1}, {0x15, 0}, {0xFF, 0}}))
      << "the release names 0x15, so the next upload releases it";
  ExpectSameRecordsAfterReadBack(keys);
  ExpectSameRecordsAfterReadBack(MacroEntry({{1, 1}, {0xFF, 10}, {2, 1}, {2, 0}, {0xFF, 20}}));
  ExpectSameRecordsAfterReadBack(MacroEntry({{0x14, 1}, {1, 1}, {1, 0}, {0xFF, 20}}));
  ExpectSameRecordsAfterReadBack(MacroEntry({{1, 1}, {0x14, 1}, {0x14, 0}, {0xFF, 20}}));
}

// Macros as a person records them: groups of keys or of mouse buttons pressed
// and released in reverse order, delays anywhere after the first press.
// Keys are those whose usage fits the record's byte; 0x10 is the fifth mouse
// button in a general macro.
TEST(GeneralMacro, EveryRecordedMacroIsSentAgainAsTheSameRecordsAfterAReadBack) {
  std::vector<int> keys;
  for (int key = 0x11; key <= 0xA0; ++key) {
    const std::uint16_t usage = KeyUsage(static_cast<std::uint8_t>(key));
    if (usage != 0 && usage <= 0xFF) keys.push_back(key);
  }
  const int buttons[] = {1, 2, 4, 8, 16};
  std::mt19937 random(15);
  const auto chance = [&](int percent) { return static_cast<int>(random() % 100) < percent; };
  for (int macro = 0; macro < 3000; ++macro) {
    ButtonEntry entry{};
    int n = 0;
    const auto add = [&](int code, int value) {
      if (n == kMacroSteps) return;
      entry.Steps[n].StepCode = static_cast<std::uint8_t>(code);
      entry.Steps[n++].StepValue = static_cast<std::uint16_t>(value);
    };
    const auto maybe_delay = [&] {
      for (int d = 0; d < 2 && chance(35); ++d) add(0xFF, static_cast<int>(random() % 3000));
    };
    const int groups = 1 + static_cast<int>(random() % 8);
    for (int g = 0; g < groups && n < kMacroSteps - 18; ++g) {
      const bool mouse = chance(40);
      std::vector<int> held;
      const int depth = 1 + static_cast<int>(random() % 3);
      for (int i = 0; i < depth; ++i) {
        held.push_back(mouse ? buttons[random() % 5] : keys[random() % keys.size()]);
        add(held.back(), 1);
        maybe_delay();
      }
      for (auto it = held.rbegin(); it != held.rend(); ++it) {
        add(*it, 0);
        maybe_delay();
      }
    }
    entry.RepeatMode = static_cast<std::uint8_t>(random() % 4);
    entry.RepeatCount = static_cast<std::uint8_t>(random() % 20);
    SCOPED_TRACE("macro " + std::to_string(macro));
    ExpectSameRecordsAfterReadBack(entry);
    if (HasFailure()) return;
  }
}

TEST(GeneralMacro, AOneKeyMacroHeldThirtyMillisecondsReadsBackAsItsPreset) {
  EXPECT_EQ(DecodedGeneral(EncodeGeneralMacro(MacroEntry({{0x36, 1}, {0xFF, 30}, {0x36, 0}}))).FuncCode, 0xAC);
  EXPECT_EQ(DecodedGeneral(EncodeGeneralMacro(MacroEntry({{0x31, 1}, {0xFF, 30}, {0x31, 0}}))).FuncCode, 0xB2);
  EXPECT_EQ(DecodedGeneral(EncodeGeneralMacro(MacroEntry({{0x36, 1}, {0xFF, 31}, {0x36, 0}}))).FuncCode, 0xA6);
  EXPECT_EQ(DecodedGeneral(EncodeGeneralMacro(MacroEntry({{0x14, 1}, {0xFF, 30}, {0x14, 0}}))).FuncCode, 0xA6);
}

TEST(BulletMacro, TheBulletProfileTravelsInEveryMovementAndComesBackOnEveryClick) {
  const ButtonEntry sent =
      MacroEntry({{5, 1}, {0xFF, 10}, {5, 0}, {0xFF, 11}, {12, 0x3205}, {0xFF, 20}, {5, 1}, {5, 0}, {12, 0x0A05}});
  const MacroRecords records = EncodeBulletMacro(sent);
  EXPECT_EQ(WireOf(records), (std::vector<Wire>{{0x20, 1, 0, 0, 0x10, 10},
                                                {0xA0, 1, 0, 0, 0x10, 11},
                                                {0xC0, 0x00, 0x05, 4, 0x10, 20},
                                                {0x20, 1, 0, 0, 0x10, 0},
                                                {0xA0, 1, 0, 0, 0x10, 0},
                                                {0xC0, 0xD8, 0x05, 4, 0x10, 0}}));
  const ButtonEntry back = DecodedBullet(records, 2);
  EXPECT_EQ(StepsOf(back), StepsOf(sent));
  EXPECT_EQ(back.FuncCode, kFuncBulletMacro);
  EXPECT_EQ(back.ButtonNo, 3);
}

TEST(BulletMacro, ClicksOfCodeOneBelongToNoBulletProfile) {
  const MacroRecords records = EncodeBulletMacro(MacroEntry({{1, 1}, {1, 0}, {12, 0x3301}}));
  EXPECT_EQ(records.records[2].Arg3, 0);
  EXPECT_EQ(DecodedBullet(records).Steps[0].StepCode, 1);
}

TEST(BulletMacro, OtherStepsAreSentAsNoKeyAndAStillMovementRepeatsThePreviousOne) {
  EXPECT_EQ(
      WireOf(EncodeBulletMacro(MacroEntry({{1, 1}, {12, 0x3401}, {12, 0}, {0x20, 1}}))),
      (std::vector<Wire>{
          {0x20, 1, 0, 0, 0x10, 0}, {0xC0, 2, 1, 0, 0x10, 0}, {0xA0, 2, 1, 0, 0x10, 0}, {0x60, 0, 0, 0, 0x10, 0}}));
}

TEST(MacroDecode, RecordsWhoseFirstModeByteIsZeroAreNoMacro) {
  const std::vector<ButtonRecord> fixed = RecordsOf({{0x21, 1, 0, 0, 0, 0xFFFF}, {0x60, 0, 4, 0, 0x10, 0}});
  for (const auto decode : {&DecodeGeneralMacro, &DecodeBulletMacro}) {
    ButtonEntry entry{};
    entry.MacroID = 7;
    EXPECT_EQ(decode(fixed, 0, entry), 0);
    EXPECT_EQ(entry.FuncCode, 0);
    EXPECT_EQ(entry.MacroID, 7);
    EXPECT_EQ(decode({}, 0, entry), 0);
  }
}

TEST(MacroDecodeBounds, RecordsGivingMoreThanNinetyTwoStepsFillTheEntryAndNoFurther) {
  // 92 key records, each followed by a delay: 184 steps offered.
  const std::vector<ButtonRecord> records(kMaxMacroRecords, RecordsOf({{0x60, 0, 0x04, 0, 0x2F, 5}})[0]);
  for (const auto decode : {&DecodeGeneralMacro, &DecodeBulletMacro}) {
    ButtonEntry entry{};
    entry.reserved2[0] = 0xAA;
    entry.reserved2[1] = 0xBB;
    EXPECT_EQ(decode(records, 0, entry), kMacroSteps);
    EXPECT_EQ(entry.StepCount, kMacroSteps);
    EXPECT_EQ(entry.Steps[90].StepCode, 0x14);
    EXPECT_EQ(entry.Steps[91].StepCode, 0xFF);
    EXPECT_EQ(entry.RepeatMode, 1);
    EXPECT_EQ(entry.RepeatCount, 15);
    EXPECT_EQ(entry.reserved2[0], 0xAA);
    EXPECT_EQ(entry.reserved2[1], 0xBB);
    EXPECT_EQ(entry.MacroID, 0);
  }
}

}  // namespace
}  // namespace qx27
