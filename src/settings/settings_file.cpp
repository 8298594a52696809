#include "settings/settings_file.h"

#include <span>

#include "common/text.h"
#include "settings/ini_file.h"
#include "settings/validation.h"

namespace qx27 {
namespace {

static_assert(kBoundApps == kButtonCount, "ExePath, ExeName and ButtonAssigned are listed in turn");

std::u16string Numbered(std::u16string_view name, int index) { return std::u16string(name) + DecimalText(index); }

// The keys of a profile section in file order, each with its field and the
// default for a missing key. Reading and writing both walk this one list, so
// the order cannot drift between them.
template <typename Profile, typename Visitor>
void VisitProfileKeys(Profile& p, Visitor& v) {
  v.Int(u"GroupID", p.GroupID, kDefaultGroupId);
  v.Int(u"DPI_Cur", p.DPI_Cur, kDefaultDpiCur);
  for (int i = 0; i < kDpiStages; ++i) {
    v.Int(Numbered(u"DPI_Value", i), p.DPI_Value[i], kDefaultDpiValue[i]);
    v.Int(Numbered(u"DPI_Color", i), p.DPI_Color[i], kDefaultDpiColor[i]);
  }
  v.Int(u"POLLRATE_VALUE", p.POLLRATE_VALUE, kDefaultPollRate);
  v.Int(u"Enable_light", p.Enable_light, kDefaultEnableLight);
  v.Int(u"Cycle_enable", p.Cycle_enable, kDefaultCycleEnable);
  v.Int(u"light_type", p.light_type, kDefaultLightType);
  v.Int(u"light_bright", p.light_bright, kDefaultLightBright);
  v.Int(u"light_speed", p.light_speed, kDefaultLightSpeed);
  v.Int(u"light_bright_colorID", p.light_bright_colorID, kDefaultLightBrightColorId);
  v.Int(u"lift_height", p.lift_height, kDefaultLiftHeight);
  v.Int(u"GamingMode", p.GamingMode, kDefaultGamingMode);
  for (int i = 0; i < kLightColors; ++i) v.Int(Numbered(u"light_Color", i), p.light_Color[i], kDefaultLightColor[i]);
  for (int i = 0; i < kLightColors; ++i) v.Int(Numbered(u"light_Cycle", i), p.light_Cycle[i], kDefaultLightCycle[i]);
  v.Int(u"DBClick_Speed", p.DBClick_Speed, kDefaultDbClickSpeed);
  v.Int(u"Scroll_Speed", p.Scroll_Speed, kDefaultScrollSpeed);
  v.Int(u"scroll_page", p.scroll_page, kDefaultScrollPage);
  v.Int(u"Mouse_Speed", p.Mouse_Speed, kDefaultMouseSpeed);
  v.Int(u"mouse_enhance", p.mouse_enhance, kDefaultMouseEnhance);
  v.Text(u"Profil_Name", p.Profil_Name);
  v.Text(u"SYNCFilesPath", p.SYNCFilesPath);
  for (int i = 0; i < kBoundApps; ++i) {
    v.Text(Numbered(u"ExePath", i), p.ExePath[i]);
    v.Text(Numbered(u"ExeName", i), p.ExeName[i]);
    v.Struct(Numbered(u"ButtonAssigned", i), p.ButtonAssigned[i]);
  }
}

// The header's keys in file order; the numbered profile keys follow them, one
// for each slot in use (VisitProfileNumbers).
template <typename Record, typename Visitor>
void VisitHeaderKeys(Record& r, Visitor& v) {
  v.Int(u"Totle", r.Totle, kDefaultTotle);
  v.Int(u"Current", r.Current, kDefaultCurrent);
  v.Int(u"Active", r.Active, kDefaultActive);
  v.Int(u"Show_TrayIcon", r.Show_TrayIcon, kDefaultShowTrayIcon);
  v.Int(u"Show_OSD", r.Show_OSD, kDefaultShowOsd);
  v.Int(u"lan_id", r.lan_id, kDefaultLanId);
  v.Text(u"BGFilesPath", r.BGFilesPath);
}

template <typename Record, typename Visitor>
void VisitProfileNumbers(Record& r, Visitor& v) {
  for (int i = 0; i < SlotsInUse(r.Totle); ++i) v.Int(DecimalText(i), r.ProfileNo[i], i);
}

class KeyReader {
 public:
  KeyReader(const CIniFile& ini, std::u16string_view section) : ini_(ini), section_(section) {}

  void Int(std::u16string_view key, std::int32_t& field, std::int32_t default_value) {
    field = ini_.ReadInt(section_, key, default_value);
  }
  // A text longer than the field is cut to it.
  void Text(std::u16string_view key, std::span<char16_t> field) {
    CopyToField(field, ini_.ReadString(section_, key, u""));
  }
  void Struct(std::u16string_view key, ButtonEntry& entry) {
    ButtonEntry read{};
    if (!ini_.ReadStruct(section_, key, EntryBytes(read))) read = ButtonEntry{};
    entry = read;
  }

 private:
  const CIniFile& ini_;
  std::u16string_view section_;
};

class KeyWriter {
 public:
  KeyWriter(const CIniFile& ini, std::u16string_view section) : ini_(ini), section_(section) {}

  void Int(std::u16string_view key, std::int32_t field, std::int32_t /*default_value*/) {
    Note(ini_.WriteInt(section_, key, field));
  }
  void Text(std::u16string_view key, std::span<const char16_t> field) {
    Note(ini_.WriteString(section_, key, FieldText(field)));
  }
  void Struct(std::u16string_view key, const ButtonEntry& entry) {
    Note(ini_.WriteStruct(section_, key, EntryBytes(entry)));
  }
  bool AllWritten() const { return all_written_; }

 private:
  void Note(bool written) { all_written_ = all_written_ && written; }

  const CIniFile& ini_;
  std::u16string_view section_;
  bool all_written_ = true;
};

}  // namespace

std::u16string ProfileSection(std::int32_t profile_number) {
  return u"Profile" + DecimalText(profile_number) + u"Setting";
}

void ReadHeader(IniPort& ini, std::u16string_view path, SettingsRecord& r) {
  const CIniFile file(ini, path);
  KeyReader reader(file, kHeaderSection);
  VisitHeaderKeys(r, reader);
  r.Totle = SlotsInUse(r.Totle);
  VisitProfileNumbers(r, reader);
}

bool WriteHeader(IniPort& ini, std::u16string_view path, const SettingsRecord& r) {
  const CIniFile file(ini, path);
  KeyWriter w(file, kHeaderSection);
  VisitHeaderKeys(r, w);
  VisitProfileNumbers(r, w);
  return w.AllWritten();
}

void ReadProfile(IniPort& ini, std::u16string_view path, std::int32_t profile_number, ProfileRecord& profile) {
  const CIniFile file(ini, path);
  const std::u16string section = ProfileSection(profile_number);
  KeyReader reader(file, section);
  ProfileRecord assembled{};
  VisitProfileKeys(assembled, reader);
  profile = assembled;
}

bool WriteProfile(IniPort& ini, std::u16string_view path, std::int32_t profile_number, const ProfileRecord& profile) {
  const CIniFile file(ini, path);
  const std::u16string section = ProfileSection(profile_number);
  KeyWriter writer(file, section);
  VisitProfileKeys(profile, writer);
  return writer.AllWritten();
}

void LoadSettings(IniPort& ini, std::u16string_view path, SettingsRecord& record) {
  ReadHeader(ini, path, record);
  for (int i = 0; i < record.Totle; ++i) ReadProfile(ini, path, record.ProfileNo[i], record.Profiles[i]);
}

bool SaveSettings(IniPort& ini, std::u16string_view path, const SettingsRecord& record) {
  bool all_written = WriteHeader(ini, path, record);
  for (int i = 0; i < SlotsInUse(record.Totle); ++i) {
    const bool written = WriteProfile(ini, path, record.ProfileNo[i], record.Profiles[i]);
    all_written = all_written && written;
  }
  return all_written;
}

bool StoreDpiCur(IniPort& ini, std::u16string_view path, std::int32_t profile_number, std::int32_t value) {
  return CIniFile(ini, path).WriteInt(ProfileSection(profile_number), u"DPI_Cur", value);
}

bool StoreDeviceFlag(IniPort& ini, std::u16string_view path, std::int32_t value) {
  return CIniFile(ini, path).WriteInt(kHeaderSection, u"Device", value);
}

}  // namespace qx27
