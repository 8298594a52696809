// The settings file: the section "Setting" with the header, and one section
// "Profile<n>Setting" per profile number. Each operation is a series of
// complete key reads or writes through CIniFile; keys are written in one fixed
// order, so a section the agent creates lists them in that order.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ports/ini_port.h"
#include "settings/settings_record.h"

namespace qx27 {

inline constexpr std::u16string_view kHeaderSection = u"Setting";

// "Profile%dSetting".
std::u16string ProfileSection(std::int32_t profile_number);

// The header keys, then ProfileNo for the slots in use. A Totle outside 1..6
// is stored as 1 before the slot keys are read.
void ReadHeader(IniPort& ini, std::u16string_view path, SettingsRecord& record);
// Give true when every write succeeded.
bool WriteHeader(IniPort& ini, std::u16string_view path, const SettingsRecord& record);

// Assembles a whole Profile record from the section of `profile_number`, with
// a default for every missing key, and then replaces `profile` with it. A
// Button entry that is missing or fails its length or checksum test reads as
// all zero bytes, which validation turns into the default entry.
void ReadProfile(IniPort& ini, std::u16string_view path, std::int32_t profile_number, ProfileRecord& profile);
bool WriteProfile(IniPort& ini, std::u16string_view path, std::int32_t profile_number, const ProfileRecord& profile);

// The header, then slot i from (to) the section numbered ProfileNo[i], for
// each slot in use. Other slots are not touched.
void LoadSettings(IniPort& ini, std::u16string_view path, SettingsRecord& record);
bool SaveSettings(IniPort& ini, std::u16string_view path, const SettingsRecord& record);

// Single-key updates; every other byte of the file stays as it was.
bool StoreDpiCur(IniPort& ini, std::u16string_view path, std::int32_t profile_number, std::int32_t value);
bool StoreDeviceFlag(IniPort& ini, std::u16string_view path, std::int32_t value);

}  // namespace qx27
