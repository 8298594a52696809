#include "protocol/performance_report.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <type_traits>

namespace qx27 {
namespace {

// A 24-bit colour, low byte first.
struct WireColour {
  std::uint8_t bytes[3];

  static WireColour From(std::uint32_t colour) {
    return {{static_cast<std::uint8_t>(colour), static_cast<std::uint8_t>(colour >> 8),
             static_cast<std::uint8_t>(colour >> 16)}};
  }
  std::int32_t Value() const { return bytes[0] | bytes[1] << 8 | bytes[2] << 16; }
};

struct PerformanceReportLayout {
  std::uint8_t ReportId;
  std::uint8_t DpiStage;
  std::uint8_t PollingRate;
  std::uint8_t Lighting;  // effect in the high nibble, its sub-option in the low nibble
  std::uint8_t EffectSpeed;
  WireColour EffectColour;
  std::uint8_t DpiLevel[kDpiStages];
  std::uint8_t reserved1[2];
  WireColour DpiColour[kDpiStages];
  std::uint8_t reserved2[3];
  std::uint8_t LiftHeight;
  std::uint8_t reserved3[2];
};
static_assert(sizeof(PerformanceReportLayout) == kPerformanceReportLength);
static_assert(offsetof(PerformanceReportLayout, Lighting) == 3);
static_assert(offsetof(PerformanceReportLayout, EffectColour) == 5);
static_assert(offsetof(PerformanceReportLayout, DpiLevel) == 8);
static_assert(offsetof(PerformanceReportLayout, DpiColour) == 16);
static_assert(offsetof(PerformanceReportLayout, LiftHeight) == 37);
static_assert(std::is_trivially_copyable_v<PerformanceReportLayout>);

constexpr std::int32_t kFullBrightness = 5;
constexpr std::int32_t kFastestSpeed = 5;  // speed travels as 5 - step
constexpr std::int32_t kEffectCycle = 0;
constexpr std::int32_t kEffectSingleColour = 1;
constexpr std::int32_t kEffectCycleToo = 5;
constexpr std::uint8_t kLargestNibbleValue = 9;  // nibbles 10..15 read as 0

// Effects 0 and 1 share the first colour; effect e > 0 uses colour e - 1.
constexpr int EffectColourIndex(std::int32_t light_type) { return light_type >= 1 ? light_type - 1 : 0; }
constexpr bool HasEffectColour(int index) { return index >= 0 && index < kLightColors; }

constexpr std::uint8_t Low8(std::int32_t value) { return static_cast<std::uint8_t>(value); }

// Brightness scales each colour byte by light_bright / 5; wide arithmetic keeps
// a brightness that validation has not seen free of overflow.
std::uint8_t ScaleByBrightness(std::uint8_t byte, std::int32_t brightness) {
  return static_cast<std::uint8_t>(static_cast<std::int64_t>(brightness) * byte / kFullBrightness);
}

std::int32_t ReadNibble(std::uint8_t nibble) { return nibble > kLargestNibbleValue ? 0 : nibble; }

}  // namespace

PerformanceReport EncodePerformanceReport(const ProfileRecord& working) {
  PerformanceReportLayout out{};
  out.ReportId = kPerformanceReportId;
  out.DpiStage = Low8(working.DPI_Cur);
  out.PollingRate = Low8(working.POLLRATE_VALUE);

  const std::int32_t effect = working.light_type;
  std::int32_t option = 0;
  if (effect == kEffectCycle || effect == kEffectCycleToo) option = working.Cycle_enable;
  if (effect == kEffectSingleColour) option = working.light_bright_colorID;
  const bool light_on = working.Enable_light != 0;
  if (light_on)
    out.Lighting =
        static_cast<std::uint8_t>(static_cast<std::uint32_t>(effect) * 16u + static_cast<std::uint32_t>(option));
  out.EffectSpeed = static_cast<std::uint8_t>(static_cast<std::uint32_t>(kFastestSpeed) -
                                              static_cast<std::uint32_t>(working.light_speed));

  const int index = EffectColourIndex(effect);
  // An effect past the colour table (only a profile validation has not seen)
  // sends no colour rather than reading past light_Color.
  if (light_on && HasEffectColour(index)) {
    const WireColour colour = WireColour::From(static_cast<std::uint32_t>(working.light_Color[index]));
    for (int i = 0; i < 3; ++i) out.EffectColour.bytes[i] = ScaleByBrightness(colour.bytes[i], working.light_bright);
  }

  for (int i = 0; i < kDpiStages; ++i) {
    out.DpiLevel[i] = Low8(working.DPI_Value[i]);
    out.DpiColour[i] = WireColour::From(static_cast<std::uint32_t>(working.DPI_Color[i]));
  }
  out.LiftHeight = Low8(working.lift_height);
  return std::bit_cast<PerformanceReport>(out);
}

void DecodePerformanceReport(std::span<const std::uint8_t, kPerformanceReportLength> report, ProfileRecord& working) {
  PerformanceReport bytes;
  std::copy(report.begin(), report.end(), bytes.begin());
  const auto in = std::bit_cast<PerformanceReportLayout>(bytes);

  working.DPI_Cur = in.DpiStage;
  working.POLLRATE_VALUE = in.PollingRate;
  // The sub-option always lands in Cycle_enable; light_bright_colorID is never read back.
  working.light_type = ReadNibble(static_cast<std::uint8_t>(in.Lighting >> 4));
  working.Cycle_enable = ReadNibble(static_cast<std::uint8_t>(in.Lighting & 0x0F));
  working.light_speed = kFastestSpeed - in.EffectSpeed;

  const int index = EffectColourIndex(working.light_type);
  // Effects 8 and 9 have no colour entry: their colour is left as it was.
  const bool has_colour = HasEffectColour(index);
  const std::int32_t received = in.EffectColour.Value();
  if (has_colour) working.light_Color[index] = received;
  if (received == 0) {
    working.Enable_light = 0;
    working.light_bright = 0;
  } else if (working.light_bright <= 0) {
    // The report carries no brightness; a lit colour with none known is taken as full.
    working.light_bright = kFullBrightness;
  } else if (has_colour) {
    // Undo the upload's scaling with the brightness the profile already holds.
    WireColour colour = in.EffectColour;
    for (std::uint8_t& byte : colour.bytes) {
      byte = static_cast<std::uint8_t>(byte * kFullBrightness / working.light_bright);
    }
    working.light_Color[index] = colour.Value();
  }

  for (int i = 0; i < kDpiStages; ++i) working.DPI_Color[i] = in.DpiColour[i].Value();
  working.lift_height = in.LiftHeight;
}

}  // namespace qx27
