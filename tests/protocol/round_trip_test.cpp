// Properties over many generated profiles: what an upload sends, read back and
// sent again, is what was sent first, wherever the reports carry values whole.
#include <gtest/gtest.h>

#include <cstring>

#include "profile_fixtures.h"
#include "protocol/button_report.h"
#include "protocol/macro_records.h"
#include "protocol/performance_report.h"

namespace qx27 {
namespace {

using test::GeneratedProfile;
using test::SeededSource;

constexpr std::uint32_t kProfiles = 3000;

bool IsFixedAssignment(std::uint8_t code) {
  return (code >= 0xA0 && code <= 0xA5) || (code >= 0xC0 && code <= 0xCA) || (code >= 0xD0 && code <= 0xD7) ||
         (code >= 0xE0 && code <= 0xE6);
}

TEST(RoundTrip, APerformanceReportReadBackIsSentAgainAsItWasSaveForBrightnessScaling) {
  for (std::uint32_t seed = 0; seed < kProfiles; ++seed) {
    SCOPED_TRACE(::testing::Message() << "seed " << seed);
    const ProfileRecord p = GeneratedProfile(SeededSource(seed), false);
    const PerformanceReport first = EncodePerformanceReport(p);
    ProfileRecord read_back = p;
    DecodePerformanceReport(first, read_back);
    const PerformanceReport second = EncodePerformanceReport(read_back);

    for (std::size_t i = 0; i < first.size(); ++i) {
      if (i != 3 && (i < 5 || i > 7)) {
        ASSERT_EQ(second[i], first[i]) << "byte " << i;
      }
    }
    const bool colour_sent = (first[5] | first[6] | first[7]) != 0;
    if (p.Enable_light != 0 && !colour_sent) {
      // A lit effect without colour reads back as lighting off.
      ASSERT_EQ(read_back.Enable_light, 0);
      ASSERT_EQ(second[3], 0);
      continue;
    }
    ASSERT_EQ(second[3], first[3]);
    for (std::size_t i = 5; i <= 7; ++i) {
      if (p.light_bright == 1 || p.light_bright == 5 || p.Enable_light == 0) {
        ASSERT_EQ(second[i], first[i]) << "byte " << i;
      } else {
        // Undoing the scaling at brightness 2..4 can lose one step.
        ASSERT_LE(second[i], first[i]) << "byte " << i;
        ASSERT_GE(second[i] + 1, first[i]) << "byte " << i;
      }
    }
  }
}

TEST(RoundTrip, AButtonReportReadBackIsSentAgainByteForByte) {
  int macros = 0;
  int left_out = 0;
  for (std::uint32_t seed = 0; seed < kProfiles; ++seed) {
    SCOPED_TRACE(::testing::Message() << "seed " << seed);
    const ProfileRecord p = GeneratedProfile(SeededSource(seed), true);
    const ButtonReport first = EncodeButtonReport(p);
    ProfileRecord read_back = p;
    DecodeButtonReport(first, p, read_back, nullptr);
    ASSERT_EQ(EncodeButtonReport(read_back), first);
    for (int k = 0; k < kButtonCount - 1; ++k) {
      const std::uint8_t back = read_back.ButtonAssigned[k].FuncCode;
      macros += back == kFuncGeneralMacro || back == kFuncBulletMacro;
      // A macro the area had no room for is kept as stored, not read as no function.
      const bool no_pointer = first[1 + 2 * k] == 0xFF && first[2 + 2 * k] == 0xFF;
      const std::uint8_t code = p.ButtonAssigned[k].FuncCode;
      if (no_pointer && (code == kFuncGeneralMacro || code == kFuncBulletMacro || (code >= 0xAC && code <= 0xB2)) &&
          p.ButtonAssigned[k].Steps[0].StepCode != 0) {
        ++left_out;
        ASSERT_EQ(std::memcmp(&read_back.ButtonAssigned[k], &p.ButtonAssigned[k], sizeof(ButtonEntry)), 0)
            << "button " << k + 1;
      }
    }
  }
  // The generated profiles must reach the macro and overflow paths for this to mean anything.
  EXPECT_GT(macros, static_cast<int>(kProfiles));
  EXPECT_GT(left_out, 50);
}

TEST(RoundTrip, FixedAssignmentsComeBackBesideAnyMacroThatFits) {
  for (std::uint32_t seed = 0; seed < kProfiles; ++seed) {
    SCOPED_TRACE(::testing::Message() << "seed " << seed);
    const ProfileRecord p = GeneratedProfile(SeededSource(seed), false);
    const ButtonReport report = EncodeButtonReport(p);
    ProfileRecord read_back = p;
    DecodeButtonReport(report, p, read_back, nullptr);
    for (int k = 0; k < kButtonCount - 1; ++k) {
      const std::uint8_t code = p.ButtonAssigned[k].FuncCode;
      const bool sent = report[1 + 2 * k] != 0xFF || report[2 + 2 * k] != 0xFF;
      if (IsFixedAssignment(code) && sent) {
        ASSERT_EQ(read_back.ButtonAssigned[k].FuncCode, code) << "button " << k + 1;
      }
    }
    ASSERT_EQ(read_back.ButtonAssigned[kButtonCount - 1].FuncCode, kFuncRightButton);
  }
}

}  // namespace
}  // namespace qx27
