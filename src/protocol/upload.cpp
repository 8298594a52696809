#include "protocol/upload.h"

#include "protocol/button_report.h"
#include "protocol/performance_report.h"

namespace qx27 {
namespace {

// The mouse needs this long after each Performance report, refused or taken,
// before it listens again.
constexpr std::uint32_t kSettleMs = 300;
constexpr int kPerformanceAttempts = 5;

}  // namespace

int Upload(HidLink& link, ClockPort& clock, const ProfileRecord& working) {
  link.CloseFeatureHandle();
  if (link.OpenInterface(kPerformanceReportLength) == 0) return 0;

  const PerformanceReport performance = EncodePerformanceReport(working);
  bool accepted = false;
  for (int attempt = 0; attempt < kPerformanceAttempts && !accepted; ++attempt) {
    accepted = link.SetFeature(performance) != 0;
    clock.Sleep(kSettleMs);
  }
  if (!accepted) {
    link.CloseFeatureHandle();
    return 0;
  }

  link.CloseFeatureHandle();
  if (link.OpenInterface(kButtonReportLength) == 0) {
    link.CloseFeatureHandle();
    return 0;
  }
  const ButtonReport buttons = EncodeButtonReport(working);
  if (link.SetFeature(buttons) == 0) {
    link.CloseFeatureHandle();
    return 0;
  }
  return 1;
}

}  // namespace qx27
