// What the agent fixes about the mouse: its identities, the report lengths by
// which its interfaces are told apart (report ID included) and the report IDs.
// Defined here and nowhere else: the HID link, the protocol and the presence
// probe all use these.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qx27::mouse {

inline constexpr std::uint16_t kVendorId = 0x3938;
inline constexpr std::uint16_t kProductId = 0x1101;
// The second pair, accepted besides the first in any pairing. Start-up stores
// it into the HID link; the presence probe asks about the same pair.
inline constexpr std::uint16_t kSecondVendorId = 0x1B80;
inline constexpr std::uint16_t kSecondProductId = 0xB412;

// Feature-report lengths of the interfaces.
inline constexpr std::size_t kStartupSearchLength = 100;  // no such report; the search only opens the events interface
inline constexpr std::size_t kCommandReportLength = 8;
inline constexpr std::size_t kPerformanceReportLength = 40;
inline constexpr std::size_t kButtonReportLength = 2049;
// Input-report length of the events interface.
inline constexpr std::size_t kInputReportLength = 4;

inline constexpr std::uint8_t kPerformanceReportId = 3;
inline constexpr std::uint8_t kButtonReportId = 4;
inline constexpr std::uint8_t kCommandReportId = 6;
inline constexpr std::uint8_t kDpiStageReportId = 2;

}  // namespace qx27::mouse
