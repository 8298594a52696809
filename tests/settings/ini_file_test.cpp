// CIniFile: the one object through which the agent reaches an INI file.
#include "settings/ini_file.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "platform/linux/ini_port.h"
#include "recording_ini_port.h"
#include "support/temp_folder.h"

namespace qx27 {
namespace {

using test::RecordingIniPort;

TEST(IniFile, WithAnEmptyPathReadsGiveDefaultsAndWritesFailWithoutReachingTheService) {
  RecordingIniPort port;
  const CIniFile ini(port, u"");
  std::array<std::uint8_t, 4> bytes = {9, 9, 9, 9};
  EXPECT_EQ(ini.ReadInt(u"s", u"k", 17), 17);
  EXPECT_EQ(ini.ReadString(u"s", u"k", u"fallback"), u"fallback");
  EXPECT_FALSE(ini.ReadStruct(u"s", u"k", bytes));
  EXPECT_EQ(bytes, (std::array<std::uint8_t, 4>{9, 9, 9, 9}));
  EXPECT_FALSE(ini.WriteInt(u"s", u"k", 1));
  EXPECT_FALSE(ini.WriteString(u"s", u"k", u"v"));
  EXPECT_FALSE(ini.WriteStruct(u"s", u"k", bytes));
  EXPECT_EQ(port.reads + port.writes, 0);
}

TEST(IniFile, AStringReadGivesAtMost2047Characters) {
  RecordingIniPort port;
  port.stored_text = std::u16string(5000, u'a');
  const CIniFile ini(port, u"C:\\settings.ini");
  EXPECT_EQ(ini.ReadString(u"s", u"k", u""), std::u16string(2047, u'a'));
}

TEST(IniFile, IntegersAreWrittenAsPercentD) {
  test::TempFolder folder;
  linux_host::StandInIniPort port;
  const CIniFile ini(port, folder.IniPath("f.ini"));
  ASSERT_TRUE(ini.WriteInt(u"s", u"min", INT32_MIN));
  ASSERT_TRUE(ini.WriteInt(u"s", u"color", 0xFFFF00));
  EXPECT_EQ(test::ReadBytes(folder.File("f.ini")), "[s]\r\nmin=-2147483648\r\ncolor=16776960\r\n");
  EXPECT_EQ(ini.ReadInt(u"s", u"min", 0), INT32_MIN);
}

TEST(IniFile, SetPathRebindsEveryLaterAccess) {
  test::TempFolder folder;
  linux_host::StandInIniPort port;
  CIniFile ini(port, folder.IniPath("first.ini"));
  ASSERT_TRUE(ini.WriteInt(u"s", u"k", 1));
  ini.SetPath(folder.IniPath("second.ini"));
  EXPECT_EQ(ini.ReadInt(u"s", u"k", -1), -1);
  ASSERT_TRUE(ini.WriteInt(u"s", u"k", 2));
  EXPECT_EQ(test::ReadBytes(folder.File("first.ini")), "[s]\r\nk=1\r\n");
  EXPECT_EQ(test::ReadBytes(folder.File("second.ini")), "[s]\r\nk=2\r\n");
}

TEST(IniFile, APathLongerThan259UnitsIsUsedWhole) {
  const std::u16string long_path = u"C:\\" + std::u16string(400, u'd') + u"\\GamingMouse";
  RecordingIniPort port;
  const CIniFile ini(port, long_path);
  EXPECT_EQ(ini.Path(), long_path);
}

}  // namespace
}  // namespace qx27
