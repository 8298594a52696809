// The Button report (feature report 4): what each of the nine buttons does.
// A pointer table indexes a packed area of 10-byte records; a button's extent
// is known only from the pointers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "interfaces/mouse_identity.h"
#include "protocol/bullet_macro_sink.h"
#include "settings/settings_record.h"

namespace qx27 {

using mouse::kButtonReportId;
using mouse::kButtonReportLength;
inline constexpr std::size_t kButtonPayloadLength = kButtonReportLength - 1;

// Payload offsets (report byte = payload offset + 1).
inline constexpr std::size_t kRecordAreaOffset = 48;
inline constexpr int kRecordAreaRecords = 200;
inline constexpr std::uint16_t kNoRecords = 0xFFFF;

// Function codes the Button report gives meaning to beyond the record table.
inline constexpr std::uint8_t kFuncRightButton = 0xA1;
inline constexpr std::uint8_t kFuncDoubleClick = 0xA5;
inline constexpr std::uint8_t kFuncNoFunction = 0xAB;
inline constexpr std::uint8_t kFuncCtrlZ = 0xC8;

using ButtonReport = std::array<std::uint8_t, kButtonReportLength>;

// The report an upload sends for the Working profile's nine Button entries.
ButtonReport EncodeButtonReport(const ProfileRecord& working);

// Rebuilds the Working profile's nine Button entries from a received report.
// MacroID is carried over from stored_active (the stored profile of slot
// Active, which may be the same object as working); differing bullet macros
// go to sink, which may be null. The report ID is not looked at.
void DecodeButtonReport(std::span<const std::uint8_t, kButtonReportLength> report, const ProfileRecord& stored_active,
                        ProfileRecord& working, BulletMacroSink* sink);

}  // namespace qx27
