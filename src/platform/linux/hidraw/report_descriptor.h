// Report lengths read from a HID report descriptor: what hidraw offers in
// place of the capabilities Windows works out for each interface. Pure code
// over bytes; the bytes come from whatever device is plugged in, so nothing in
// them is trusted.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace qx27::hidraw {

// The longest report a descriptor may declare, report ID byte included: the
// kernel refuses longer ones, so a descriptor declaring one is damaged.
inline constexpr int kMaxReportLength = 16384;
// Push nested deeper than this is damage too (the kernel's own limit).
inline constexpr int kMaxPushDepth = 4;

// Lengths in bytes with the report ID byte included, which Windows counts
// even when a descriptor uses no report IDs; 0 when there is no such report.
struct ReportLengths {
  std::uint8_t report_id = 0;  // 0 when the descriptor uses no report IDs
  int input_length = 0;
  int feature_length = 0;

  friend bool operator==(const ReportLengths&, const ReportLengths&) = default;
};

struct ReportDescriptorSummary {
  // By ascending report ID; only IDs with an input or a feature report.
  std::vector<ReportLengths> reports;
  // The largest report of each kind, as the HID port's capabilities give it.
  int largest_input_length = 0;
  int largest_feature_length = 0;
};

// Gives nothing when the bytes are not a sound descriptor: an item cut short,
// a Pop without a Push, Push nested too deep, report ID 0 or above 255, or a
// report longer than kMaxReportLength.
std::optional<ReportDescriptorSummary> ParseReportDescriptor(std::span<const std::uint8_t> descriptor);

}  // namespace qx27::hidraw
