// Input: a report descriptor as any device may hand it over. Whatever the
// bytes, the parser ends without reading past them, and what it gives is a
// consistent set of lengths the HID port can use.
#include <algorithm>
#include <cstdlib>

#include "platform/linux/hidraw/report_descriptor.h"

using namespace qx27::hidraw;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto summary = ParseReportDescriptor(std::span(data, size));
  if (!summary) return 0;

  int largest_input = 0;
  int largest_feature = 0;
  int previous_id = -1;
  for (const ReportLengths& report : summary->reports) {
    if (report.report_id <= previous_id) std::abort();  // ascending, each ID once
    previous_id = report.report_id;
    if (report.input_length == 0 && report.feature_length == 0) std::abort();
    // A report is its ID byte and at least one more, and never longer than the limit.
    for (const int length : {report.input_length, report.feature_length}) {
      if (length != 0 && (length < 2 || length > kMaxReportLength)) std::abort();
    }
    largest_input = std::max(largest_input, report.input_length);
    largest_feature = std::max(largest_feature, report.feature_length);
  }
  if (summary->largest_input_length != largest_input || summary->largest_feature_length != largest_feature) {
    std::abort();
  }
  return 0;
}
