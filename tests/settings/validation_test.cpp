// Validation and LoadOrCreateSettings: whatever the file holds, the agent ends
// with a record whose every relied-on value is in range, and the file is
// created only when there is none.
#include "settings/validation.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "common/text.h"
#include "platform/linux/ini_port.h"
#include "recording_ini_port.h"
#include "settings/settings_file.h"
#include "support/temp_folder.h"

namespace qx27 {
namespace {

using test::ReadBytes;
using test::WriteBytes;

constexpr unsigned char kMarker = 0xA5;

bool SameBytes(const auto& a, const auto& b) {
  static_assert(sizeof a == sizeof b);
  return std::memcmp(&a, &b, sizeof a) == 0;
}

bool AllMarker(const ProfileRecord& profile) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(&profile);
  return std::all_of(bytes, bytes + sizeof profile, [](unsigned char b) { return b == kMarker; });
}

// The three images the Agent window keeps, all starting as marker bytes.
struct Images {
  Images() {
    std::memset(static_cast<void*>(record.get()), kMarker, sizeof(SettingsRecord));
    std::memset(static_cast<void*>(snapshot.get()), kMarker, sizeof(SettingsRecord));
    std::memset(static_cast<void*>(working.get()), kMarker, sizeof(ProfileRecord));
  }
  std::unique_ptr<SettingsRecord> record = std::make_unique<SettingsRecord>();
  std::unique_ptr<SettingsRecord> snapshot = std::make_unique<SettingsRecord>();
  std::unique_ptr<ProfileRecord> working = std::make_unique<ProfileRecord>();
};

class LoadOrCreate : public ::testing::Test {
 protected:
  std::u16string Path() const { return folder_.IniPath("GamingMouse"); }
  std::string Bytes() const { return ReadBytes(folder_.File("GamingMouse")); }
  void Given(std::string_view text) { WriteBytes(folder_.File("GamingMouse"), text); }
  void Load(Images& images, std::u16string_view path) {
    LoadOrCreateSettings(ini_, path, *images.record, *images.snapshot, *images.working);
  }
  void Load(Images& images) { Load(images, Path()); }

  test::TempFolder folder_;
  linux_host::StandInIniPort ini_;
};

// Samples of what a record holds when no file gives it anything.
void ExpectDefaults(const SettingsRecord& r) {
  EXPECT_EQ(r.Totle, 6);
  EXPECT_EQ(r.Active, 0);
  EXPECT_EQ(r.Show_TrayIcon, 1);
  EXPECT_EQ(r.lan_id, 1);
  for (int slot = 0; slot < kProfileSlots; ++slot) {
    const ProfileRecord& p = r.Profiles[slot];
    EXPECT_EQ(r.ProfileNo[slot], slot);
    EXPECT_EQ(p.DPI_Value[5], 6);
    EXPECT_EQ(p.DPI_Color[3], 0xFFFF00);
    EXPECT_EQ(p.light_Cycle[3], 0xFFFF);
    EXPECT_EQ(p.Mouse_Speed, 5);
    for (int b = 0; b < kButtonCount; ++b) {
      EXPECT_EQ(p.ButtonAssigned[b].ButtonNo, b + 1);
      EXPECT_EQ(p.ButtonAssigned[b].FuncCode, kDefaultFuncCodes[b]);
      EXPECT_EQ(p.ButtonAssigned[b].MacroID.Get(), -1);
    }
  }
}

TEST_F(LoadOrCreate, AFirstStartCreatesTheFileWithDefaultsAndASecondLoadLeavesItAlone) {
  Images first;
  Load(first);
  ExpectDefaults(*first.record);
  const std::string created = Bytes();
  ASSERT_FALSE(created.empty());

  Images second;
  Load(second);
  EXPECT_TRUE(SameBytes(*second.record, *first.record)) << "the created file loads back as the same record";
  EXPECT_EQ(Bytes(), created);
}

TEST_F(LoadOrCreate, RepairsStayInMemoryAndTheFileKeepsItsBadValues) {
  Given("[Setting]\r\nShow_TrayIcon=7\r\nShow_OSD=9\r\nlan_id=2\r\n");
  Images images;
  Load(images);
  EXPECT_EQ(images.record->Show_TrayIcon, 1);
  EXPECT_EQ(images.record->Show_OSD, 1);
  EXPECT_EQ(images.record->lan_id, 1);
  EXPECT_EQ(Bytes(), "[Setting]\r\nShow_TrayIcon=7\r\nShow_OSD=9\r\nlan_id=2\r\n");
}

TEST_F(LoadOrCreate, AMissingFolderIsNotCreatedAndTheDefaultsServeInMemory) {
  Images images;
  Load(images, folder_.IniPath("VORN/ELDAN QX27/GamingMouse"));
  ExpectDefaults(*images.record);
  EXPECT_FALSE(std::filesystem::exists(folder_.File("VORN")));
  EXPECT_TRUE(SameBytes(*images.snapshot, *images.record));
}

TEST_F(LoadOrCreate, AnEmptyPathGivesTheDefaultsAndNeitherReadsNorWritesAFile) {
  test::RecordingIniPort port;
  Images images;
  LoadOrCreateSettings(port, u"", *images.record, *images.snapshot, *images.working);
  ExpectDefaults(*images.record);
  EXPECT_EQ(port.reads, 0);
  EXPECT_EQ(port.writes, 0);
}

TEST_F(LoadOrCreate, TotleZeroLoadsOnlySlotZeroFromTheSectionOfItsProfileNumber) {
  Given(
      "[Setting]\r\nTotle=0\r\n0=4\r\n1=2\r\n"
      "[Profile4Setting]\r\nGroupID=9\r\n[Profile2Setting]\r\nGroupID=8\r\n[Profile0Setting]\r\nGroupID=5\r\n");
  Images images;
  Load(images);
  EXPECT_EQ(images.record->Totle, 1);
  EXPECT_EQ(images.record->ProfileNo[0], 4);
  EXPECT_EQ(images.record->Profiles[0].GroupID, 9);
  for (int slot = 1; slot < kProfileSlots; ++slot) EXPECT_TRUE(AllMarker(images.record->Profiles[slot])) << slot;
  EXPECT_TRUE(SameBytes(*images.working, images.record->Profiles[0]));
}

TEST_F(LoadOrCreate, ATotleOutsideOneToSixCountsAsOne) {
  for (const char* totle : {"7", "-1", "4294967303", "x"}) {
    Given(std::string("[Setting]\r\nTotle=") + totle + "\r\nActive=1\r\n");
    Images images;
    Load(images);
    EXPECT_EQ(images.record->Totle, 1) << totle;
    EXPECT_EQ(images.record->Active, 0) << totle;
    EXPECT_TRUE(AllMarker(images.record->Profiles[1])) << totle;
  }
}

TEST_F(LoadOrCreate, TheActiveSlotBecomesTheWorkingProfileOrSlotZeroWhenActiveIsBeyondTotle) {
  const std::string sections =
      "[Profile0Setting]\r\nGroupID=10\r\n[Profile2Setting]\r\nGroupID=12\r\n[Profile3Setting]\r\nGroupID=13\r\n";
  const std::pair<const char*, std::int32_t> cases[] = {
      {"Totle=3\r\nActive=2\r\nCurrent=2", 2},
      {"Totle=2\r\nActive=3\r\nCurrent=2", 0},
  };
  for (const auto& [header, slot] : cases) {
    Given("[Setting]\r\n" + std::string(header) + "\r\n" + sections);
    Images images;
    Load(images);
    EXPECT_EQ(images.record->Active, slot) << header;
    EXPECT_EQ(images.record->Current, slot) << header;
    EXPECT_EQ(images.working->GroupID, slot == 0 ? 10 : 12) << header;
    EXPECT_TRUE(SameBytes(*images.working, images.record->Profiles[slot])) << header;
    EXPECT_TRUE(SameBytes(*images.snapshot, *images.record)) << header;
  }
}

TEST_F(LoadOrCreate, AProfileNumberOutsideZeroToFiveBecomesZero) {
  Given("[Setting]\r\nTotle=2\r\n0=9\r\n1=-1\r\n[Profile9Setting]\r\nGroupID=19\r\n");
  Images images;
  Load(images);
  EXPECT_EQ(images.record->ProfileNo[0], 0);
  EXPECT_EQ(images.record->ProfileNo[1], 0);
  EXPECT_EQ(images.record->Profiles[0].GroupID, 19) << "the slot was loaded before the repair";
}

// ---- ValidateProfile --------------------------------------------------------------

// The range and repair value of each validated integer field.
struct Range {
  const char* field;
  std::int32_t ProfileRecord::*member;
  std::int32_t low;
  std::int32_t high;
  std::int32_t repair;
};
constexpr Range kRanges[] = {
    {"GroupID", &ProfileRecord::GroupID, 0, 20, 0},
    {"DPI_Cur", &ProfileRecord::DPI_Cur, 0, 6, 0},
    {"POLLRATE_VALUE", &ProfileRecord::POLLRATE_VALUE, 0, 3, 2},
    {"Enable_light", &ProfileRecord::Enable_light, 0, 1, 1},
    {"Cycle_enable", &ProfileRecord::Cycle_enable, 0, 1, 0},
    {"light_type", &ProfileRecord::light_type, 0, 6, 0},
    {"light_bright", &ProfileRecord::light_bright, 0, 5, 5},
    {"light_speed", &ProfileRecord::light_speed, 1, 5, 3},
    {"lift_height", &ProfileRecord::lift_height, 0, 3, 0},
    {"light_bright_colorID", &ProfileRecord::light_bright_colorID, 0, 6, 0},
    {"DBClick_Speed", &ProfileRecord::DBClick_Speed, 1, 10, 4},
    {"Scroll_Speed", &ProfileRecord::Scroll_Speed, 1, 10, 3},
    {"scroll_page", &ProfileRecord::scroll_page, 0, 1, 0},
    {"mouse_enhance", &ProfileRecord::mouse_enhance, 0, 1, 0},
    {"Mouse_Speed", &ProfileRecord::Mouse_Speed, 1, 10, 5},
    {"GamingMode", &ProfileRecord::GamingMode, 0, 1, 0},
};

// One sane profile, every field at the top of its range and colours, which
// have no range, at extremes; each case changes one field.
ProfileRecord SaneProfile() {
  ProfileRecord p{};
  for (const Range& r : kRanges) p.*r.member = r.high;
  for (std::int32_t& level : p.DPI_Value) level = 7;
  for (ButtonEntry& entry : p.ButtonAssigned) entry.FuncCode = 0xC5;
  p.DPI_Color[0] = 0x7FFFFFFF;
  p.light_Color[6] = -1;
  p.light_Cycle[0] = INT32_MIN;
  return p;
}

TEST(ValidateProfile, ASaneProfileIsLeftExactlyAsItWasColoursIncluded) {
  const ProfileRecord sane = SaneProfile();
  ProfileRecord p = sane;
  ValidateProfile(p);
  EXPECT_TRUE(SameBytes(p, sane));
}

TEST(ValidateProfile, EachValueOutsideItsRangeTakesItsRepairValueAndTheLowestValidOneStays) {
  for (const Range& r : kRanges) {
    for (const std::int32_t bad : {r.low - 1, r.high + 1, INT32_MIN}) {
      ProfileRecord p = SaneProfile();
      p.*r.member = bad;
      ValidateProfile(p);
      EXPECT_EQ(p.*r.member, r.repair) << r.field << " = " << bad;
    }
    ProfileRecord p = SaneProfile();
    p.*r.member = r.low;
    ValidateProfile(p);
    EXPECT_EQ(p.*r.member, r.low) << r.field;
  }
}

TEST(ValidateProfile, ADpiLevelOutOfRangeBecomesItsStageNumber) {
  ProfileRecord p = SaneProfile();
  p.DPI_Value[2] = 9;
  p.DPI_Value[4] = -1;
  ValidateProfile(p);
  EXPECT_EQ(p.DPI_Value[2], 3);
  EXPECT_EQ(p.DPI_Value[4], 5);
  EXPECT_EQ(p.DPI_Value[3], 7);
}

ButtonEntry MacroEntry(std::uint8_t func_code) {
  ButtonEntry e{};
  e.ButtonNo = 3;
  e.FuncCode = func_code;
  e.StepCount = 200;
  e.reserved1 = 0x11;
  for (int s = 0; s < kMacroSteps; ++s) {
    e.Steps[s].StepCode = 0x21;
    e.Steps[s].StepValue = static_cast<std::uint16_t>(s * 300);
  }
  e.RepeatMode = 2;
  e.RepeatCount = 99;
  e.reserved2[0] = 0x22;
  e.reserved2[1] = 0x33;
  e.MacroID = 1234;
  return e;
}

TEST(ValidateProfile, AnEntryWithAValidFunctionCodeKeepsEveryByte) {
  const std::uint8_t valid_codes[] = {0xA0, 0xB2, 0xC0, 0xCA, 0xD0, 0xD7, 0xE0, 0xE6};
  for (const std::uint8_t code : valid_codes) {
    ProfileRecord p = SaneProfile();
    p.ButtonAssigned[2] = MacroEntry(code);
    ValidateProfile(p);
    EXPECT_TRUE(SameBytes(p.ButtonAssigned[2], MacroEntry(code))) << std::hex << int{code};
  }
}

TEST(ValidateProfile, AnEntryWithAnInvalidFunctionCodeBecomesItsDefaultEntryKeepingReservedBytes) {
  const std::uint8_t invalid_codes[] = {0x00, 0x9F, 0xB3, 0xCB, 0xD8, 0xE7, 0xFF};
  for (const std::uint8_t code : invalid_codes) {
    ProfileRecord p = SaneProfile();
    p.ButtonAssigned[5] = MacroEntry(code);
    ValidateProfile(p);
    ButtonEntry expected{};  // button 6's default, with the reserved bytes it had
    expected.ButtonNo = 6;
    expected.FuncCode = 0xA3;
    expected.reserved1 = 0x11;
    expected.reserved2[0] = 0x22;
    expected.reserved2[1] = 0x33;
    expected.MacroID = -1;
    EXPECT_TRUE(SameBytes(p.ButtonAssigned[5], expected)) << std::hex << int{code};
  }
}

TEST(ValidateProfile, TheNinthButtonWithCodeZeroIsResetAtEveryValidation) {
  ProfileRecord p = SaneProfile();
  p.ButtonAssigned[8] = MacroEntry(0x00);
  ValidateProfile(p);
  const ButtonEntry once = p.ButtonAssigned[8];
  EXPECT_EQ(once.FuncCode, 0x00);
  EXPECT_EQ(once.ButtonNo, 9);
  EXPECT_EQ(once.MacroID.Get(), -1);
  p.ButtonAssigned[8].Steps[0].StepCode = 0x40;
  ValidateProfile(p);
  EXPECT_TRUE(SameBytes(p.ButtonAssigned[8], once));
}

// ---- ValidateHeader ---------------------------------------------------------------

TEST(ValidateHeader, CurrentAndActiveAreCheckedAgainstTheRepairedTotle) {
  auto record = std::make_unique<SettingsRecord>();
  record->Totle = 9;
  record->Current = 5;
  record->Active = 1;
  ValidateHeader(*record);
  EXPECT_EQ(record->Totle, 1);
  EXPECT_EQ(record->Current, 0);
  EXPECT_EQ(record->Active, 0);
}

TEST(ValidateHeader, SlotsBeyondTotleAreNeitherValidatedNorTouched) {
  Images images;
  SettingsRecord* record = images.record.get();
  record->Totle = 3;
  record->Current = record->lan_id = record->Show_TrayIcon = record->Show_OSD = 0;
  record->Active = 4;
  for (int slot = 0; slot < 3; ++slot) record->ProfileNo[slot] = slot;
  ValidateHeader(*record);
  EXPECT_EQ(record->Active, 0);
  EXPECT_EQ(record->lan_id + record->Show_TrayIcon + record->Show_OSD, 0) << "valid zeros stay";
  EXPECT_EQ(record->Profiles[2].POLLRATE_VALUE, 2) << "slot 2 is in use and was repaired";
  for (int slot = 3; slot < kProfileSlots; ++slot) EXPECT_TRUE(AllMarker(record->Profiles[slot])) << slot;
}

}  // namespace
}  // namespace qx27
