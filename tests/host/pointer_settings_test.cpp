#include "host/pointer_settings.h"

#include <gtest/gtest.h>

#include "platform/linux/clock_and_debug.h"
#include "platform/linux/desktop_stand_ins.h"
#include "support/pointer_preferences.h"

namespace qx27 {
namespace {

using linux_host::RecordingSystemSettings;
using SpiCall = RecordingSystemSettings::SpiCall;

constexpr char16_t kMouseKey[] = u"Control Panel\\Mouse";

using test::Preferences;

class PointerSettingsTest : public ::testing::Test {
 protected:
  void Refresh(const ProfileRecord& profile) { RefreshMouseSettings(system, debug, key, profile); }
  std::optional<std::u16string> Stored(std::u16string_view name) const {
    return system.Value(RegistryRoot::kCurrentUser, kMouseKey, name);
  }

  RecordingSystemSettings system;
  linux_host::CapturedDebugOutput debug;
  RegistryKey key{system};
};

TEST_F(PointerSettingsTest, DefaultProfileMakesExactlyTheseCallsAndDebugLines) {
  system.AddKey(RegistryRoot::kCurrentUser, kMouseKey);
  Refresh(Preferences(4, 3, 0, 5, 0));
  EXPECT_EQ(system.DoubleClickTimes(), std::vector<std::uint32_t>{680});
  EXPECT_EQ(system.SpiCalls(), (std::vector<SpiCall>{
                                   {0x0004, 0, {0, 0, 0}, 0, 0x02},
                                   {0x0071, 0, {}, 10, 0x02},
                                   {0x0069, 3, {}, 0, 0x01},
                               }));
  EXPECT_EQ(Stored(u"DoubleClickSpeed"), u"680");
  EXPECT_EQ(Stored(u"MouseSpeed"), u"0");
  EXPECT_EQ(Stored(u"MouseThreshold1"), u"0");
  EXPECT_EQ(Stored(u"MouseThreshold2"), u"0");
  EXPECT_EQ(debug.Lines(), (std::vector<std::u16string>{u"RefreshDoubleClickSpeed\n", u"RefreshMouseMoveSpeed\n",
                                                        u"RefreshScrollLine\n"}));
}

TEST_F(PointerSettingsTest, AccelerationOnStoresOneSixTenAndPassesThresholdsFirst) {
  Refresh(Preferences(4, 3, 0, 5, 1));
  EXPECT_EQ(Stored(u"MouseSpeed"), u"1");
  EXPECT_EQ(Stored(u"MouseThreshold1"), u"6");
  EXPECT_EQ(Stored(u"MouseThreshold2"), u"10");
  EXPECT_EQ(system.SpiCalls().at(0).array, (std::vector<std::int32_t>{6, 10, 1}));
}

TEST_F(PointerSettingsTest, RangeEndsGiveTheSystemsLimits) {
  Refresh(Preferences(10, 1, 0, 10, 0));
  Refresh(Preferences(1, 10, 0, 1, 0));
  EXPECT_EQ(system.DoubleClickTimes(), (std::vector<std::uint32_t>{200, 920}));
  const auto calls = system.SpiCalls();
  EXPECT_EQ(calls.at(1).value, 20u);
  EXPECT_EQ(calls.at(4).value, 2u);
  EXPECT_EQ(calls.at(2).ui_param, 1u);
  EXPECT_EQ(calls.at(5).ui_param, 10u);
}

TEST_F(PointerSettingsTest, PageScrollingWinsOverTheLineCount) {
  Refresh(Preferences(4, 7, 1, 5, 0));
  EXPECT_EQ(system.SpiCalls().at(2), (SpiCall{0x0069, 0xFFFFFFFFu, {}, 0, 0x01}));
}

TEST_F(PointerSettingsTest, MissingMouseKeyIsCreatedByThePointerStepAndCompletedNextTime) {
  Refresh(Preferences(4, 3, 0, 5, 0));
  EXPECT_EQ(Stored(u"DoubleClickSpeed"), std::nullopt) << "the double-click step only opens";
  EXPECT_EQ(Stored(u"MouseThreshold2"), u"0");
  EXPECT_EQ(system.DoubleClickTimes().size(), 1u) << "the live value is set all the same";
  Refresh(Preferences(4, 3, 0, 5, 0));
  EXPECT_EQ(Stored(u"DoubleClickSpeed"), u"680");
}

TEST_F(PointerSettingsTest, RegistryValuesCarryTheirTerminator) {
  Refresh(Preferences(4, 3, 0, 5, 1));
  EXPECT_EQ(system.RawValue(RegistryRoot::kCurrentUser, kMouseKey, u"MouseThreshold2"),
            (std::vector<char16_t>{u'1', u'0', u'\0'}));
}

TEST_F(PointerSettingsTest, TheKeyStaysOpenUntilTheNextRefreshAndIsClosedOnce) {
  Refresh(Preferences(4, 3, 0, 5, 0));
  EXPECT_TRUE(key.is_open());
  EXPECT_EQ(system.open_keys(), 1);
  Refresh(Preferences(4, 3, 0, 5, 0));
  EXPECT_EQ(system.open_keys(), 1);
  key.Close();
  key.Close();
  EXPECT_EQ(system.open_keys(), 0);
  EXPECT_EQ(system.bad_closes(), 0);
}

TEST(RegistryKeyPath, KnownRootsAreSplitOffWithoutRegardToCase) {
  RegistryRoot root{};
  std::array<char16_t, kPathUnits> sub{};
  ASSERT_TRUE(RegistryKey::ParsePath(u"hkey_current_user\\Control Panel\\Mouse", root, sub));
  EXPECT_EQ(root, RegistryRoot::kCurrentUser);
  EXPECT_EQ(std::u16string(sub.data()), u"Control Panel\\Mouse");
  ASSERT_TRUE(RegistryKey::ParsePath(u"HKEY_CLASSES_ROOT\\.txt", root, sub));
  EXPECT_EQ(root, RegistryRoot::kClassesRoot);
  ASSERT_TRUE(RegistryKey::ParsePath(u"HKEY_CURRENT_CONFIG\\Software", root, sub));
  EXPECT_EQ(root, RegistryRoot::kCurrentConfig);
}

TEST(RegistryKeyPath, UnknownRootMeansLocalMachineWithTheWholeText) {
  RegistryRoot root{};
  std::array<char16_t, kPathUnits> sub{};
  ASSERT_TRUE(RegistryKey::ParsePath(u"HKCU\\Control Panel", root, sub));
  EXPECT_EQ(root, RegistryRoot::kLocalMachine);
  EXPECT_EQ(std::u16string(sub.data()), u"HKCU\\Control Panel");
}

TEST(RegistryKeyPath, PathsWithoutABackslashOrTooLongForTheBufferAreRefused) {
  RegistryRoot root{};
  std::array<char16_t, kPathUnits> sub{};
  EXPECT_FALSE(RegistryKey::ParsePath(u"HKEY_CURRENT_USER", root, sub));
  const std::u16string long_path = u"HKEY_CURRENT_USER\\" + std::u16string(260, u'k');
  EXPECT_FALSE(RegistryKey::ParsePath(long_path, root, sub));
  const std::u16string fits = u"HKEY_CURRENT_USER\\" + std::u16string(259, u'k');
  EXPECT_TRUE(RegistryKey::ParsePath(fits, root, sub));
  EXPECT_EQ(sub[259], u'\0');
}

}  // namespace
}  // namespace qx27
