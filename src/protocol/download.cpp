#include "protocol/download.h"

#include "interfaces/companion_ui.h"
#include "protocol/button_report.h"
#include "protocol/macro_file.h"
#include "protocol/performance_report.h"
#include "settings/settings_file.h"

namespace qx27 {
namespace {

// Device events come in bursts (one per interface and one general
// broadcast); they are served by one read of the mouse.
constexpr std::uint32_t kRepeatWindowMs = 1000;
constexpr std::uint32_t kBetweenReportsMs = 300;

}  // namespace

int Download(const DownloadTarget& target, const SettingsRecord& settings, ProfileRecord& working, LastDownload& last) {
  // Unsigned arithmetic keeps the guard right across the tick count's wrap.
  if (last.completed && static_cast<std::uint32_t>(target.clock.TickCount() - last.time) < kRepeatWindowMs) return 1;

  HidLink& link = target.link;
  if (link.OpenInterface(kPerformanceReportLength) == 0) return 0;
  PerformanceReport performance{};
  performance[0] = kPerformanceReportId;
  if (link.GetFeature(performance) == 0) {
    link.CloseFeatureHandle();
    return 0;
  }
  DecodePerformanceReport(performance, working);

  link.CloseFeatureHandle();
  if (link.OpenInterface(kButtonReportLength) == 0) {
    link.CloseFeatureHandle();
    return 0;
  }
  target.clock.Sleep(kBetweenReportsMs);
  ButtonReport buttons{};
  buttons[0] = kButtonReportId;
  if (link.GetFeature(buttons) == 0) {
    link.CloseFeatureHandle();
    return 0;
  }

  // Active and Current are held below Totle by validation; the checks keep a
  // record that skipped it from indexing past the six slots.
  const std::int32_t active = settings.Active >= 0 && settings.Active < kProfileSlots ? settings.Active : 0;
  MacroFileWriter macro_file(target.ini, target.macro_file_path);
  DecodeButtonReport(buttons, settings.Profiles[active], working, &macro_file);

  WriteProfile(target.ini, target.settings_file_path, settings.Current, working);
  if (const WindowHandle companion_window = target.windows.FindWindowByTitle(companion::kWindowTitle)) {
    target.windows.Post(companion_window, companion::kConfigurationRead, 0, 0);
  }
  last.time = target.clock.TickCount();
  last.completed = true;
  return 1;
}

}  // namespace qx27
