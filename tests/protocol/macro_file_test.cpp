#include "protocol/macro_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "common/text.h"
#include "platform/linux/ini_port.h"
#include "settings/ini_file.h"
#include "support/temp_folder.h"

namespace qx27 {
namespace {

// Click, delay, release, delay, movement, delay, movement: a bullet macro of
// bullet profile 3 (first code 5) with two movements.
ButtonEntry BulletMacro(std::uint8_t click_code, std::uint16_t movement) {
  ButtonEntry entry{};
  entry.ButtonNo = 1;
  entry.FuncCode = 0xA7;
  const std::uint8_t codes[] = {click_code, 0xFF, click_code, 0xFF, 12, 0xFF, 12};
  const std::uint16_t values[] = {1, 30, 0, 30, movement, 30, movement};
  for (int i = 0; i < 7; ++i) {
    entry.Steps[i].StepCode = codes[i];
    entry.Steps[i].StepValue = values[i];
  }
  entry.StepCount = 7;
  return entry;
}

class MacroFileTest : public ::testing::Test {
 protected:
  std::u16string Path() const { return FromUtf8((folder.Root() / "BulletSetting").string()); }
  CIniFile File() { return CIniFile(ini, Path()); }

  test::TempFolder folder;
  linux_host::StandInIniPort ini;
  MacroFileWriter writer{ini, Path()};
};

TEST_F(MacroFileTest, BulletMacroIsStoredUnderItsProfileWithItsMovementCountAndAllStepBytes) {
  const ButtonEntry entry = BulletMacro(5, 0x3205);
  writer.StoreBulletMacro(entry, 0);
  EXPECT_EQ(File().ReadInt(u"BulletProfile3", u"BulletNum", -1), 2);
  std::uint8_t stored[368] = {};
  ASSERT_TRUE(File().ReadStruct(u"BulletProfile3", u"Macro", stored));
  EXPECT_EQ(0, std::memcmp(stored, entry.Steps, sizeof(stored)));
}

TEST_F(MacroFileTest, OnlyMovementsAmongTheCountedStepsAreCounted) {
  ButtonEntry entry = BulletMacro(2, 0x3205);
  entry.StepCount = 5;  // the second movement lies past the count
  writer.StoreBulletMacro(entry, 0);
  EXPECT_EQ(File().ReadInt(u"BulletProfile0", u"BulletNum", -1), 1);
}

TEST_F(MacroFileTest, TheLastButtonWrittenForAProfileIsTheOneKept) {
  writer.StoreBulletMacro(BulletMacro(2, 0x3205), 1);
  const ButtonEntry later = BulletMacro(2, 0x3307);
  writer.StoreBulletMacro(later, 6);
  std::uint8_t stored[368] = {};
  ASSERT_TRUE(File().ReadStruct(u"BulletProfile0", u"Macro", stored));
  EXPECT_EQ(0, std::memcmp(stored, later.Steps, sizeof(stored)));
}

TEST_F(MacroFileTest, AMacroWithoutABulletProfileWritesNothing) {
  writer.StoreBulletMacro(BulletMacro(1, 0x3205), 0);
  writer.StoreBulletMacro(BulletMacro(0, 0x3205), 0);
  EXPECT_FALSE(std::filesystem::exists(folder.Root() / "BulletSetting"));
}

TEST_F(MacroFileTest, AMissingFolderIsNeverCreated) {
  MacroFileWriter elsewhere(ini, FromUtf8((folder.Root() / "absent" / "BulletSetting").string()));
  elsewhere.StoreBulletMacro(BulletMacro(5, 0x3205), 0);
  EXPECT_FALSE(std::filesystem::exists(folder.Root() / "absent"));
}

}  // namespace
}  // namespace qx27
