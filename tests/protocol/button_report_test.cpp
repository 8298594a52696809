#include "protocol/button_report.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

#include "profile_fixtures.h"
#include "protocol/macro_records.h"

namespace qx27 {
namespace {

using test::DefaultProfile;
using Bytes = std::vector<int>;

int Pointer(const ButtonReport& report, int button) { return report[1 + 2 * button] | report[2 + 2 * button] << 8; }

Bytes RecordAt(const ButtonReport& report, int payload_offset) {
  return Bytes(report.begin() + 1 + payload_offset, report.begin() + 1 + payload_offset + 10);
}

// A report as a mouse might return it: pointers as given, records placed by hand.
ButtonReport Crafted(std::initializer_list<int> pointers, std::initializer_list<std::pair<int, Bytes>> records = {}) {
  ButtonReport report{};
  report[0] = kButtonReportId;
  for (int k = 0; k < kButtonCount; ++k) {
    const int value = k < static_cast<int>(pointers.size()) ? pointers.begin()[k] : 0xFFFF;
    report[1 + 2 * k] = static_cast<std::uint8_t>(value);
    report[2 + 2 * k] = static_cast<std::uint8_t>(value >> 8);
  }
  for (const auto& [offset, bytes] : records) {
    for (std::size_t i = 0; i < bytes.size(); ++i) report[1 + offset + i] = static_cast<std::uint8_t>(bytes[i]);
  }
  return report;
}

class StoredBulletMacros : public BulletMacroSink {
 public:
  void StoreBulletMacro(const ButtonEntry& entry, int button_index) override {
    stored.emplace_back(button_index, entry);
  }
  std::vector<std::pair<int, ButtonEntry>> stored;
};

// Downloads into a Working profile whose button entries hold leftovers, as one would after use.
ProfileRecord Downloaded(const ButtonReport& report, const ProfileRecord& stored = DefaultProfile(),
                         BulletMacroSink* sink = nullptr) {
  ProfileRecord working = stored;
  for (ButtonEntry& entry : working.ButtonAssigned) {
    std::memset(static_cast<void*>(&entry), 0x5A, sizeof entry);
  }
  DecodeButtonReport(report, stored, working, sink);
  return working;
}

std::uint8_t RoundTrip(std::uint8_t code, int button = 0) {
  ProfileRecord p = DefaultProfile();
  p.ButtonAssigned[button].FuncCode = code;
  return Downloaded(EncodeButtonReport(p)).ButtonAssigned[button].FuncCode;
}

void SetSteps(ButtonEntry& entry, std::uint8_t func_code, std::initializer_list<std::pair<int, int>> steps) {
  entry = ButtonEntry{};
  entry.FuncCode = func_code;
  int i = 0;
  for (const auto& [code, value] : steps) {
    entry.Steps[i].StepCode = static_cast<std::uint8_t>(code);
    entry.Steps[i++].StepValue = static_cast<std::uint16_t>(value);
  }
  entry.StepCount = static_cast<std::uint8_t>(i);
}

void SetKeyPresses(ButtonEntry& entry, int presses) {
  entry = ButtonEntry{};
  entry.FuncCode = kFuncGeneralMacro;
  for (int i = 0; i < presses; ++i) {
    entry.Steps[i].StepCode = 0x14;
    entry.Steps[i].StepValue = 1;
  }
}

TEST(ButtonReport, TheDefaultButtonsAreSentAsTwelveRecordsBehindTheirPointers) {
  const ButtonReport report = EncodeButtonReport(DefaultProfile());
  EXPECT_EQ(report[0], kButtonReportId);
  EXPECT_EQ(report[1], 0x30);
  EXPECT_EQ(report[2], 0x00);
  const int expected_pointers[kButtonCount] = {48, 58, 68, 78, 88, 98, 108, 118, 158};
  for (int k = 0; k < kButtonCount; ++k) EXPECT_EQ(Pointer(report, k), expected_pointers[k]) << "button " << k + 1;

  EXPECT_EQ(RecordAt(report, 48), (Bytes{0x21, 0x01, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF}));
  EXPECT_EQ(RecordAt(report, 78), (Bytes{0x44, 0x01, 0, 0, 0, 0, 0, 0, 0x00, 0x00}));
  EXPECT_EQ(RecordAt(report, 118), (Bytes{0x28, 0x01, 0, 0, 0, 0, 0, 0, 0x41, 0x00}));
  EXPECT_EQ(RecordAt(report, 128), (Bytes{0xA8, 0x01, 0, 0, 0, 0, 0, 0, 0x41, 0x00}));
  EXPECT_EQ(RecordAt(report, 138), (Bytes{0x28, 0x01, 0, 0, 0, 0, 0, 0, 0x41, 0x00}));
  EXPECT_EQ(RecordAt(report, 148), (Bytes{0xA8, 0x01, 0, 0, 0, 0, 0, 0, 0x41, 0x00}));
  EXPECT_EQ(RecordAt(report, 158), (Bytes{0x29, 0x02, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF}));
  for (int offset = 18; offset < 48; ++offset) EXPECT_EQ(report[1 + offset], 0) << offset;
  for (int offset = 168; offset < 2048; ++offset) ASSERT_EQ(report[1 + offset], 0) << offset;
}

TEST(ButtonReport, TheDefaultButtonsReadBackAsSentWithButtonNineAsTheRightButton) {
  const ProfileRecord back = Downloaded(EncodeButtonReport(DefaultProfile()));
  const std::uint8_t expected[kButtonCount] = {0xA0, 0xA1, 0xA2, 0xD0, 0xA4, 0xA3, 0xD1, 0xA5, 0xA1};
  for (int k = 0; k < kButtonCount; ++k) {
    const ButtonEntry& entry = back.ButtonAssigned[k];
    EXPECT_EQ(entry.FuncCode, expected[k]) << "button " << k + 1;
    EXPECT_EQ(entry.ButtonNo, 0);
    EXPECT_EQ(entry.MacroID, 0);
    EXPECT_EQ(entry.StepCount, 0);
  }
}

TEST(ButtonReport, ACtrlZAssignmentSurvivesAnUploadAndADownload) {
  ProfileRecord p = DefaultProfile();
  p.ButtonAssigned[3].FuncCode = kFuncCtrlZ;
  const ButtonReport report = EncodeButtonReport(p);
  EXPECT_EQ(RecordAt(report, 78), (Bytes{0x64, 0x01, 0x1D, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Downloaded(report).ButtonAssigned[3].FuncCode, kFuncCtrlZ);
  // A mouse written by older software carries the usage Ctrl+Z was once read by.
  EXPECT_EQ(Downloaded(Crafted({48}, {{48, {0x61, 0x01, 0x0D}}})).ButtonAssigned[0].FuncCode, kFuncCtrlZ);
}

TEST(ButtonReport, EveryFixedFunctionSurvivesAnUploadAndADownloadOnEveryButton) {
  const std::vector<int> codes = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xC0, 0xC1, 0xC2, 0xC3, 0xC4,
                                  0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xD0, 0xD1, 0xD2, 0xD3, 0xD4,
                                  0xD5, 0xD6, 0xD7, 0xE0, 0xE1, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6};
  for (int button = 0; button < kButtonCount - 1; ++button) {
    for (const int code : codes) {
      EXPECT_EQ(RoundTrip(static_cast<std::uint8_t>(code), button), code) << "button " << button + 1;
    }
  }
}

TEST(ButtonReport, CodesWithoutRecordsGetNoPointerAndReadBackAsNoFunction) {
  for (const int code : {0xA8, 0xA9, 0xAA, 0xAB, 0x00, 0xB3, 0xCB, 0xFF}) {
    ProfileRecord p = DefaultProfile();
    p.ButtonAssigned[2].FuncCode = static_cast<std::uint8_t>(code);
    const ButtonReport report = EncodeButtonReport(p);
    EXPECT_EQ(Pointer(report, 2), 0xFFFF) << code;
    EXPECT_EQ(Pointer(report, 3), 68) << code;
    EXPECT_EQ(Downloaded(report).ButtonAssigned[2].FuncCode, kFuncNoFunction) << code;
  }
}

TEST(ButtonReport, ButtonNineIsAlwaysSentAsTheRightButton) {
  ProfileRecord p = DefaultProfile();
  SetSteps(p.ButtonAssigned[8], kFuncGeneralMacro, {{0x14, 1}, {0x14, 0}});
  EXPECT_EQ(RecordAt(EncodeButtonReport(p), 158), (Bytes{0x29, 0x02, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF}));
  p.ButtonAssigned[8].FuncCode = 0xD0;
  EXPECT_EQ(RecordAt(EncodeButtonReport(p), 158), (Bytes{0x29, 0x02, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF}));
}

TEST(ButtonReportDecode, FixedDataIsToldByItsLengthAndItsSingleRecord) {
  const Bytes junk = {0x7F, 0x33, 0x44, 0x55, 0, 0, 0, 0, 1, 2};
  const ProfileRecord forty = Downloaded(Crafted({48, 88}, {{48, junk}, {58, junk}, {68, junk}, {78, junk}}));
  EXPECT_EQ(forty.ButtonAssigned[0].FuncCode, kFuncDoubleClick);

  EXPECT_EQ(Downloaded(Crafted({48, 68}, {{48, {0x21, 0x01}}})).ButtonAssigned[0].FuncCode, kFuncNoFunction);

  const ProfileRecord odd = Downloaded(Crafted({48}, {{48, {0x21, 0x03}}}));
  ButtonEntry empty{};
  EXPECT_EQ(std::memcmp(&odd.ButtonAssigned[0], &empty, sizeof empty), 0);
  EXPECT_EQ(Downloaded(Crafted({48}, {{48, {0x81, 0x20, 0x00, 0x02}}})).ButtonAssigned[0].FuncCode, 0xC9);
  EXPECT_EQ(Downloaded(Crafted({48}, {{48, {0x81, 0x00, 0x05, 0x00}}})).ButtonAssigned[0].FuncCode, 0);
  EXPECT_EQ(Downloaded(Crafted({48}, {{48, {0x81, 0x40, 0x05, 0x00}}})).ButtonAssigned[0].FuncCode, 0xE4);
  EXPECT_EQ(Downloaded(Crafted({48}, {{48, {0x61, 0x01, 0x1E}}})).ButtonAssigned[0].FuncCode, 0);
}

TEST(ButtonReportDecode, PointersAboveTheReportLengthAreReadByTheirLowByte) {
  EXPECT_EQ(Downloaded(Crafted({0x0A37}, {{0x37, {0x41, 0x02}}})).ButtonAssigned[0].FuncCode, 0xD1);
  // 0x01FF is a pointer like any other, not the mark of a button without data.
  EXPECT_EQ(Downloaded(Crafted({0x01FF}, {{0x01FF, {0x41, 0x02}}})).ButtonAssigned[0].FuncCode, 0xD1);
  // Pointers that do not grow leave a button a single record.
  const ProfileRecord back = Downloaded(Crafted({88, 48}, {{48, {0x42, 0x01}}, {88, {0x41, 0x02}}}));
  EXPECT_EQ(back.ButtonAssigned[0].FuncCode, 0xD1);
  EXPECT_EQ(back.ButtonAssigned[1].FuncCode, 0xD0);
}

TEST(ButtonReportMacros, AGeneralMacroKeepsItsIdentifierOnlyWhileItMatchesTheStoredOne) {
  ProfileRecord stored = DefaultProfile();
  SetSteps(stored.ButtonAssigned[2], kFuncGeneralMacro, {{0x14, 1}, {0xFF, 40}, {0x14, 0}});
  stored.ButtonAssigned[2].MacroID = 17;
  stored.ButtonAssigned[2].RepeatMode = 1;
  stored.ButtonAssigned[2].RepeatCount = 3;
  const ButtonReport report = EncodeButtonReport(stored);
  EXPECT_EQ(RecordAt(report, 68), (Bytes{0x63, 0, 0x04, 0, 0, 0, 0, 0x23, 40, 0}));
  EXPECT_EQ(Pointer(report, 3), 88);

  const ButtonEntry same = Downloaded(report, stored).ButtonAssigned[2];
  EXPECT_EQ(same.FuncCode, kFuncGeneralMacro);
  EXPECT_EQ(same.ButtonNo, 3);
  EXPECT_EQ(same.StepCount, 3);
  EXPECT_EQ(same.RepeatCount, 3);
  EXPECT_EQ(same.MacroID, 17);

  ProfileRecord delay_differs = stored;
  delay_differs.ButtonAssigned[2].Steps[1].StepValue = 99;
  EXPECT_EQ(Downloaded(report, delay_differs).ButtonAssigned[2].MacroID, 17);

  ProfileRecord key_differs = stored;
  key_differs.ButtonAssigned[2].Steps[0].StepCode = 0x15;
  EXPECT_EQ(Downloaded(report, key_differs).ButtonAssigned[2].MacroID, -1);
}

class BulletMacroDownload : public ::testing::Test {
 protected:
  void SetUp() override {
    stored = DefaultProfile();
    SetSteps(stored.ButtonAssigned[1], kFuncBulletMacro, {{5, 1}, {5, 0}, {12, 0x3404}, {0xFF, 9}});
    stored.ButtonAssigned[1].MacroID = 42;
    on_mouse = stored;
  }
  ProfileRecord stored;
  ProfileRecord on_mouse;
  StoredBulletMacros sink;
};

TEST_F(BulletMacroDownload, AnUnchangedBulletMacroKeepsItsIdentifierAndIsNotStoredAgain) {
  const ProfileRecord back = Downloaded(EncodeButtonReport(on_mouse), stored, &sink);
  EXPECT_EQ(back.ButtonAssigned[1].FuncCode, kFuncBulletMacro);
  EXPECT_EQ(back.ButtonAssigned[1].MacroID, 42);
  EXPECT_TRUE(sink.stored.empty());
}

TEST_F(BulletMacroDownload, AChangedBulletMacroOfABulletProfileIsHandedOverInButtonOrder) {
  on_mouse.ButtonAssigned[1].Steps[2].StepValue = 0x3505;
  on_mouse.ButtonAssigned[4] = on_mouse.ButtonAssigned[1];
  on_mouse.ButtonAssigned[4].Steps[0].StepCode = 3;
  const ProfileRecord back = Downloaded(EncodeButtonReport(on_mouse), stored, &sink);
  EXPECT_EQ(back.ButtonAssigned[1].MacroID, 42);
  ASSERT_EQ(sink.stored.size(), 2u);
  EXPECT_EQ(sink.stored[0].first, 1);
  EXPECT_EQ(sink.stored[1].first, 4);
  EXPECT_EQ(std::memcmp(&sink.stored[0].second, &back.ButtonAssigned[1], sizeof(ButtonEntry)), 0);
  EXPECT_EQ(sink.stored[0].second.Steps[0].StepCode, 5);
  EXPECT_EQ(sink.stored[0].second.Steps[2].StepValue.Get(), 0x3505);
  EXPECT_EQ(sink.stored[1].second.Steps[0].StepCode, 3);

  // Without a sink the download still completes the same way.
  EXPECT_EQ(Downloaded(EncodeButtonReport(on_mouse), stored, nullptr).ButtonAssigned[1].MacroID, 42);
}

TEST_F(BulletMacroDownload, AChangedBulletMacroWithoutABulletProfileLosesItsIdentifier) {
  on_mouse.ButtonAssigned[1].Steps[0].StepCode = 1;
  on_mouse.ButtonAssigned[1].Steps[1].StepCode = 1;
  const ProfileRecord back = Downloaded(EncodeButtonReport(on_mouse), stored, &sink);
  EXPECT_EQ(back.ButtonAssigned[1].MacroID, -1);
  EXPECT_TRUE(sink.stored.empty());
}

TEST(ButtonReportMacros, StoredAndWorkingMayBeTheSameProfile) {
  ProfileRecord p = DefaultProfile();
  SetSteps(p.ButtonAssigned[0], kFuncGeneralMacro, {{0x14, 1}, {0xFF, 5}, {0x14, 0}});
  p.ButtonAssigned[0].MacroID = 8;
  const ButtonReport report = EncodeButtonReport(p);
  DecodeButtonReport(report, p, p, nullptr);
  EXPECT_EQ(p.ButtonAssigned[0].MacroID, 8);
}

TEST(ButtonReportMacros, AnEmptyMacroReadsBackAsNoFunctionNotAsTheNextButton) {
  ProfileRecord p = DefaultProfile();
  SetSteps(p.ButtonAssigned[2], kFuncGeneralMacro, {});
  const ButtonReport report = EncodeButtonReport(p);
  EXPECT_EQ(Pointer(report, 2), 68);
  EXPECT_EQ(Pointer(report, 3), 68);
  const ProfileRecord back = Downloaded(report);
  EXPECT_EQ(back.ButtonAssigned[2].FuncCode, kFuncNoFunction);
  EXPECT_EQ(back.ButtonAssigned[3].FuncCode, 0xD0);
}

// The record area holds 200 records; the last is kept for button 9.
TEST(ButtonReportRecordArea, AMacroThatDoesNotFitIsLeftOutWholeAndLaterButtonsStillGo) {
  ProfileRecord p = DefaultProfile();
  SetKeyPresses(p.ButtonAssigned[0], 92);
  SetKeyPresses(p.ButtonAssigned[1], 92);
  SetKeyPresses(p.ButtonAssigned[2], 16);  // 200 with the two above: one too many
  const ButtonReport report = EncodeButtonReport(p);
  EXPECT_EQ(Pointer(report, 1), 48 + 920);
  EXPECT_EQ(Pointer(report, 2), 0xFFFF);
  EXPECT_EQ(Pointer(report, 3), 48 + 1840);
  EXPECT_EQ(RecordAt(report, 48 + 1840), (Bytes{0x44, 0x01, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Pointer(report, 8), 48 + 1920);

  const ProfileRecord back = Downloaded(report);
  EXPECT_EQ(back.ButtonAssigned[0].StepCount, 92);
  EXPECT_EQ(back.ButtonAssigned[1].StepCount, 92);
  EXPECT_EQ(back.ButtonAssigned[2].FuncCode, kFuncNoFunction);
  EXPECT_EQ(back.ButtonAssigned[3].FuncCode, 0xD0);
  EXPECT_EQ(back.ButtonAssigned[7].FuncCode, kFuncDoubleClick);
  EXPECT_EQ(back.ButtonAssigned[8].FuncCode, kFuncRightButton);
}

TEST(ButtonReportRecordArea, MacrosFillingTheAreaToTheLastRecordAreSentAndReadBackWhole) {
  ProfileRecord p = DefaultProfile();
  SetKeyPresses(p.ButtonAssigned[0], 92);
  SetKeyPresses(p.ButtonAssigned[1], 92);
  SetKeyPresses(p.ButtonAssigned[2], 15);
  for (int k = 3; k < 8; ++k) p.ButtonAssigned[k].FuncCode = kFuncNoFunction;
  const ButtonReport report = EncodeButtonReport(p);
  EXPECT_EQ(Pointer(report, 2), 48 + 1840);
  EXPECT_EQ(Pointer(report, 8), 48 + 1990);
  EXPECT_EQ(RecordAt(report, 48 + 1990)[0], 0x29);

  const ProfileRecord back = Downloaded(report);
  EXPECT_EQ(back.ButtonAssigned[2].StepCount, 15);
  EXPECT_EQ(back.ButtonAssigned[8].FuncCode, kFuncRightButton);
}

TEST(ButtonReportDecodeBounds, DataRunningPastThePayloadIsReadUpToItsEnd) {
  EXPECT_EQ(Downloaded(Crafted({2040}, {{2040, {0x21, 0x04}}})).ButtonAssigned[0].FuncCode, 0xA2);
  EXPECT_EQ(Downloaded(Crafted({2047}, {{2047, {0x41}}})).ButtonAssigned[0].FuncCode, 0xD2);
  EXPECT_EQ(Downloaded(Crafted({2049})).ButtonAssigned[0].FuncCode, 0);
  // A macro whose first record is cut off after its mode byte ends there.
  const ButtonEntry cut = Downloaded(Crafted({2040}, {{2040, {0x61, 0, 0x04, 0, 0, 0, 0, 0x10}}})).ButtonAssigned[0];
  EXPECT_EQ(cut.FuncCode, kFuncGeneralMacro);
  EXPECT_EQ(cut.StepCount, 1);
}

TEST(ButtonReportDecodeBounds, AButtonsDataIsReadToNinetyTwoRecords) {
  ButtonReport report = Crafted({48, 1508}, {{1508, {0x42, 0x01}}});  // 146 records for button 1
  for (int offset = 48; offset < 1508; offset += 10) {
    report[1 + offset] = 0x61;
    report[1 + offset + 2] = 0x04;
    report[1 + offset + 7] = 0x10;
  }
  const ProfileRecord back = Downloaded(report);
  EXPECT_EQ(back.ButtonAssigned[0].StepCount, 92);
  EXPECT_EQ(back.ButtonAssigned[0].Steps[91].StepCode, 0x14);
  EXPECT_EQ(back.ButtonAssigned[1].FuncCode, 0xD0);
}

TEST(ButtonReportDecodeBounds, DataShorterThanARecordThatHoldsAModeByteIsAMacroOfNoSteps) {
  const ButtonReport report = Crafted({48, 56}, {{48, {0x61, 0, 0x04, 0, 0, 0, 0, 0x21}}});
  const ButtonEntry empty = Downloaded(report).ButtonAssigned[0];
  EXPECT_EQ(empty.FuncCode, kFuncGeneralMacro);
  EXPECT_EQ(empty.ButtonNo, 1);
  EXPECT_EQ(empty.StepCount, 0);
  EXPECT_EQ(empty.Steps[0].StepCode, 0);
  EXPECT_EQ(empty.RepeatMode, 1);
  EXPECT_EQ(empty.RepeatCount, 1);
  EXPECT_EQ(empty.MacroID, -1);

  ProfileRecord stored = DefaultProfile();
  SetSteps(stored.ButtonAssigned[0], kFuncGeneralMacro, {});
  stored.ButtonAssigned[0].MacroID = 31;
  EXPECT_EQ(Downloaded(report, stored).ButtonAssigned[0].MacroID, 31) << "the same empty macro keeps its identifier";

  // Seven bytes hold no mode byte: no macro, and not a single record either.
  EXPECT_EQ(Downloaded(Crafted({48, 55}, {{48, {0x61, 0, 0x04}}})).ButtonAssigned[0].FuncCode, kFuncNoFunction);
}

}  // namespace
}  // namespace qx27
