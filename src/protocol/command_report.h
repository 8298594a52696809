// The command report: the one report the agent sends on the companion UI's
// device command request.
#pragma once

#include <array>
#include <cstdint>

#include "hid/hid_link.h"
#include "interfaces/mouse_identity.h"

namespace qx27 {

inline constexpr std::array<std::uint8_t, mouse::kCommandReportLength> kCommandReport = {
    mouse::kCommandReportId, 0x5A, 0, 0, 0, 0, 0, 0};

// Points the link at the 8-byte interface and sends the report once. Gives 1
// when the mouse accepted it. The feature handle stays on that interface.
int SendCommandReport(HidLink& link);

}  // namespace qx27
