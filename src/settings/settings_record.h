// The Settings record: the in-memory image of the user's settings file, a
// header and six Profile records. Plain data, copied whole. Field names are the
// settings file's own keys, spelling included, because the companion UI and
// the file share them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>

#include "common/little_endian.h"

namespace qx27 {

inline constexpr int kProfileSlots = 6;
inline constexpr int kButtonCount = 9;
inline constexpr int kMacroSteps = 92;
inline constexpr int kPathUnits = 260;
inline constexpr int kProfileNameUnits = 50;
inline constexpr int kDpiStages = 6;
inline constexpr int kLightColors = 7;
inline constexpr int kBoundApps = 9;

// One macro step: StepCode, a reserved byte, StepValue (little-endian).
struct MacroStep {
  std::uint8_t StepCode;
  std::uint8_t reserved;
  LeU16 StepValue;
};
static_assert(sizeof(MacroStep) == 4);

// One button's assignment. Stored in the settings file as a struct value, so
// this byte layout is a file format and binds exactly, reserved bytes included.
struct ButtonEntry {
  std::uint8_t ButtonNo;
  std::uint8_t FuncCode;
  std::uint8_t StepCount;
  std::uint8_t reserved1;
  MacroStep Steps[kMacroSteps];
  std::uint8_t RepeatMode;
  std::uint8_t RepeatCount;
  std::uint8_t reserved2[2];
  LeI32 MacroID;
};
static_assert(sizeof(ButtonEntry) == 380);
static_assert(offsetof(ButtonEntry, ButtonNo) == 0);
static_assert(offsetof(ButtonEntry, FuncCode) == 1);
static_assert(offsetof(ButtonEntry, StepCount) == 2);
static_assert(offsetof(ButtonEntry, reserved1) == 3);
static_assert(offsetof(ButtonEntry, Steps) == 4);
static_assert(offsetof(ButtonEntry, RepeatMode) == 372);
static_assert(offsetof(ButtonEntry, RepeatCount) == 373);
static_assert(offsetof(ButtonEntry, reserved2) == 374);
static_assert(offsetof(ButtonEntry, MacroID) == 376);
static_assert(std::is_trivially_copyable_v<ButtonEntry> && std::is_standard_layout_v<ButtonEntry>);

// The entry's bytes in memory order: its form as a struct value in the file.
inline std::span<std::uint8_t, sizeof(ButtonEntry)> EntryBytes(ButtonEntry& entry) {
  return std::span<std::uint8_t, sizeof(ButtonEntry)>(reinterpret_cast<std::uint8_t*>(&entry), sizeof(ButtonEntry));
}
inline std::span<const std::uint8_t, sizeof(ButtonEntry)> EntryBytes(const ButtonEntry& entry) {
  return std::span<const std::uint8_t, sizeof(ButtonEntry)>(reinterpret_cast<const std::uint8_t*>(&entry),
                                                            sizeof(ButtonEntry));
}

// One profile, fields in declared order (the file lists them in another order).
struct ProfileRecord {
  std::int32_t GroupID;
  char16_t Profil_Name[kProfileNameUnits];
  std::int32_t DPI_Cur;
  std::int32_t DPI_Color[kDpiStages];
  std::int32_t DPI_Value[kDpiStages];
  std::int32_t POLLRATE_VALUE;
  std::int32_t Enable_light;
  std::int32_t Cycle_enable;
  std::int32_t light_type;
  std::int32_t light_Color[kLightColors];
  std::int32_t light_Cycle[kLightColors];
  std::int32_t light_bright_colorID;
  std::int32_t light_bright;
  std::int32_t light_speed;
  std::int32_t lift_height;
  std::int32_t DBClick_Speed;
  std::int32_t Scroll_Speed;
  std::int32_t Mouse_Speed;
  std::int32_t scroll_page;
  std::int32_t mouse_enhance;
  std::int32_t GamingMode;
  char16_t SYNCFilesPath[kPathUnits];
  char16_t ExePath[kBoundApps][kPathUnits];
  char16_t ExeName[kBoundApps][kPathUnits];
  ButtonEntry ButtonAssigned[kButtonCount];
};
static_assert(std::is_trivially_copyable_v<ProfileRecord>);

// The header and the six profile slots.
struct SettingsRecord {
  std::int32_t lan_id;
  std::int32_t Show_TrayIcon;
  std::int32_t Show_OSD;
  std::int32_t Totle;
  std::int32_t Current;
  std::int32_t Active;
  char16_t BGFilesPath[kPathUnits];
  std::int32_t ProfileNo[kProfileSlots];
  ProfileRecord Profiles[kProfileSlots];
};
static_assert(std::is_trivially_copyable_v<SettingsRecord>);

}  // namespace qx27
