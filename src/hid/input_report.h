// The mouse's input reports: the debug line written for each one, and the
// DPI-stage event 02 00 stage 00.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "interfaces/mouse_identity.h"

namespace qx27 {

// "%d: %02x %02x %02x %02x %02x %02x %02x %02x\n" of the length and the
// first eight bytes.
std::u16string FormatInputReportLine(int length, std::span<const std::uint8_t, 8> bytes);

// The stage of a DPI-stage event (1..255), or 0 for any other report.
int DpiStageOf(std::span<const std::uint8_t, mouse::kInputReportLength> report);

}  // namespace qx27
