// Input: the bytes of the settings file, which LoadOrCreateSettings reads
// through the stand-in INI service. (The missing file, which the load creates
// key by key, is a fixed case of the settings tests and takes seconds under
// the sanitizers.)
// Properties: every value the agent relies on is in its validated range and
// every text field is terminated inside its array; slots past Totle are not
// touched; the snapshot and the Working profile are copies of the record; an
// existing file is never written by a load; the Working profile can be sent to
// the mouse.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <string>

#include "fuzz_files.h"
#include "platform/linux/ini_port.h"
#include "protocol/button_report.h"
#include "protocol/performance_report.h"
#include "settings/settings_record.h"
#include "settings/validation.h"

using namespace qx27;

namespace {

constexpr unsigned char kMarker = 0xA5;

void Require(bool condition) {
  if (!condition) std::abort();
}

void InRange(std::int32_t value, std::int32_t low, std::int32_t high) { Require(value >= low && value <= high); }

void Terminated(std::span<const char16_t> field) {
  Require(std::find(field.begin(), field.end(), u'\0') != field.end());
}

bool IsFunctionCode(std::uint8_t code) {
  return (code >= 0xA0 && code <= 0xB2) || (code >= 0xC0 && code <= 0xCA) || (code >= 0xD0 && code <= 0xD7) ||
         (code >= 0xE0 && code <= 0xE6);
}

// The entry validation puts in place of an invalid one. The ninth button's
// default code is no function code, so that entry is the one that may stay so.
bool IsDefaultEntry(const ButtonEntry& entry, int index) {
  if (entry.ButtonNo != index + 1 || entry.FuncCode != kDefaultFuncCodes[static_cast<std::size_t>(index)] ||
      entry.StepCount != 0 || entry.RepeatMode != 0 || entry.RepeatCount != 0 || entry.MacroID != -1) {
    return false;
  }
  return std::all_of(std::begin(entry.Steps), std::end(entry.Steps), [](const MacroStep& step) {
    return step.StepCode == 0 && step.reserved == 0 && step.StepValue == 0;
  });
}

template <typename T>
bool AllMarker(const T& object) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(&object);
  return std::all_of(bytes, bytes + sizeof object, [](unsigned char b) { return b == kMarker; });
}

template <typename T>
bool SameBytes(const T& a, const T& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

void CheckProfile(const ProfileRecord& p) {
  InRange(p.GroupID, 0, 20);
  InRange(p.DPI_Cur, 0, 6);
  for (const std::int32_t v : p.DPI_Value) InRange(v, 0, 7);
  InRange(p.POLLRATE_VALUE, 0, 3);
  InRange(p.Enable_light, 0, 1);
  InRange(p.Cycle_enable, 0, 1);
  InRange(p.light_type, 0, 6);
  InRange(p.light_bright, 0, 5);
  InRange(p.light_speed, 1, 5);
  InRange(p.lift_height, 0, 3);
  InRange(p.light_bright_colorID, 0, 6);
  InRange(p.DBClick_Speed, 1, 10);
  InRange(p.Scroll_Speed, 1, 10);
  InRange(p.scroll_page, 0, 1);
  InRange(p.mouse_enhance, 0, 1);
  InRange(p.Mouse_Speed, 1, 10);
  InRange(p.GamingMode, 0, 1);
  Terminated(p.Profil_Name);
  Terminated(p.SYNCFilesPath);
  for (int i = 0; i < kBoundApps; ++i) {
    Terminated(p.ExePath[i]);
    Terminated(p.ExeName[i]);
  }
  for (int i = 0; i < kButtonCount; ++i) {
    const ButtonEntry& entry = p.ButtonAssigned[i];
    Require(IsFunctionCode(entry.FuncCode) || IsDefaultEntry(entry, i));
  }
}

void CheckRecord(const SettingsRecord& r) {
  InRange(r.Totle, 1, kProfileSlots);
  InRange(r.Current, 0, r.Totle - 1);
  InRange(r.Active, 0, r.Totle - 1);
  InRange(r.lan_id, 0, 1);
  InRange(r.Show_TrayIcon, 0, 1);
  InRange(r.Show_OSD, 0, 1);
  Terminated(r.BGFilesPath);
  for (int i = 0; i < kProfileSlots; ++i) {
    if (i < r.Totle) {
      InRange(r.ProfileNo[i], 0, kProfileSlots - 1);
      CheckProfile(r.Profiles[i]);
    } else {
      Require(AllMarker(r.ProfileNo[i]) && AllMarker(r.Profiles[i]));
    }
  }
}

struct Records {
  SettingsRecord record;
  SettingsRecord snapshot;
  ProfileRecord working;
};

void Load(linux_host::StandInIniPort& ini, const std::u16string& path, Records& out) {
  std::memset(static_cast<void*>(&out), kMarker, sizeof out);
  LoadOrCreateSettings(ini, path, out.record, out.snapshot, out.working);
  CheckRecord(out.record);
  Require(SameBytes(out.snapshot, out.record));
  Require(SameBytes(out.working, out.record.Profiles[out.record.Active]));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzzing::FuzzFile& file = fuzzing::TheFile();
  const std::u16string& path = file.IniPath();
  static const auto loaded = std::make_unique<Records>();
  linux_host::StandInIniPort ini;

  file.Set(data, size);
  Load(ini, path, *loaded);
  // A load never writes to a file that exists, even an empty one.
  Require(file.Bytes() == std::string(reinterpret_cast<const char*>(data), size));

  // Validated values are what the encoders take; they must cope with them.
  const PerformanceReport performance = EncodePerformanceReport(loaded->working);
  const ButtonReport buttons = EncodeButtonReport(loaded->working);
  Require(performance[0] == kPerformanceReportId && buttons[0] == kButtonReportId);
  return 0;
}
