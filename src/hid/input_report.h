// The mouse's input reports: the debug line written for each one, and the
// DPI-stage event 02 00 stage 00.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace qx27 {

// Posted to the Agent window for each DPI-stage event; wParam is the stage.
inline constexpr std::uint32_t kDpiStageMessage = 0x0500;

// "%d: %02x %02x %02x %02x %02x %02x %02x %02x\n" of the length and the
// first eight bytes.
std::u16string FormatInputReportLine(int length, std::span<const std::uint8_t, 8> bytes);

// The stage of a DPI-stage event (1..255), or 0 for any other report.
int DpiStageOf(std::span<const std::uint8_t, 4> report);

}  // namespace qx27
