#include "protocol/performance_report.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "profile_fixtures.h"

namespace qx27 {
namespace {

using test::DefaultProfile;

PerformanceReport Report(std::initializer_list<std::pair<int, std::uint8_t>> bytes) {
  PerformanceReport report{};
  report[0] = kPerformanceReportId;
  for (const auto& [index, value] : bytes) report[index] = value;
  return report;
}

ProfileRecord Decoded(const PerformanceReport& report, ProfileRecord profile = DefaultProfile()) {
  DecodePerformanceReport(report, profile);
  return profile;
}

TEST(PerformanceReport, TheDefaultProfileIsSentAsTheKnownFortyBytes) {
  const PerformanceReport expected = {0x03, 0x00, 0x02, 0x00, 0x02, 0xFF, 0x00, 0x00, 0x01, 0x02,
                                      0x03, 0x04, 0x05, 0x06, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00,
                                      0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00, 0xFF, 0xFF, 0xFF, 0x00,
                                      0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
  EXPECT_EQ(EncodePerformanceReport(DefaultProfile()), expected);
}

TEST(PerformanceReport, LightingOffBlanksTheLightingBytesAndReadsBackAsOff) {
  ProfileRecord p = DefaultProfile();
  p.Enable_light = 0;
  p.light_type = 5;
  p.Cycle_enable = 1;
  p.light_Color[4] = 0x123456;
  const PerformanceReport report = EncodePerformanceReport(p);
  EXPECT_EQ(report[3], 0);
  EXPECT_EQ(report[5] | report[6] | report[7], 0);

  const ProfileRecord back = Decoded(report, p);
  EXPECT_EQ(back.light_type, 0);
  EXPECT_EQ(back.Cycle_enable, 0);
  EXPECT_EQ(back.Enable_light, 0);
  EXPECT_EQ(back.light_bright, 0);
  EXPECT_EQ(back.light_Color[0], 0);
  EXPECT_EQ(back.light_Color[4], 0x123456);
}

TEST(PerformanceReport, ZeroBrightnessWithLightingOnComesBackAsLightingOff) {
  ProfileRecord p = DefaultProfile();
  p.light_bright = 0;
  p.light_type = 3;
  const PerformanceReport report = EncodePerformanceReport(p);
  EXPECT_EQ(report[3], 0x30);
  EXPECT_EQ(report[5] | report[6] | report[7], 0);
  const ProfileRecord back = Decoded(report, p);
  EXPECT_EQ(back.Enable_light, 0);
  EXPECT_EQ(back.light_bright, 0);
}

TEST(PerformanceReport, TheEffectSubOptionTravelsInTheLowNibbleAndReturnsAsCycleEnable) {
  ProfileRecord p = DefaultProfile();
  p.Cycle_enable = 1;
  EXPECT_EQ(EncodePerformanceReport(p)[3], 0x01);
  EXPECT_EQ(Decoded(Report({{3, 0x01}})).Cycle_enable, 1);

  p.light_type = 5;
  EXPECT_EQ(EncodePerformanceReport(p)[3], 0x51);

  p.light_type = 1;
  p.light_bright_colorID = 4;
  EXPECT_EQ(EncodePerformanceReport(p)[3], 0x14);
  ProfileRecord back = p;
  back.light_bright_colorID = 2;
  DecodePerformanceReport(EncodePerformanceReport(p), back);
  EXPECT_EQ(back.light_type, 1);
  EXPECT_EQ(back.Cycle_enable, 4);
  EXPECT_EQ(back.light_bright_colorID, 2);

  for (const int effect : {2, 3, 4, 6}) {
    p.light_type = effect;
    EXPECT_EQ(EncodePerformanceReport(p)[3], effect * 16) << "effect " << effect;
  }
}

TEST(PerformanceReport, EachEffectSendsItsOwnColourScaledByBrightness) {
  ProfileRecord p = DefaultProfile();
  for (int i = 0; i < kLightColors; ++i) p.light_Color[i] = 0x10 * (i + 1);
  for (const auto& [effect, colour] : {std::pair{0, 0x10}, {1, 0x10}, {3, 0x30}, {6, 0x60}}) {
    p.light_type = effect;
    EXPECT_EQ(EncodePerformanceReport(p)[5], colour) << "effect " << effect;
  }

  p.light_type = 2;
  p.light_bright = 3;
  p.light_Color[1] = 0xFF6401;  // low, middle, high bytes 1, 100, 255
  const PerformanceReport report = EncodePerformanceReport(p);
  EXPECT_EQ(report[5], 0);
  EXPECT_EQ(report[6], 60);
  EXPECT_EQ(report[7], 153);
  // Read back with the brightness still 3, the low byte is lost.
  EXPECT_EQ(Decoded(report, p).light_Color[1], 0xFF6400);
}

TEST(PerformanceReport, AColourWithNoBrightnessKnownReadsBackAtFullBrightness) {
  ProfileRecord p = DefaultProfile();
  p.light_bright = 0;
  const ProfileRecord back = Decoded(Report({{3, 0x20}, {5, 0x0A}, {6, 0x0B}, {7, 0x0C}}), p);
  EXPECT_EQ(back.light_bright, 5);
  EXPECT_EQ(back.light_Color[1], 0x0C0B0A);
}

TEST(PerformanceReport, SpeedTravelsReversed) {
  ProfileRecord p = DefaultProfile();
  p.light_speed = 5;
  EXPECT_EQ(EncodePerformanceReport(p)[4], 0);
  EXPECT_EQ(Decoded(Report({{4, 0}})).light_speed, 5);
  EXPECT_EQ(Decoded(Report({{4, 4}})).light_speed, 1);
}

TEST(PerformanceReport, ADownloadLeavesWhatTheReportDoesNotCarry) {
  ProfileRecord before = DefaultProfile();
  before.light_bright_colorID = 6;
  before.DBClick_Speed = 9;
  PerformanceReport report;
  for (std::size_t i = 0; i < report.size(); ++i) report[i] = static_cast<std::uint8_t>(0x5B + 7 * i);
  const ProfileRecord after = Decoded(report, before);
  EXPECT_EQ(std::memcmp(after.DPI_Value, before.DPI_Value, sizeof before.DPI_Value), 0);
  EXPECT_EQ(std::memcmp(after.light_Cycle, before.light_Cycle, sizeof before.light_Cycle), 0);
  EXPECT_EQ(after.light_bright_colorID, 6);
  EXPECT_EQ(after.DBClick_Speed, 9);
  EXPECT_EQ(after.Scroll_Speed, before.Scroll_Speed);
  EXPECT_EQ(after.Mouse_Speed, before.Mouse_Speed);
  EXPECT_EQ(std::memcmp(after.ButtonAssigned, before.ButtonAssigned, sizeof before.ButtonAssigned), 0);
}

TEST(PerformanceReport, DpiStagesColoursAndLiftHeightReadBackFromTheirBytes) {
  PerformanceReport report = Report({{1, 4}, {2, 1}, {37, 3}, {16, 0x01}, {17, 0x02}, {18, 0x03}, {33, 0x80}});
  report[0] = 0x77;  // not looked at
  for (const int ignored : {14, 15, 34, 35, 36, 38, 39}) report[ignored] = 0xEE;
  const ProfileRecord back = Decoded(report);
  EXPECT_EQ(back.DPI_Cur, 4);
  EXPECT_EQ(back.POLLRATE_VALUE, 1);
  EXPECT_EQ(back.lift_height, 3);
  EXPECT_EQ(back.DPI_Color[0], 0x030201);
  EXPECT_EQ(back.DPI_Color[5], 0x800000);
}

TEST(PerformanceReport, OnlyTheLowBytesOfStoredValuesAreSent) {
  ProfileRecord p = DefaultProfile();
  p.DPI_Color[2] = 0x7F123456;
  p.DPI_Cur = 0x106;
  const PerformanceReport report = EncodePerformanceReport(p);
  EXPECT_EQ(report[22], 0x56);
  EXPECT_EQ(report[23], 0x34);
  EXPECT_EQ(report[24], 0x12);
  EXPECT_EQ(report[25], 0x00);
  EXPECT_EQ(report[1], 0x06);
}

// Bounds: effects past the colour table, nibbles past 9, values validation has not seen.
TEST(PerformanceReportBounds, EffectsEightAndNineLeaveEveryColourAlone) {
  ProfileRecord before = DefaultProfile();
  for (int i = 0; i < kLightColors; ++i) before.light_Color[i] = 0x100 + i;
  for (const int lighting : {0x80, 0x93}) {
    const ProfileRecord lit = Decoded(Report({{3, static_cast<std::uint8_t>(lighting)}, {5, 0x33}}), before);
    EXPECT_EQ(lit.light_type, lighting >> 4);
    EXPECT_EQ(std::memcmp(lit.light_Color, before.light_Color, sizeof before.light_Color), 0);
    EXPECT_EQ(lit.light_bright, before.light_bright);
    EXPECT_EQ(lit.Enable_light, 1);

    const ProfileRecord dark = Decoded(Report({{3, static_cast<std::uint8_t>(lighting)}}), before);
    EXPECT_EQ(std::memcmp(dark.light_Color, before.light_Color, sizeof before.light_Color), 0);
    EXPECT_EQ(dark.Enable_light, 0);
  }
}

TEST(PerformanceReportBounds, NibblesAboveNineReadAsZero) {
  const ProfileRecord back = Decoded(Report({{3, 0xAF}, {5, 1}}));
  EXPECT_EQ(back.light_type, 0);
  EXPECT_EQ(back.Cycle_enable, 0);
  EXPECT_EQ(Decoded(Report({{3, 0x79}, {5, 1}})).Cycle_enable, 9);
}

TEST(PerformanceReportBounds, AnUnvalidatedProfileEncodesWithoutReadingPastItsColours) {
  ProfileRecord p = DefaultProfile();
  p.light_type = 9;
  p.light_Cycle[0] = 0xFFFFFF;  // lies right after light_Color
  p.light_Cycle[1] = 0xFFFFFF;
  p.light_bright = INT_MAX;
  p.light_speed = INT_MIN;
  const PerformanceReport report = EncodePerformanceReport(p);
  EXPECT_EQ(report[5] | report[6] | report[7], 0);
  EXPECT_EQ(report[3], 0x90);
  EXPECT_EQ(report[4], 0x05);

  p.light_type = -3;  // no effect index below the first
  p.light_Color[0] = 0x000005;
  p.light_bright = 5;
  EXPECT_EQ(EncodePerformanceReport(p)[5], 5);
}

}  // namespace
}  // namespace qx27
