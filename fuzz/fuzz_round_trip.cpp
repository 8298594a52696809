// Input: a stream of choices from which a validated profile is built. Sending
// its Button report, reading it back and sending again must give the same
// bytes; the Performance report must too where brightness scaling allows.
#include <cstdlib>

#include "profile_fixtures.h"
#include "protocol/button_report.h"
#include "protocol/performance_report.h"

using namespace qx27;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const ProfileRecord p = test::GeneratedProfile(test::SpanSource({data, size}), true);

  const ButtonReport buttons = EncodeButtonReport(p);
  ProfileRecord read_back = p;
  DecodeButtonReport(buttons, p, read_back, nullptr);
  if (EncodeButtonReport(read_back) != buttons) std::abort();

  const PerformanceReport performance = EncodePerformanceReport(p);
  read_back = p;
  DecodePerformanceReport(performance, read_back);
  const PerformanceReport again = EncodePerformanceReport(read_back);
  const bool exact_brightness = p.light_bright == 1 || p.light_bright == 5;
  const bool colour_sent = (performance[5] | performance[6] | performance[7]) != 0;
  if ((p.Enable_light == 0 || (exact_brightness && colour_sent)) && again != performance) std::abort();
  return 0;
}
