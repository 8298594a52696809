#include "settings/validation.h"

#include <algorithm>

#include "settings/settings_file.h"

namespace qx27 {
namespace {

void Repair(std::int32_t& value, std::int32_t low, std::int32_t high, std::int32_t repair) {
  if (value < low || value > high) value = repair;
}

}  // namespace

std::int32_t SlotsInUse(std::int32_t totle) { return totle >= 1 && totle <= kProfileSlots ? totle : 1; }

bool IsValidFuncCode(std::uint8_t code) {
  return (code >= 0xA0 && code <= 0xB2) || (code >= 0xC0 && code <= 0xCA) || (code >= 0xD0 && code <= 0xD7) ||
         (code >= 0xE0 && code <= 0xE6);
}

void ResetButtonEntry(ButtonEntry& entry, int index) {
  entry.ButtonNo = static_cast<std::uint8_t>(index + 1);
  entry.FuncCode = kDefaultFuncCodes[static_cast<std::size_t>(index)];
  entry.StepCount = 0;
  std::fill(std::begin(entry.Steps), std::end(entry.Steps), MacroStep{});
  entry.RepeatMode = 0;
  entry.RepeatCount = 0;
  entry.MacroID = -1;
}

void ValidateProfile(ProfileRecord& p) {
  Repair(p.GroupID, 0, 20, kDefaultGroupId);
  Repair(p.DPI_Cur, 0, 6, kDefaultDpiCur);
  for (int i = 0; i < kDpiStages; ++i) Repair(p.DPI_Value[i], 0, 7, i + 1);
  Repair(p.POLLRATE_VALUE, 0, 3, kDefaultPollRate);
  Repair(p.Enable_light, 0, 1, kDefaultEnableLight);
  Repair(p.Cycle_enable, 0, 1, kDefaultCycleEnable);
  Repair(p.light_type, 0, 6, kDefaultLightType);
  Repair(p.light_bright, 0, 5, kDefaultLightBright);
  Repair(p.light_speed, 1, 5, kDefaultLightSpeed);
  Repair(p.lift_height, 0, 3, kDefaultLiftHeight);
  Repair(p.light_bright_colorID, 0, 6, kDefaultLightBrightColorId);
  Repair(p.DBClick_Speed, 1, 10, kDefaultDbClickSpeed);
  Repair(p.Scroll_Speed, 1, 10, kDefaultScrollSpeed);
  Repair(p.scroll_page, 0, 1, kDefaultScrollPage);
  Repair(p.mouse_enhance, 0, 1, kDefaultMouseEnhance);
  Repair(p.Mouse_Speed, 1, 10, kDefaultMouseSpeed);
  Repair(p.GamingMode, 0, 1, kDefaultGamingMode);
  for (int i = 0; i < kButtonCount; ++i) {
    if (!IsValidFuncCode(p.ButtonAssigned[i].FuncCode)) ResetButtonEntry(p.ButtonAssigned[i], i);
  }
}

void ValidateHeader(SettingsRecord& r) {
  Repair(r.Totle, 1, kProfileSlots, 1);
  Repair(r.Current, 0, r.Totle - 1, 0);
  Repair(r.Active, 0, r.Totle - 1, 0);
  Repair(r.lan_id, 0, 1, 1);
  Repair(r.Show_TrayIcon, 0, 1, 1);
  Repair(r.Show_OSD, 0, 1, 1);
  for (int i = 0; i < r.Totle; ++i) {
    Repair(r.ProfileNo[i], 0, kProfileSlots - 1, 0);
    ValidateProfile(r.Profiles[i]);
  }
}

void LoadOrCreateSettings(IniPort& ini, std::u16string_view path, SettingsRecord& record, SettingsRecord& snapshot,
                          ProfileRecord& working) {
  LoadSettings(ini, path, record);
  ValidateHeader(record);
  // Write results are not looked at: with the folder missing every write
  // fails, the agent runs on the defaults, and the next load tries again.
  if (!ini.PathExists(path)) SaveSettings(ini, path, record);
  snapshot = record;
  working = record.Profiles[record.Active];
}

}  // namespace qx27
