// Defaults and validation of the Settings record, and LoadOrCreateSettings,
// the one way the agent (re)loads its settings. Nothing read from the file is
// trusted: every key read carries its default, and validation repairs every
// value the agent depends on, in memory only.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "ports/ini_port.h"
#include "settings/settings_record.h"

namespace qx27 {

// Defaults for missing keys.
inline constexpr std::int32_t kDefaultTotle = 6;
inline constexpr std::int32_t kDefaultCurrent = 0;
inline constexpr std::int32_t kDefaultActive = 0;
inline constexpr std::int32_t kDefaultShowTrayIcon = 1;
inline constexpr std::int32_t kDefaultShowOsd = 1;
inline constexpr std::int32_t kDefaultLanId = 1;

inline constexpr std::int32_t kDefaultGroupId = 0;
inline constexpr std::int32_t kDefaultDpiCur = 0;
inline constexpr std::array<std::int32_t, kDpiStages> kDefaultDpiValue = {1, 2, 3, 4, 5, 6};
inline constexpr std::array<std::int32_t, kDpiStages> kDefaultDpiColor = {0xFF,     0xFF00,   0xFF0000,
                                                                          0xFFFF00, 0xFF00FF, 0xFFFF};
inline constexpr std::int32_t kDefaultPollRate = 2;
inline constexpr std::int32_t kDefaultEnableLight = 1;
inline constexpr std::int32_t kDefaultCycleEnable = 0;
inline constexpr std::int32_t kDefaultLightType = 0;
inline constexpr std::int32_t kDefaultLightBright = 5;
inline constexpr std::int32_t kDefaultLightSpeed = 3;
inline constexpr std::int32_t kDefaultLightBrightColorId = 0;
inline constexpr std::int32_t kDefaultLiftHeight = 0;
inline constexpr std::int32_t kDefaultGamingMode = 0;
inline constexpr std::array<std::int32_t, kLightColors> kDefaultLightColor = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
inline constexpr std::array<std::int32_t, kLightColors> kDefaultLightCycle = {0xFF,     0xFF00,   0xFF0000, 0xFFFF,
                                                                              0xFFFF00, 0xFF00FF, 0xFFFFFF};
inline constexpr std::int32_t kDefaultDbClickSpeed = 4;
inline constexpr std::int32_t kDefaultScrollSpeed = 3;
inline constexpr std::int32_t kDefaultScrollPage = 0;
inline constexpr std::int32_t kDefaultMouseSpeed = 5;
inline constexpr std::int32_t kDefaultMouseEnhance = 0;

// FuncCode of each button's default entry. The ninth, 0x00, is no valid code,
// so the ninth entry is reset at every validation unless the file gives it one.
inline constexpr std::array<std::uint8_t, kButtonCount> kDefaultFuncCodes = {0xA0, 0xA1, 0xA2, 0xD0, 0xA4,
                                                                             0xA3, 0xD1, 0xA5, 0x00};

// The number of profile slots a Totle value stands for: itself when 1..6,
// otherwise 1. Every loop over the slots is bounded by it.
std::int32_t SlotsInUse(std::int32_t totle);

bool IsValidFuncCode(std::uint8_t code);

// Replaces entry `index` (0..8) with its default entry; the reserved bytes
// stay as they were.
void ResetButtonEntry(ButtonEntry& entry, int index);

// Repair in place; neither reports what it changed.
void ValidateProfile(ProfileRecord& profile);
void ValidateHeader(SettingsRecord& record);

// Loads the settings file at `path` into `record` and validates it; when no
// file or folder exists at `path`, writes the validated record there (the only
// place the file is created). Then `snapshot` becomes a copy of `record` and
// `working` a copy of its slot Active. Slots at Totle and above are left as
// they were.
void LoadOrCreateSettings(IniPort& ini, std::u16string_view path, SettingsRecord& record, SettingsRecord& snapshot,
                          ProfileRecord& working);

}  // namespace qx27
