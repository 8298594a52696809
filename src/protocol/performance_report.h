// The Performance report (feature report 3): DPI stages and colours, polling
// rate, lift-off height and lighting of the profile in use. Encode and decode
// are deliberately not inverses: some fields are sent and never read back, and
// brightness and colour change on the way, as the mouse has always had them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "interfaces/mouse_identity.h"
#include "settings/settings_record.h"

namespace qx27 {

using mouse::kPerformanceReportId;
using mouse::kPerformanceReportLength;

using PerformanceReport = std::array<std::uint8_t, kPerformanceReportLength>;

// The report an upload sends for the Working profile.
PerformanceReport EncodePerformanceReport(const ProfileRecord& working);

// Updates the Working profile in place from a received report; the fields the
// report does not carry keep their values. The report ID is not looked at.
void DecodePerformanceReport(std::span<const std::uint8_t, kPerformanceReportLength> report, ProfileRecord& working);

}  // namespace qx27
