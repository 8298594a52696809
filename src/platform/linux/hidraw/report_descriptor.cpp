#include "platform/linux/hidraw/report_descriptor.h"

#include <algorithm>
#include <array>
#include <cstddef>

namespace qx27::hidraw {
namespace {

// Item types and the tags that decide report lengths; every other item
// (local items, collections, Output, reserved ones) leaves them alone.
constexpr unsigned kMainItem = 0;
constexpr unsigned kGlobalItem = 1;
constexpr unsigned kInputTag = 0x8;
constexpr unsigned kFeatureTag = 0xB;
constexpr unsigned kReportSizeTag = 0x7;
constexpr unsigned kReportIdTag = 0x8;
constexpr unsigned kReportCountTag = 0x9;
constexpr unsigned kPushTag = 0xA;
constexpr unsigned kPopTag = 0xB;
constexpr std::uint8_t kLongItemPrefix = 0xFE;
constexpr std::size_t kLongItemHeader = 3;  // prefix, data size, tag

// Bits a report may hold beside its report ID byte.
constexpr std::uint64_t kMaxReportBits = std::uint64_t{kMaxReportLength - 1} * 8;

struct GlobalState {
  std::uint32_t report_size = 0;
  std::uint32_t report_count = 0;
  std::uint8_t report_id = 0;
};

std::uint32_t UnsignedValue(std::span<const std::uint8_t> data) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < data.size(); ++i) value |= std::uint32_t{data[i]} << (8 * i);
  return value;
}

int LengthOf(std::uint64_t bits) { return bits == 0 ? 0 : static_cast<int>((bits + 7) / 8 + 1); }

}  // namespace

std::optional<ReportDescriptorSummary> ParseReportDescriptor(std::span<const std::uint8_t> descriptor) {
  // Bits declared so far per report ID; never above kMaxReportBits.
  std::array<std::uint64_t, 256> input_bits{};
  std::array<std::uint64_t, 256> feature_bits{};
  GlobalState state;
  std::array<GlobalState, kMaxPushDepth> pushed{};
  std::size_t depth = 0;

  std::size_t position = 0;
  while (position < descriptor.size()) {
    const std::size_t left = descriptor.size() - position;
    const std::uint8_t prefix = descriptor[position];
    if (prefix == kLongItemPrefix) {
      // No long item is defined that bears on report lengths: skip it whole.
      if (left < kLongItemHeader || left - kLongItemHeader < descriptor[position + 1]) return std::nullopt;
      position += kLongItemHeader + descriptor[position + 1];
      continue;
    }
    const std::size_t data_size = (prefix & 3u) == 3 ? 4 : (prefix & 3u);
    if (left - 1 < data_size) return std::nullopt;
    const std::uint32_t value = UnsignedValue(descriptor.subspan(position + 1, data_size));
    position += 1 + data_size;

    const unsigned type = (prefix >> 2) & 3u;
    const unsigned tag = prefix >> 4;
    if (type == kGlobalItem) {
      switch (tag) {
        case kReportSizeTag:
          state.report_size = value;
          break;
        case kReportCountTag:
          state.report_count = value;
          break;
        case kReportIdTag:
          if (value == 0 || value > 255) return std::nullopt;
          state.report_id = static_cast<std::uint8_t>(value);
          break;
        case kPushTag:
          if (depth == pushed.size()) return std::nullopt;
          pushed[depth++] = state;
          break;
        case kPopTag:
          if (depth == 0) return std::nullopt;
          state = pushed[--depth];
          break;
        default:
          break;
      }
    } else if (type == kMainItem && (tag == kInputTag || tag == kFeatureTag)) {
      std::uint64_t& bits = (tag == kInputTag ? input_bits : feature_bits)[state.report_id];
      // Both factors are below 2^32, so their product fits in 64 bits.
      const std::uint64_t field_bits = std::uint64_t{state.report_size} * state.report_count;
      if (field_bits > kMaxReportBits - bits) return std::nullopt;
      bits += field_bits;
    }
  }

  ReportDescriptorSummary summary;
  for (std::size_t id = 0; id < input_bits.size(); ++id) {
    if (input_bits[id] == 0 && feature_bits[id] == 0) continue;
    const ReportLengths lengths{static_cast<std::uint8_t>(id), LengthOf(input_bits[id]), LengthOf(feature_bits[id])};
    summary.reports.push_back(lengths);
    summary.largest_input_length = std::max(summary.largest_input_length, lengths.input_length);
    summary.largest_feature_length = std::max(summary.largest_feature_length, lengths.feature_length);
  }
  return summary;
}

}  // namespace qx27::hidraw
