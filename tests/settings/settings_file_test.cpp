// The settings file: its sections, key order, single-key updates and how
// stored values come back into the record.
#include "settings/settings_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "common/text.h"
#include "platform/linux/ini_port.h"
#include "settings/validation.h"
#include "support/temp_folder.h"

namespace qx27 {
namespace {

using test::ReadBytes;
using test::WriteBytes;

constexpr unsigned char kMarker = 0xA5;

// A record whose every byte is the marker, to show what loading leaves alone.
std::unique_ptr<SettingsRecord> MarkedRecord() {
  auto record = std::make_unique<SettingsRecord>();
  std::memset(static_cast<void*>(record.get()), kMarker, sizeof(SettingsRecord));
  return record;
}

bool AllMarker(const ProfileRecord& profile) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(&profile);
  return std::all_of(bytes, bytes + sizeof profile, [](unsigned char b) { return b == kMarker; });
}

std::int32_t MarkerInt() {
  std::int32_t value;
  std::memset(&value, kMarker, sizeof value);
  return value;
}

class SettingsFile : public ::testing::Test {
 protected:
  std::u16string Path() const { return folder_.IniPath("GamingMouse"); }
  std::string Bytes() const { return ReadBytes(folder_.File("GamingMouse")); }
  void Given(std::string_view text) { WriteBytes(folder_.File("GamingMouse"), text); }

  // Creates the file as the first start of the agent does.
  void CreateFresh() {
    auto record = std::make_unique<SettingsRecord>();
    auto snapshot = std::make_unique<SettingsRecord>();
    auto working = std::make_unique<ProfileRecord>();
    LoadOrCreateSettings(ini_, Path(), *record, *snapshot, *working);
  }

  test::TempFolder folder_;
  linux_host::StandInIniPort ini_;
};

TEST_F(SettingsFile, AFreshFileListsEveryKeyInItsFixedOrder) {
  CreateFresh();
  const std::string golden = ReadBytes(std::filesystem::path(QX27_SETTINGS_TEST_DATA) / "new_settings_file.ini");
  ASSERT_FALSE(golden.empty());
  EXPECT_EQ(Bytes(), golden);
}

TEST_F(SettingsFile, ProfileNumbersChooseTheSectionOfEachSlotAndOtherSlotKeysAreLeftAlone) {
  Given(
      "[Setting]\r\nTotle=2\r\n0=3\r\n1=1\r\n2=5\r\n"
      "[Profile0Setting]\r\nGroupID=10\r\n[Profile1Setting]\r\nGroupID=11\r\n"
      "[Profile2Setting]\r\nGroupID=12\r\n[Profile3Setting]\r\nGroupID=13\r\n");
  auto record = MarkedRecord();
  LoadSettings(ini_, Path(), *record);
  EXPECT_EQ(record->Totle, 2);
  EXPECT_EQ(record->ProfileNo[0], 3);
  EXPECT_EQ(record->ProfileNo[1], 1);
  EXPECT_EQ(record->ProfileNo[2], MarkerInt()) << "key \"2\" is not read";
  EXPECT_EQ(record->Profiles[0].GroupID, 13);
  EXPECT_EQ(record->Profiles[1].GroupID, 11);
  EXPECT_TRUE(AllMarker(record->Profiles[2]));

  record->Profiles[0].GroupID = 20;
  record->Profiles[1].GroupID = 19;
  ASSERT_TRUE(SaveSettings(ini_, Path(), *record));
  const std::string text = Bytes();
  EXPECT_NE(text.find("[Profile0Setting]\r\nGroupID=10\r\n[Profile1Setting]"), std::string::npos);
  EXPECT_NE(text.find("[Profile1Setting]\r\nGroupID=19\r\n"), std::string::npos);
  EXPECT_NE(text.find("[Profile2Setting]\r\nGroupID=12\r\n[Profile3Setting]"), std::string::npos);
  EXPECT_NE(text.find("[Profile3Setting]\r\nGroupID=20\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\n2=5\r\n"), std::string::npos);
  EXPECT_EQ(ini_.ReadInt(u"Setting", u"3", -1, Path()), static_cast<std::uint32_t>(-1));
  EXPECT_EQ(text.find("[Profile4Setting]"), std::string::npos);
}

TEST_F(SettingsFile, StoreDpiCurChangesThatOneKeyAndNoOtherByte) {
  CreateFresh();
  std::string expected = Bytes();
  const std::string anchor = "[Profile2Setting]\r\nGroupID=0\r\nDPI_Cur=";
  const std::size_t at = expected.find(anchor);
  ASSERT_NE(at, std::string::npos);
  expected[at + anchor.size()] = '3';

  ASSERT_TRUE(StoreDpiCur(ini_, Path(), 2, 3));
  EXPECT_EQ(Bytes(), expected);
}

TEST_F(SettingsFile, TheDeviceFlagIsAddedToTheHeaderSectionAndNeverRead) {
  CreateFresh();
  ASSERT_TRUE(StoreDeviceFlag(ini_, Path(), 1));
  EXPECT_NE(Bytes().find("\r\n5=5\r\nDevice=1\r\n[Profile0Setting]"), std::string::npos);
  ASSERT_TRUE(StoreDeviceFlag(ini_, Path(), 0));
  EXPECT_NE(Bytes().find("\r\n5=5\r\nDevice=0\r\n[Profile0Setting]"), std::string::npos);
}

TEST_F(SettingsFile, AButtonEntryComesBackByteForByteAndOneChangedDigitFailsItsChecksum) {
  auto profile = std::make_unique<ProfileRecord>();
  for (int i = 0; i < kButtonCount; ++i) {
    auto bytes = EntryBytes(profile->ButtonAssigned[i]);
    for (std::size_t b = 0; b < bytes.size(); ++b) bytes[b] = static_cast<std::uint8_t>(b * 7 + 3 + i);
  }
  ASSERT_TRUE(WriteProfile(ini_, Path(), 4, *profile));

  auto back = std::make_unique<ProfileRecord>();
  ReadProfile(ini_, Path(), 4, *back);
  for (int i = 0; i < kButtonCount; ++i) {
    EXPECT_EQ(std::memcmp(&back->ButtonAssigned[i], &profile->ButtonAssigned[i], sizeof(ButtonEntry)), 0) << i;
  }

  std::string text = Bytes();
  const std::size_t at = text.find("ButtonAssigned4=");
  ASSERT_NE(at, std::string::npos);
  char& digit = text[at + 16 + 101];
  digit = digit == '0' ? '1' : '0';
  Given(text);
  ReadProfile(ini_, Path(), 4, *back);
  const ButtonEntry zero{};
  EXPECT_EQ(std::memcmp(&back->ButtonAssigned[4], &zero, sizeof zero), 0);
  EXPECT_EQ(std::memcmp(&back->ButtonAssigned[5], &profile->ButtonAssigned[5], sizeof(ButtonEntry)), 0);
}

TEST_F(SettingsFile, TextsAreCutToTheirFieldsAndNothingIsWrittenPastThem) {
  Given("[Setting]\r\nTotle=1\r\nBGFilesPath=" + std::string(500, 'b') + "\r\n[Profile0Setting]\r\nProfil_Name=" +
        std::string(80, 'n') + "\r\nDPI_Cur=4\r\nSYNCFilesPath=" + std::string(259, 'p') +
        "\r\nExePath3=" + std::string(3000, 'e') + "\r\nExeName3=" + std::string(49, 'x') + "\r\n");
  auto record = MarkedRecord();
  LoadSettings(ini_, Path(), *record);
  const ProfileRecord& p = record->Profiles[0];
  EXPECT_EQ(FieldText(record->BGFilesPath), std::u16string(259, u'b'));
  EXPECT_EQ(FieldText(p.Profil_Name), std::u16string(49, u'n'));
  EXPECT_EQ(p.Profil_Name[49], u'\0');
  EXPECT_EQ(p.DPI_Cur, 4) << "the field after the name is intact";
  EXPECT_EQ(FieldText(p.SYNCFilesPath), std::u16string(259, u'p')) << "259 characters fit a path field";
  EXPECT_EQ(FieldText(p.ExePath[3]), std::u16string(259, u'e'));
  EXPECT_EQ(FieldText(p.ExeName[3]), std::u16string(49, u'x'));
  EXPECT_EQ(FieldText(p.ExePath[4]), u"");
}

// The file as the service writes Unicode: UTF-16LE behind its byte-order mark.
std::string Utf16LeFile(std::u16string_view text) {
  std::string bytes = "\xFF\xFE";
  for (const char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

TEST_F(SettingsFile, ATextIsCutBeforeACharacterWhoseTwoHalvesWouldNotBothFit) {
  const std::u16string mouse = u"\U0001F5B1";  // two code units
  Given(Utf16LeFile(u"[Setting]\r\nTotle=2\r\n[Profile0Setting]\r\nProfil_Name=" + std::u16string(48, u'n') + mouse +
                    u"\r\nSYNCFilesPath=" + std::u16string(258, u'p') + mouse + u"\r\n[Profile1Setting]\r\n" +
                    u"Profil_Name=" + std::u16string(47, u'n') + mouse + u"\r\n"));
  auto record = MarkedRecord();
  LoadSettings(ini_, Path(), *record);
  EXPECT_EQ(FieldText(record->Profiles[0].Profil_Name), std::u16string(48, u'n'));
  EXPECT_EQ(FieldText(record->Profiles[0].SYNCFilesPath), std::u16string(258, u'p'));
  EXPECT_EQ(FieldText(record->Profiles[1].Profil_Name), std::u16string(47, u'n') + mouse) << "a pair that fits is kept";
}

TEST_F(SettingsFile, AProfileIsReplacedAsAWholeFromItsSection) {
  Given("[Profile1Setting]\r\nGroupID=7\r\nlight_Color2=-1\r\nProfil_Name=Work\r\n");
  auto profile = std::make_unique<ProfileRecord>();
  std::memset(static_cast<void*>(profile.get()), kMarker, sizeof(ProfileRecord));
  ReadProfile(ini_, Path(), 1, *profile);
  EXPECT_EQ(profile->GroupID, 7);
  EXPECT_EQ(profile->light_Color[2], -1);
  EXPECT_EQ(FieldText(profile->Profil_Name), u"Work");
  EXPECT_EQ(profile->Profil_Name[4], u'\0');
  EXPECT_EQ(profile->Profil_Name[49], u'\0') << "no marker is left behind in a text field";
  EXPECT_EQ(profile->DPI_Color[1], 0xFF00) << "a missing key takes its default";
  EXPECT_EQ(profile->light_Cycle[6], 0xFFFFFF);
  const ButtonEntry zero{};
  EXPECT_EQ(std::memcmp(&profile->ButtonAssigned[0], &zero, sizeof zero), 0)
      << "a missing Button entry reads as zero bytes";
}

}  // namespace
}  // namespace qx27
