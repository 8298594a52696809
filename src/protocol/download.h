// Reading the mouse's configuration back: both reports into the Working
// profile, bullet macros into the macro file, the profile into the settings
// file, and a notice to the companion UI. Whether it succeeds is how the agent
// knows the mouse is connected.
#pragma once

#include <cstdint>
#include <string_view>

#include "hid/hid_link.h"
#include "ports/clock_port.h"
#include "ports/ini_port.h"
#include "ports/window_port.h"
#include "settings/settings_record.h"

namespace qx27 {

struct DownloadTarget {
  HidLink& link;
  ClockPort& clock;
  WindowPort& windows;
  IniPort& ini;
  std::u16string_view settings_file_path;
  std::u16string_view macro_file_path;
};

// When the last download completed. `completed` is false until one has:
// a tick count of 0 is a time like any other.
struct LastDownload {
  std::uint32_t time = 0;
  bool completed = false;
};

// Gives 1 when both reports were read and saved, or when the last download
// completed less than 1000 ms ago (then nothing is read, written or posted);
// 0 on failure, leaving the files untouched and posting nothing.
int Download(const DownloadTarget& target, const SettingsRecord& settings, ProfileRecord& working, LastDownload& last);

}  // namespace qx27
